// Browser tests of the player page (web/) in Debian's chromium, headless, driven by playwright-core.
//   node player.test.mjs GROUP      GROUP: frames, keys, open, damaged, steps, document, sound or keylabels
// Movies are made by the player's test movie maker (tests/wine/player) and pages by the movie tool's
// export --html; the expected pictures are the tool's raw frames with the cursor (and the rings of the
// steps), decoded natively. Every page must also throw no script error, log no console error and
// request nothing but itself.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";
import { chromium } from "playwright-core";

const [tool, movieMaker, emptyPage, work] = ["TAVREL_MOVIE_TOOL", "TAVREL_PLAYER_MOVIES", "TAVREL_PAGE",
  "TAVREL_WEB_WORK"].map((name) => process.env[name] || assert.fail(`${name} is not set`));
const Width = 256, Height = 160, Frames = 100, Title = "播放测试 Tavrel";  // the "plain" movie

fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
// The page reads from the stub length on; what the player stub holds plays no part.
const stub = path.join(work, "stub.exe");
fs.writeFileSync(stub, Buffer.alloc(20480));

function movie(kind) {
  const out = path.join(work, `${kind}.exe`);
  if (!fs.existsSync(out)) execFileSync(movieMaker, ["make", kind, stub, out]);
  return out;
}

function html(kind) {
  const out = path.join(work, `${kind}.html`);
  execFileSync(tool, ["export", movie(kind), "--html", out], { stdio: ["ignore", "ignore", "pipe"] });
  return out;
}

// Frame k (1 = first) as the tool decodes it with the cursor (and the rings), and the labels of the
// keys unless more options say otherwise: width x height B, G, R, 0 bytes.
function expectedFrames(kind, rings = false, more = []) {
  return execFileSync(tool, ["export", movie(kind), "--raw", "--cursor", ...(rings ? ["--rings"] : []), ...more],
                      { maxBuffer: 1 << 28, stdio: ["ignore", "pipe", "ignore"] });
}

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  // Without these, chromium itself reaches for the network at every start.
  args: ["--disable-gpu", "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--no-first-run", "--disable-quic"],
});
const pages = [];

async function openPage(file, hash = "") {
  const page = await browser.newPage();
  const own = pathToFileURL(file).href;
  page.problems = [];
  page.on("pageerror", (error) => page.problems.push(`script error: ${error.message}`));
  page.on("console", (message) => message.type() === "error" && page.problems.push(`console: ${message.text()}`));
  page.on("request", (request) => request.url().split("#")[0] !== own && !request.url().startsWith("data:") &&
                                  page.problems.push(`request: ${request.url()}`));
  await page.goto(own + hash);
  pages.push(page);
  return page;
}

