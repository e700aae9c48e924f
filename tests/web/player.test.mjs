// Browser tests of the player page (web/) in Debian's chromium, headless, driven by playwright-core.
//   node player.test.mjs GROUP      GROUP: frames, keys, open or damaged
// Movies are made by the player's test movie maker (tests/wine/player) and pages by the movie tool's
// export --html; the expected pictures are the tool's raw frames with the cursor, decoded natively.
// Every page must also throw no script error, log no console error and request nothing but itself.
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

// Frame k (1 = first) as the tool decodes it with the cursor: width x height B, G, R, 0 bytes.
function expectedFrames(kind) {
  return execFileSync(tool, ["export", movie(kind), "--raw", "--cursor"],
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
  page.on("request", (request) => request.url().split("#")[0] !== own &&
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
  // button, a cursor half outside (7), a button without an image (13), a repeated frame (21), the last.
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

  // Damage is told in Chinese and English, and what can be played plays.
  async damaged() {
    const cut = await openPage(html("truncated"), "#frame=99");
    await title(cut, "无标题-PAUSE");
    assert.match(await text(cut, "message"), /录像不完整.*第 99 帧.*incomplete.*after frame 99/s);
    await expectPicture(cut, expectedFrames("truncated"), 99);

    const bad = await openPage(html("badlzo"));
    await bad.waitForFunction(() => document.title.startsWith("badlzo"));
    assert.match(await text(bad, "message"), /第 3 帧无法解码.*frame 3 cannot be decoded/s);

    const none = await openPage(emptyPage);
    for (const file of [stub, movie("badheader")]) {
      await none.setInputFiles("#pick", file);
      await none.waitForFunction(() => !document.getElementById("message").hidden);
      assert.match(await text(none, "message"), /不是 Tavrel 录像.*not a Tavrel recording/s);
      assert.equal(await none.isVisible("#picture"), false, "no picture without a movie");
    }
  },
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
