// Decoding: the WebAssembly build of the core (web/Core.cpp) over the bytes of one file. This is the
// page's only way into a movie; nothing here knows the movie's layout.
const Decoder = (() => {
  let core = null;            // the module's exports
  let file = new Uint8Array(0);

  const OpenResult = { Ok: 0, NoMovie: 1, NoMemory: 2 };

  function bytesFromBase64(text) {
    const binary = atob(text.trim());
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // A movie inside an exported page is deflated (zlib format) under its base64.
  async function inflate(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("deflate"));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  // The core asks for file bytes as it reads; they are copied straight into its buffers.
  function readMovieBytes(offset, to, count) {
    const available = Math.max(0, Math.min(count, file.length - offset));
    new Uint8Array(core.memory.buffer, to, available).set(file.subarray(offset, offset + available));
    return available;
  }

  async function load(coreBase64) {
    const { instance } = await WebAssembly.instantiate(bytesFromBase64(coreBase64),
                                                       { env: { ReadMovieBytes: readMovieBytes } });
    core = instance.exports;
  }

  // Opens the bytes of a movie .exe or a bare movie stream: one of OpenResult.
  function open(bytes) {
    file = bytes;
    return core.TavrelOpen(bytes.length);
  }

  // Reads every record once, in slices that leave the page responsive; resolves when done.
  async function scan() {
    for (;;) {
      const until = performance.now() + 40;
      while (performance.now() < until) if (core.TavrelScan(25)) return;
      await new Promise((resolve) => setTimeout(resolve, 0));
    }
  }

  // The core's PageState: nine 32-bit numbers, then the GBK title.
  function state() {
    const at = core.TavrelState();
    const s = new Int32Array(core.memory.buffer, at, 9);
    const raw = new Uint8Array(core.memory.buffer, at + 36, 128);
    const title = new TextDecoder("gbk").decode(raw.subarray(0, raw.indexOf(0)));
    return { width: s[0], height: s[1], frameCount: s[2], currentFrame: s[3], button: s[4],
             cursorX: s[5], cursorY: s[6], problem: s[7], problemFrame: s[8], title };
  }

  // The movie's steps (web/Core.cpp, PageStep: eight 32-bit numbers each), numbered from 1 in the
  // order of the presses, with their descriptions decoded from GBK.
  function steps() {
    const count = core.TavrelStepCount();
    if (!count) return [];
    const v = new Int32Array(core.memory.buffer, core.TavrelSteps(), count * 8), gbk = new TextDecoder("gbk");
    return Array.from({ length: count }, (_, i) => {
      const [frame, lead, button, flags, x, y, text, length] = v.subarray(i * 8, i * 8 + 8);
      return { number: i + 1, frame, lead, button, double: (flags & 1) !== 0, x, y,
               text: gbk.decode(new Uint8Array(core.memory.buffer, text >>> 0, length)) };
    });
  }

  // The current frame as canvas RGBA, with the rings of the steps pressed in the second before it and
  // the labels of the keys pressed in the two seconds before it (unless switched off), a view of the
  // module's memory valid until the next open.
  function picture(width, height) {
    return new ImageData(new Uint8ClampedArray(core.memory.buffer, core.TavrelPicture(), width * height * 4),
                         width, height);
  }

  function playTime() {
    const at = core.TavrelPlayTime(), bytes = new Uint8Array(core.memory.buffer, at, 32);
    return new TextDecoder("ascii").decode(bytes.subarray(0, bytes.indexOf(0)));
  }

  // The movie's sound: samples a second (0 without sound), and frame n's samples as a view of the
  // module's memory, valid until the next call.
  function soundRate() { return core.TavrelSoundRate(); }
  function soundFrame(n) {
    return new Int16Array(core.memory.buffer, core.TavrelSoundFrame(n), core.TavrelSoundRate() / 5);
  }

  return {
    OpenResult, bytesFromBase64, inflate, load, open, scan, state, steps, picture, playTime, soundRate, soundFrame,
    keyCount: () => core.TavrelKeyCount(),     // the key presses the movie holds
    showKeys: (on) => core.TavrelShowKeys(on ? 1 : 0),   // their labels in picture(), from the next call
    step: () => core.TavrelStep(),        // PayloadLength, -1 at the end of the stream
    rewind: () => core.TavrelRewind(),
    seek: (n) => core.TavrelSeek(n),
  };
})();