const title = (page, wanted) => page.waitForFunction((t) => document.title === t, wanted, { timeout: 15000 });
const text = (page, id) => page.$eval(`#${id}`, (element) => element.textContent);
const frameShown = async (page) => Number((await text(page, "frame")).match(/(-?\d+) \//)[1]);

// The canvas against frame k of the expected frames; names the first pixel that differs.
async function expectPicture(page, frames, k, width = Width, height = Height) {
  const rgba = Buffer.from(await page.evaluate(() => {
    const canvas = document.getElementById("picture");
    return Array.from(canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data);
  }));
  assert.equal(rgba.length, width * height * 4, "canvas size");
  const raw = frames.subarray((k - 1) * width * height * 4, k * width * height * 4);
  for (let i = 0; i < width * height; i++) {
    const want = [raw[i * 4 + 2], raw[i * 4 + 1], raw[i * 4], 255], got = [...rgba.subarray(i * 4, i * 4 + 4)];
    assert.deepEqual(got, want, `frame ${k}: pixel (${i % width}, ${Math.floor(i / width)})`);
  }
}

const groups = {
  // #frame= and #t= links open paused at that frame, pixel for pixel with the cursor: frames with each
  // button, a cursor half outside (7), a button without an image (13), a repeated frame (21), the last;
  // and frames of a true-colour movie.
  async frames() {
    const frames = expectedFrames("plain"), page = html("plain");
    for (const [hash, k] of [["#frame=1", 1], ["#frame=7", 7], ["#frame=13", 13], ["#frame=21", 21],
                             ["#t=8.4", 42], ["#frame=100", 100], ["#frame=5000", 100]]) {
      const p = await openPage(page, hash);
      await title(p, `${Title}-PAUSE`);
      assert.equal(await frameShown(p), k, hash);
      await expectPicture(p, frames, k);
      await p.close();
    }
    // A true-colour movie: every pixel its 24-bit colour, at the first frame, a middle one and the last.
    const colours = expectedFrames("truecolour"), colourPage = html("truecolour");
    for (const [hash, k] of [["#frame=1", 1], ["#frame=17", 17], ["#frame=30", 30]]) {
      const p = await openPage(colourPage, hash);
      await title(p, "truecolour-PAUSE");
      assert.equal(await frameShown(p), k, `true colour ${hash}`);
      await expectPicture(p, colours, k, 200, 120);
      await p.close();
    }
  },

  // Space, Right, Left, Up and a click as in the Windows player, with its caption suffixes as the
  // page's title; loop; go-to takes frames below the frame count only.
  async keys() {
    const frames = expectedFrames("plain"), p = await openPage(html("plain"));
    await title(p, Title);
    await p.waitForFunction(() => /^帧 [1-9]/.test(document.getElementById("frame").textContent));
    await p.keyboard.press("Space");
    await title(p, `${Title}-PAUSE`);
    const paused = await frameShown(p);
    await p.keyboard.press("ArrowRight");   // no speed while paused
    await p.waitForTimeout(600);
    assert.equal(await frameShown(p), paused, "a paused movie stays");
    assert.equal(await p.title(), `${Title}-PAUSE`);
    assert.match(await p.$eval("#time", (e) => e.className), /paused/);
    assert.equal(p.url().split("#")[1], `frame=${paused}`, "the address links to the paused frame");

    await p.fill("#gotoframe", String(Frames));   // not below the frame count: nothing happens
    await p.press("#gotoframe", "Enter");
    assert.equal(await frameShown(p), paused);
    await p.fill("#gotoframe", "42");
    await p.press("#gotoframe", "Enter");
    assert.equal(await frameShown(p), 42);
    await expectPicture(p, frames, 42);

    await p.keyboard.press("Space");
    await title(p, Title);
    await p.keyboard.press("ArrowLeft");
    await title(p, `${Title}-SLOW`);
    await p.keyboard.press("ArrowUp");
    await title(p, Title);
    await p.click("#picture");
    await title(p, `${Title}-PAUSE`);
    await p.keyboard.press("Space");
    await p.keyboard.press("ArrowRight");
    await title(p, `${Title}-FAST`);
    // Fast is 50 ms a frame: the end comes long before the 20 s of normal speed.
    const started = Date.now();
    await title(p, `${Title}-END`);
    assert.ok(Date.now() - started < 12000, "fast playback reached the end");
    assert.equal(await frameShown(p), 0, "the end rewinds");
    assert.equal(await text(p, "time"), "", "no time at the end");
    await p.keyboard.press("Space");         // from the end: plays again, at normal speed
    await title(p, Title);

    await p.evaluate(() => { location.hash = "#frame=99"; });
    await title(p, `${Title}-PAUSE`);
    await p.check("#loop");
    await p.keyboard.press("Space");
    await p.waitForFunction(() => /^帧 [1-5] /.test(document.getElementById("frame").textContent));
    assert.equal(await p.title(), Title, "a looping movie goes on past its end");
  },

  // The page without a movie plays a picked movie .exe and a dropped bare movie stream.
  async open() {
    const p = await openPage(emptyPage);
    assert.match(await text(p, "drop"), /不会上传.*nothing is uploaded/s);
    await p.setInputFiles("#pick", movie("plain"));
    await title(p, Title);
    await p.evaluate(() => { location.hash = "#frame=30"; });
    await title(p, `${Title}-PAUSE`);
    await expectPicture(p, expectedFrames("plain"), 30);

    const stream = path.join(work, "tiny.tavrel");
    execFileSync(tool, ["unwrap", movie("tiny"), stream], { stdio: "ignore" });
    await p.evaluate(async (base64) => {
      const data = new DataTransfer();
      data.items.add(new File([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))], "tiny.tavrel"));
      document.getElementById("stage").dispatchEvent(new DragEvent("drop", { dataTransfer: data, bubbles: true }));
    }, fs.readFileSync(stream).toString("base64"));
    await title(p, "tiny-PAUSE");   // the link in the address still holds: frame 30 of 12 is the last
    assert.equal(await frameShown(p), 12);
    await expectPicture(p, expectedFrames("tiny"), 12, 4, 4);
  },

  // A narrated movie: the sound the page decodes through the core is the tool's --wav output sample
  // for sample; it is queued while the movie plays at normal speed (once a key has let the page make
  // sound), and stops with a pause and at another speed.
  async sound() {
    const wav = path.join(work, "narrated.wav");
    execFileSync(tool, ["export", movie("narrated"), "--wav", wav], { stdio: "ignore" });
    const expected = fs.readFileSync(wav).subarray(44);
    const p = await openPage(html("narrated"), "#frame=1");
    await title(p, `${Title}-PAUSE`);
    assert.equal(await p.evaluate(() => Decoder.soundRate()), 16000);
    const decoded = Buffer.from(await p.evaluate(() => {
      const bytes = [];
      for (let n = 3; n <= 22; n++) bytes.push(...new Uint8Array(Decoder.soundFrame(n).slice().buffer));
      return bytes;
    }));
    assert.equal(decoded.length, expected.length, "sound length");
    assert.ok(decoded.equals(expected), "the page's sound differs from the tool's");
    assert.equal(await p.evaluate(() => Narration.queued()), 0, "no sound while paused");
    await p.keyboard.press("Space");
    await title(p, Title);
    await p.waitForFunction(() => Narration.queued() > 0, null, { timeout: 5000 });
    await p.keyboard.press("Space");
    await title(p, `${Title}-PAUSE`);
    assert.equal(await p.evaluate(() => Narration.queued()), 0, "sound after the pause");
    await p.keyboard.press("Space");
    await p.keyboard.press("ArrowRight");
    await title(p, `${Title}-FAST`);
    await p.waitForTimeout(500);
    assert.equal(await p.evaluate(() => Narration.queued()), 0, "sound at fast speed");
  },

  // Damage is told in Chinese and English, and what can be played plays.
  async damaged() {
    const cut = await openPage(html("truncated"), "#frame=99");
    await title(cut, "无标题-PAUSE");
    assert.match(await text(cut, "message"), /录像不完整.*第 99 帧.*incomplete.*after frame 99/s);
    await expectPicture(cut, expectedFrames("truncated"), 99);

    const bad = await openPage(html("badlzo"));
    await bad.waitForFunction(() => document.title.startsWith("badlzo"));
    assert.match(await text(bad, "message"), /第 3 帧无法解码.*frame 3 cannot be decoded/s);

    // A damaged section is no section: every frame plays, nothing is said, no step is listed; of a
    // steps block cut short, the steps before the cut are.
    const plain = expectedFrames("plain");
    for (const [kind, listed] of [["steps-lyingfooter", 0], ["steps-longblock", 0], ["steps-unknown", 0],
                                  ["steps-cutstep", 4]]) {
      const p = await openPage(html(kind), "#frame=100");
      await title(p, `${Title}-PAUSE`);
      assert.equal(await frameShown(p), 100, kind);
      await expectPicture(p, plain, 100);
      assert.equal(await p.isVisible("#message"), false, kind);
      assert.equal(await p.locator("#steps li").count(), listed, kind);
      assert.equal(await p.locator(".mark").count(), listed, kind);
      assert.equal(await p.isVisible("#steps"), listed > 0, kind);
    }

    const none = await openPage(emptyPage);
    for (const file of [stub, movie("badheader")]) {
      await none.setInputFiles("#pick", file);
      await none.waitForFunction(() => !document.getElementById("message").hidden);
      assert.match(await text(none, "message"), /不是 Tavrel 录像.*not a Tavrel recording/s);
      assert.equal(await none.isVisible("#picture"), false, "no picture without a movie");
    }
  },
};

