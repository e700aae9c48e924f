// Controls: the Windows player's behaviour (player/Player.cpp) in a page. Space plays and pauses (so
// does a click on the picture); Left, Right, Up and Down set the speed of a running movie; resuming
// returns to normal speed; loop and the time display are switches as in its menu; go-to takes frame
// numbers below the frame count. The state shows in the page's title as in the player's caption.
// Beyond it: a time bar, links to a moment (#frame=N, #t=S open paused there), and opening a movie
// that is dropped on the page or picked, read and played here. The clicks recorded as steps show
// as marks on the time bar and as a list beside the picture; a click on either, Page Down and Page
// Up go to a step (paused there), and #step=N links open at one. Their rings the core draws, and the
// labels of the keys pressed, which K (or the switch in the bar) shows and hides, as asciinema-player
// does.
(() => {
  const Playing = 0, Paused = 1, Ended = 2;
  const NormalPeriod = 200, SlowPeriod = 500, FastPeriod = 50;   // ms per record, as in the player
  const $ = (id) => document.getElementById(id);
  const ui = { play: $("play"), seek: $("seek"), time: $("time"), frame: $("frame"), loop: $("loop"),
               showTime: $("showtime"), goto: $("goto"), gotoFrame: $("gotoframe"), pick: $("pick"),
               message: $("message"), stage: $("stage"), drop: $("drop"), picture: $("picture"),
               steps: $("steps"), marks: $("marks"), showKeys: $("showkeys"), keysSwitch: $("keysswitch") };

  // Damage as the core reports it (web/Core.cpp, Problem*), for the viewer, in Chinese and English.
  // n is the number of frames that play before the damage.
  const Texts = {
    noMovie: "这个文件不是 Tavrel 录像。\nThis file is not a Tavrel recording.",
    noMemory: "内存不足，无法播放此录像。\nThere is not enough memory to play this recording.",
    unreadable: "无法读取这个文件。\nThe file cannot be read.",
    reading: "正在读取录像……\nReading the recording…",
    problems: [
      null,
      (n) => `录像不完整：文件在第 ${n} 帧之后中断，之前的 ${n} 帧可以播放。\n` +
             `The recording is incomplete: the file breaks off after frame ${n}; the ${n} frames before that play.`,
      (n) => `录像已损坏：第 ${n} 帧之后的内容无法读取，之前的 ${n} 帧可以播放。\n` +
             `The recording is damaged: nothing after frame ${n} can be read; the ${n} frames before that play.`,
      (n) => `录像有损坏：第 ${n + 1} 帧无法解码，播放到那里时画面保持上一帧。\n` +
             `The recording is damaged: frame ${n + 1} cannot be decoded; the picture before it stays on screen.`,
      () => "录像末尾的标题丢失了，所有画面都可以播放。\nThe end of the recording, with its title, is missing; every frame plays.",
    ],
  };

  let movie = null;        // Decoder.state() of the open movie, or null
  let title = "";
  let playState = Ended;
  let timer = 0;           // the playback interval; its period is the speed
  let period = 0;          // that period
  let opening = 0;         // counts opens, so that a file dropped during a scan replaces the one before
  let steps = [];          // the movie's steps whose frames play (Decoder.steps())
  let atStep = -1;         // the index in steps of the step gone to, while paused there
  let listed = -1;         // the index of the step marked in the list

  function say(text) {
    ui.message.textContent = text || "";
    ui.message.hidden = !text;
  }

  function setSuffix(suffix) { document.title = title + suffix; }

  function show() {
    movie = Decoder.state();
    Drawing.paint(Decoder.picture(movie.width, movie.height), movie);
    ui.time.textContent = ui.showTime.checked && playState !== Ended ? Decoder.playTime() : "";
    ui.time.classList.toggle("paused", playState === Paused);
    ui.frame.textContent = `帧 ${movie.currentFrame} / ${movie.frameCount}`;
    ui.seek.value = movie.currentFrame;
    ui.play.innerHTML = playState === Playing ? "&#10074;&#10074;" : "&#9654;";
    markStep();
  }

  // ---- Steps ---------------------------------------------------------------------------------------

  // The press as a moment of the movie, as the movie tool writes it: "1:23.4".
  function stepTime(step) {
    const tenths = Math.floor(Math.max(0, (step.frame - 1) * NormalPeriod - step.lead) / 100);
    return `${Math.floor(tenths / 600)}:${String(Math.floor(tenths / 10) % 60).padStart(2, "0")}.${tenths % 10}`;
  }

  // The recorded description, or the press in words where there is none (as in the steps document).
  function describe(step) {
    if (step.text) return step.text;
    const known = step.button >= 1 && step.button <= 3;
    const chinese = (known ? ["左键", "右键", "中键"][step.button - 1] : "按键") + (step.double ? "双击" : "单击");
    const english = (known ? ["left", "right", "middle"][step.button - 1] : `button ${step.button}`) +
                    (step.double ? " double-click" : " click");
    return `${chinese} ${english}`;
  }

  function listSteps(frameCount) {
    ui.steps.replaceChildren();
    ui.marks.replaceChildren();
    ui.steps.hidden = steps.length === 0;
    listed = -1;
    steps.forEach((step, i) => {
      const item = document.createElement("li");
      for (const [name, text] of [["number", step.number], ["time", stepTime(step)], ["text", describe(step)]]) {
        const part = document.createElement("span");
        part.className = name;
        part.textContent = text;
        item.append(part, " ");
      }
      const mark = document.createElement("span");
      mark.className = "mark";
      mark.style.left = `${100 * step.frame / frameCount}%`;
      mark.title = `${step.number}. ${describe(step)}`;
      for (const element of [item, mark]) element.addEventListener("click", () => goToStep(i));
      ui.steps.append(item);
      ui.marks.append(mark);
    });
  }

  // The step gone to, or else the last one pressed before the frame shown, is marked in the list.
  function markStep() {
    const current = atStep >= 0 ? atStep : steps.findLastIndex((step) => step.frame <= movie.currentFrame);
    if (current === listed) return;
    ui.steps.children[listed]?.classList.remove("current");
    ui.steps.children[current]?.classList.add("current");
    ui.steps.children[current]?.scrollIntoView({ block: "nearest" });
    listed = current;
  }

  function goToStep(i) {
    if (!movie || i < 0 || i >= steps.length) return;
    pause();
    Decoder.seek(steps[i].frame);
    atStep = i;
    linkHere();
    show();
  }

  // The next or the previous step from the one gone to, or from the frame shown.
  function nextStep(direction) {
    if (!movie || !steps.length) return;
    let i = atStep + direction;
    if (atStep < 0) {
      i = direction > 0 ? steps.findIndex((step) => step.frame > movie.currentFrame)
                        : steps.findLastIndex((step) => step.frame < movie.currentFrame);
    }
    goToStep(i);
  }

  // ---- Keys ----------------------------------------------------------------------------------------

  function toggleKeys() {
    if (!movie || ui.keysSwitch.hidden) return;
    ui.showKeys.checked = !ui.showKeys.checked;
    showKeys();
  }

  function showKeys() {
    Decoder.showKeys(ui.showKeys.checked);
    if (movie) show();
  }

  // ---- Playback ------------------------------------------------------------------------------------

  function startTimer(speed) {
    clearInterval(timer);
    period = speed;
    timer = setInterval(tick, period);
    if (period !== NormalPeriod) Narration.stop();  // slow and fast are silent
  }

  function tick() {
    if (Decoder.step() < 0) {
      if (!ui.loop.checked) {
        clearInterval(timer);
        playState = Ended;
        setSuffix("-END");
      }
      Decoder.rewind();
      Narration.stop();
    }
    show();
    if (playState === Playing && period === NormalPeriod) Narration.play(movie.currentFrame);
  }

  // While paused, the address is a link to the step gone to or the frame shown; while playing, to the
  // movie.
  function linkHere() {
    const at = atStep >= 0 ? `#step=${steps[atStep].number}` : `#frame=${movie.currentFrame}`;
    const hash = playState === Paused ? at : "";
    history.replaceState(null, "", location.pathname + location.search + hash);
  }

  function pause() {
    clearInterval(timer);
    Narration.stop();
    playState = Paused;
    setSuffix("-PAUSE");
  }

  function togglePlay() {
    if (!movie) return;
    if (playState === Playing) {
      pause();
    } else {
      startTimer(NormalPeriod);   // from the end, the reader has already rewound
      playState = Playing;
      atStep = -1;
      setSuffix("");
    }
    linkHere();
    show();
  }

  function setSpeed(period, suffix) {
    if (!movie || playState !== Playing) return;   // speeds apply to a running movie only
    startTimer(period);
    setSuffix(suffix);
  }

  function seekTo(n) {
    atStep = -1;
    Decoder.seek(n);
    Narration.stop();
    show();
    if (playState === Paused) linkHere();   // of the frame now shown
  }

  // "#frame=N" or "#t=S" (seconds): opens paused at that frame; "#step=N" at step N (the first or the
  // last beyond them). False when the address has none of them, or names a step the movie lacks.
  function followLink() {
    const link = new URLSearchParams(location.hash.slice(1));
    if (movie && link.has("step") && steps.length) {
      const n = Number(link.get("step")), i = steps.findIndex((step) => step.number >= n);
      goToStep(Number.isNaN(n) ? 0 : i < 0 ? steps.length - 1 : i);
      return true;
    }
    let n = NaN;
    if (link.has("frame")) n = Math.floor(Number(link.get("frame")));
    else if (link.has("t")) n = Math.round(Number(link.get("t")) * 1000 / NormalPeriod);
    if (!movie || !Number.isFinite(n)) return false;
    pause();
    atStep = -1;
    Decoder.seek(Math.max(0, Math.min(n, movie.frameCount)));
    show();
    return true;
  }

  // ---- Opening -------------------------------------------------------------------------------------

  async function open(bytes, name) {
    const mine = ++opening;
    clearInterval(timer);
    movie = null;
    playState = Ended;
    steps = [];
    listSteps(1);
    const result = Decoder.open(bytes);
    if (result !== Decoder.OpenResult.Ok) {
      ui.picture.hidden = true;
      ui.drop.hidden = false;
      document.title = "Tavrel";
      say(result === Decoder.OpenResult.NoMemory ? Texts.noMemory : Texts.noMovie);
      return;
    }
    say(Texts.reading);
    Narration.open();
    await Decoder.scan();
    if (mine !== opening) return;
    const state = Decoder.state();
    title = state.title || name || "无标题";
    const problem = Texts.problems[state.problem];
    say(problem ? problem(state.problemFrame) : "");
    ui.drop.hidden = true;
    ui.picture.hidden = false;
    Drawing.fit(state.width, state.height);
    ui.seek.max = state.frameCount;
    steps = Decoder.steps().filter((step) => step.frame >= 1 && step.frame <= state.frameCount);
    ui.keysSwitch.hidden = Decoder.keyCount() === 0;
    atStep = -1;
    listSteps(state.frameCount);
    movie = state;
    if (!followLink()) {
      playState = Paused;
      togglePlay();
    }
  }

  async function openFile(file) {
    if (!file) return;
    let bytes;
    try {
      bytes = new Uint8Array(await file.arrayBuffer());
    } catch (error) {
      say(Texts.unreadable);
      return;
    }
    await open(bytes, file.name.replace(/\.[^.]*$/, ""));
  }

  // ---- Events --------------------------------------------------------------------------------------

  // Keys become the same actions as the buttons, as the player turns keys into menu commands.
  const Keys = {
    " ": togglePlay,
    ArrowLeft: () => setSpeed(SlowPeriod, "-SLOW"),
    ArrowRight: () => setSpeed(FastPeriod, "-FAST"),
    ArrowUp: () => setSpeed(NormalPeriod, ""),
    ArrowDown: () => setSpeed(NormalPeriod, ""),
    PageDown: () => nextStep(1),
    PageUp: () => nextStep(-1),
    k: toggleKeys,
    K: toggleKeys,
  };

  // The first click or key lets the page make sound (only a movie with sound asks for it).
  for (const kind of ["pointerdown", "keydown"])
    document.addEventListener(kind, () => Narration.hasSound() && Narration.unlock(), { capture: true });
  document.addEventListener("keydown", (event) => {
    const action = Keys[event.key];
    if (!action || event.target === ui.gotoFrame || event.altKey || event.ctrlKey || event.metaKey) return;
    event.preventDefault();   // no page scrolling, no slider moving, no button pressing
    action();
  });

  ui.play.addEventListener("click", togglePlay);
  ui.picture.addEventListener("click", togglePlay);
  $("slower").addEventListener("click", Keys.ArrowLeft);
  $("normal").addEventListener("click", Keys.ArrowUp);
  $("faster").addEventListener("click", Keys.ArrowRight);
  ui.showTime.addEventListener("change", () => movie && show());
  ui.showKeys.addEventListener("change", showKeys);
  ui.seek.addEventListener("input", () => movie && seekTo(Number(ui.seek.value)));
  // A control keeps no focus after use, so that Space and the arrows reach the player.
  $("bar").addEventListener("change", (event) => event.target !== ui.gotoFrame && event.target.blur());
  $("bar").addEventListener("click", (event) => event.target.closest("button") && event.target.blur());

  ui.goto.addEventListener("submit", (event) => {
    event.preventDefault();
    const n = Math.trunc(Number(ui.gotoFrame.value));
    // As the go-to dialog: any number below the frame count, negative ones back to the start.
    if (!movie || !Number.isFinite(n) || n >= movie.frameCount) return;
    seekTo(n);
    ui.gotoFrame.blur();
  });

  ui.pick.addEventListener("change", () => openFile(ui.pick.files[0]));
  document.addEventListener("dragover", (event) => {
    event.preventDefault();
    ui.stage.classList.add("dragging");
  });
  document.addEventListener("dragleave", () => ui.stage.classList.remove("dragging"));
  document.addEventListener("drop", (event) => {
    event.preventDefault();
    ui.stage.classList.remove("dragging");
    openFile(event.dataTransfer.files[0]);
  });
  window.addEventListener("hashchange", followLink);
  window.addEventListener("resize", () => movie && Drawing.fit(movie.width, movie.height));

  // ---- Start ---------------------------------------------------------------------------------------

  Drawing.init(ui.picture, JSON.parse($("cursors").textContent));
  Decoder.load($("core").textContent).then(async () => {
    const embedded = $("movie").textContent.trim();
    if (!embedded) return;
    let bytes;
    try {
      bytes = await Decoder.inflate(Decoder.bytesFromBase64(embedded));
    } catch (error) {
      say(Texts.unreadable);
      return;
    }
    await open(bytes, "");
  });
})();
