// Narration: the movie's sound through the Web Audio API, in step with the picture. Every playback tick
// at normal speed queues the sound of the frame it shows right behind what is queued; a queue that
// has run ahead of the picture by more than two frames (a page whose timer came late) starts again
// from the frame shown. Paused, at other speeds, at the end and after a seek the sound stops. Browsers
// let a page make sound only after the viewer's first click or key, so the sound starts then.
const Narration = (() => {
  let context = null;  // the AudioContext, made at the first click or key
  let rate = 0;        // samples a second of the open movie's sound, 0 without
  let next = 0;        // when the queued sound ends, on the context's clock
  let sources = [];

  function open() {
    stop();
    rate = Decoder.soundRate();
  }

  function unlock() {
    if (!context) context = new AudioContext();
    if (context.state === "suspended") context.resume();
  }

  function stop() {
    for (const source of sources) source.stop();
    sources = [];
    next = 0;
  }

  // Frame n's sound, decoded by the core, behind the sound queued so far.
  function play(n) {
    if (!rate || !context) return;
    if (next - context.currentTime > 0.4) stop();
    const pcm = Decoder.soundFrame(n);
    const buffer = context.createBuffer(1, pcm.length, rate);
    const samples = buffer.getChannelData(0);
    for (let i = 0; i < pcm.length; i++) samples[i] = pcm[i] / 32768;
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(context.destination);
    next = Math.max(next, context.currentTime);
    source.start(next);
    next += buffer.duration;
    sources.push(source);
    source.onended = () => { sources = sources.filter((s) => s !== source); };
  }

  return { open, unlock, stop, play, hasSound: () => rate > 0, queued: () => sources.length };
})();