// The "steps" movie's steps (tests/wine/player): number, frame, moment and description.
const Steps = [
  [1, 10, "0:01.6", "左键单击“保存”(按钮)，窗口“另存为”"], [2, 10, "0:01.8", "right & <double>"],
  [3, 40, "0:07.7", "中键单击“工具栏”"], [4, 41, "0:07.9", "double"], [5, 90, "0:17.6", "左键单击 left click"],
];

groups.steps = async () => {
  const frames = expectedFrames("steps", true), page = html("steps");
  // #step=N opens paused at the step's frame, its ring there: the first press, 120 ms before frame
  // 10, as a red ring of radius 11 around (100, 60); the address keeps naming the step.
  for (const [number, frame] of [[1, 10], [2, 10], [4, 41], [5, 90], [9, 90]]) {
    const p = await openPage(page, `#step=${number}`);
    await title(p, `${Title}-PAUSE`);
    assert.equal(await frameShown(p), frame, `#step=${number}`);
    await expectPicture(p, frames, frame);
    assert.equal(p.url().split("#")[1], `step=${Math.min(number, 5)}`);
    await p.close();
  }
  const p = await openPage(page, "#step=1");
  await title(p, `${Title}-PAUSE`);
  const [r, g] = await p.evaluate(() =>
    Array.from(document.getElementById("picture").getContext("2d").getImageData(111, 60, 1, 1).data));
  assert.ok(r >= 0xE0 && g <= 0x20, `the ring at (111, 60): ${r}, ${g}`);

  // Marks on the time bar where the thumb stands at each step's frame, and the list beside the picture.
  const marks = await p.$$eval(".mark", (all) => all.map((mark) => parseFloat(mark.style.left)));
  assert.deepEqual(marks, Steps.map(([, frame]) => frame));
  const items = await p.$$eval("#steps li", (all) => all.map((item) => item.textContent.trim()));
  assert.deepEqual(items, Steps.map(([n, , time, text]) => `${n} ${time} ${text}`));
  assert.ok(await p.isVisible("#steps"));
  const current = () => p.$$eval("#steps li", (all) => all.findIndex((item) => item.classList.contains("current")));
  assert.equal(await current(), 0);

  // A click on the third, then Page Down and Page Up, step by step, staying at the last and the first.
  await p.click("#steps li:nth-child(3)");
  assert.equal(await frameShown(p), 40);
  assert.equal(p.url().split("#")[1], "step=3");
  assert.equal(await current(), 2);
  await expectPicture(p, frames, 40);
  for (const [key, frame, step] of [["PageDown", 41, 4], ["PageDown", 90, 5], ["PageDown", 90, 5], ["PageUp", 41, 4],
                                    ["PageUp", 40, 3], ["PageUp", 10, 2], ["PageUp", 10, 1], ["PageUp", 10, 1]]) {
    await p.keyboard.press(key);
    assert.equal(await frameShown(p), frame, `${key} to step ${step}`);
    assert.equal(p.url().split("#")[1], `step=${step}`, key);
    assert.equal(await current(), step - 1, key);
  }
  await p.click(".mark:nth-child(4)");
  assert.equal(await frameShown(p), 41);
  // From a frame that no step was gone to: the next step after it, the last one before it.
  await p.fill("#gotoframe", "20");
  await p.press("#gotoframe", "Enter");
  assert.equal(p.url().split("#")[1], "frame=20");
  assert.equal(await current(), 1, "the last step pressed before frame 20");
  await p.keyboard.press("PageDown");
  assert.equal(await frameShown(p), 40);
  await p.fill("#gotoframe", "20");
  await p.press("#gotoframe", "Enter");
  await p.keyboard.press("PageUp");
  assert.equal(p.url().split("#")[1], "step=2");

  // The rings fade out over a second: frame 14 still has the second one, faint; frame 15 has none.
  const plain = expectedFrames("plain");
  for (const frame of [11, 14, 15, 42]) {
    await p.evaluate((n) => { location.hash = `#frame=${n}`; }, frame);
    await p.waitForFunction((n) => document.getElementById("frame").textContent.startsWith(`帧 ${n} `), frame);
    await expectPicture(p, frames, frame);
    if (frame === 14) await assert.rejects(expectPicture(p, plain, 14), /frame 14/);
    if (frame === 15) await expectPicture(p, plain, 15);
  }
};

// export --steps: the document in the browser, one picture and one description per step, each
// linked to its moment in the page; printed, every picture fits the page. The Markdown's pictures
// are files beside it.
groups.document = async () => {
  const doc = path.join(work, "steps-doc.html"), page = path.join(work, "steps-page.html");
  execFileSync(tool, ["export", movie("steps"), "--steps", doc, "--html", page], { stdio: "ignore" });
  const p = await openPage(doc);
  const steps = await p.$$eval("li.step", (all) => all.map((step) => ({
    pictures: step.querySelectorAll("img").length,
    loaded: [...step.querySelectorAll("img")].every((img) => img.complete && img.naturalWidth === 256),
    texts: [...step.querySelectorAll(".what")].map((what) => what.textContent),
    time: step.querySelector(".time").textContent,
    link: step.querySelector("a")?.getAttribute("href"),
  })));
  assert.deepEqual(steps, Steps.map(([n, , time, text]) => ({ pictures: 1, loaded: true, texts: [text], time,
                                                              link: `steps-page.html#step=${n}` })));
  assert.equal(await p.title(), Title);
  await p.emulateMedia({ media: "print" });
  const width = await p.evaluate(() => document.documentElement.clientWidth);
  const widest = await p.$$eval("img", (all) => Math.max(...all.map((img) => img.getBoundingClientRect().right)));
  assert.ok(widest <= width, `pictures within the page: ${widest} of ${width}`);
  assert.ok((await p.pdf({ format: "A4" })).length > 10000, "the document prints");

  // The link of step 3 opens the page paused at its frame.
  const [target, hash] = (await p.getAttribute("#step-3 a", "href")).split("#");
  const linked = await openPage(path.join(work, target), `#${hash}`);
  await title(linked, `${Title}-PAUSE`);
  assert.equal(await frameShown(linked), 40);

  const md = path.join(work, "steps.md");
  execFileSync(tool, ["export", movie("steps"), "--steps", md], { stdio: "ignore" });
  const pictures = [...fs.readFileSync(md, "utf8").matchAll(/!\[[^\]]*\]\(([^)]+)\)/g)].map((m) => m[1]);
  assert.equal(pictures.length, Steps.length);
  for (const picture of pictures) {
    const bytes = fs.readFileSync(path.join(work, decodeURIComponent(picture)));
    assert.equal(bytes.subarray(1, 4).toString(), "PNG", picture);
  }
};

// The labels of the keys pressed, drawn by the core as in the tool's exports: K switches them off
// and on (Shift+K too), as does the switch in the bar, which a movie without keys does not show.
groups.keylabels = async () => {
  const labelled = expectedFrames("keys"), plain = expectedFrames("keys", false, ["--no-keys"]);
  // Text of the labels' colour (no decoded frame holds it) in the picture's bottom rows.
  const labelPixels = (page) => page.evaluate(() => {
    const canvas = document.getElementById("picture"), rows = 50;
    const data = canvas.getContext("2d").getImageData(0, canvas.height - rows, canvas.width, rows).data;
    let count = 0;
    for (let i = 0; i < data.length; i += 4) count += data[i] === 0xF4 && data[i + 1] === 0xF4 && data[i + 2] === 0xF4;
    return count;
  });
  const p = await openPage(html("keys"), "#frame=32");
  await title(p, `${Title}-PAUSE`);
  assert.ok(await p.isVisible("#keysswitch"), "the switch shows for a movie with keys");
  await expectPicture(p, labelled, 32);   // "Ctrl+Z ×3"
  assert.ok(await labelPixels(p) > 100, "label text near the bottom");
  await p.keyboard.press("k");
  assert.equal(await p.isChecked("#showkeys"), false);
  await expectPicture(p, plain, 32);
  assert.equal(await labelPixels(p), 0, "no label after K");
  for (const frame of [10, 52]) {   // off stays off from frame to frame
    await p.fill("#gotoframe", String(frame));
    await p.press("#gotoframe", "Enter");
    await expectPicture(p, plain, frame);
  }
  await p.keyboard.press("Shift+K");
  assert.equal(await p.isChecked("#showkeys"), true);
  await expectPicture(p, labelled, 52);   // "hello"
  await p.click("#showkeys");
  await expectPicture(p, plain, 52);
  await p.click("#showkeys");
  await expectPicture(p, labelled, 52);
  // Before the first press and two seconds after the last, the picture is the plain frame.
  for (const frame of [9, 80]) {
    await p.fill("#gotoframe", String(frame));
    await p.press("#gotoframe", "Enter");
    await expectPicture(p, plain, frame);
    await expectPicture(p, labelled, frame);
  }

  const none = await openPage(html("plain"), "#frame=10");
  await title(none, `${Title}-PAUSE`);
  assert.equal(await none.isVisible("#keysswitch"), false, "no switch without keys");
};

const group = process.argv[2];
try {
  assert.ok(groups[group], `unknown group ${group}`);
  await groups[group]();
  for (const page of pages) assert.deepEqual(page.problems, [], "the page's own problems");
  console.log(`web ${group}: passed`);
} finally {
  await browser.close();
}
