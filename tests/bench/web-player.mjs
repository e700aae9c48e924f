// The browser player's figures for docs/performance.md (run by tests/bench/web.sh):
//   node web-player.mjs MOVIE.exe PAGE.html
// PAGE.html is MOVIE.exe exported with export --html. Prints the page's bytes beyond the movie stream,
// the time to open it in Debian's chromium (headless) until the first frame is shown and playing, the
// time to go from there to the last frame, and the CPU time of all of chromium's processes while it
// plays at 5 frames a second (and, for comparison, while it stands paused).
import { execSync } from "node:child_process";
import fs from "node:fs";
import { pathToFileURL } from "node:url";
import { chromium } from "../web/node_modules/playwright-core/index.mjs";

const [movie, page] = process.argv.slice(2);
const runs = 5, cpuSeconds = 20;
const median = (values) => values.sort((a, b) => a - b)[values.length >> 1];

const stream = fs.statSync(movie).size - 20480, html = fs.statSync(page).size;
console.log(`movie stream ${stream} bytes, page ${html} bytes: ${html - stream} bytes beyond the stream`);

const server = await chromium.launchServer({
  executablePath: "/usr/bin/chromium",
  args: ["--disable-gpu", "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--no-first-run", "--disable-quic"],
});
const browser = await chromium.connect(server.wsEndpoint());
const url = pathToFileURL(page).href;

// Seconds of CPU used so far by chromium and every process below it.
const ticksPerSecond = Number(execSync("getconf CLK_TCK"));
function cpuSecondsOfTree(root) {
  const stats = fs.readdirSync("/proc").filter((name) => /^\d+$/.test(name)).flatMap((pid) => {
    try {
      const fields = fs.readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ");
      return [{ pid: Number(pid), parent: Number(fields[1]), ticks: Number(fields[11]) + Number(fields[12]) }];
    } catch {
      return [];   // ended meanwhile
    }
  });
  const tree = new Set([root]);
  for (let grown = true; grown;) {
    grown = false;
    for (const s of stats) if (!tree.has(s.pid) && tree.has(s.parent)) tree.add(s.pid), grown = true;
  }
  return stats.filter((s) => tree.has(s.pid)).reduce((sum, s) => sum + s.ticks, 0) / ticksPerSecond;
}

const opens = [], lasts = [];
for (let run = 0; run < runs; run++) {
  const tab = await browser.newPage();
  const started = Date.now();
  await tab.goto(url);
  await tab.waitForFunction(() => document.title === "typing", null, { polling: "raf", timeout: 60000 });
  opens.push(Date.now() - started);
  lasts.push(await tab.evaluate(() => new Promise((resolve) => {
    document.dispatchEvent(new KeyboardEvent("keydown", { key: " " }));
    const frame = document.getElementById("frame"), wanted = /^帧 (\d+) \/ \1$/, started = performance.now();
    location.hash = "#frame=999999";
    (function poll() {
      if (wanted.test(frame.textContent)) resolve(performance.now() - started);
      else requestAnimationFrame(poll);
    })();
  })));
  await tab.close();
}
console.log(`open until the first frame plays: median ${median(opens)} ms of ${runs} (${opens.join(", ")})`);
console.log(`then to the last frame: median ${median(lasts).toFixed(1)} ms of ${runs} (${lasts.map((t) => t.toFixed(1)).join(", ")})`);

const tab = await browser.newPage();
await tab.goto(url);
await tab.waitForFunction(() => document.title === "typing", null, { timeout: 60000 });
await tab.check("#loop");
const pid = server.process().pid;
for (const [what, key] of [["playing at 5 fps", null], ["paused", " "]]) {
  if (key) await tab.keyboard.press("Space");
  const before = cpuSecondsOfTree(pid);
  await new Promise((resolve) => setTimeout(resolve, cpuSeconds * 1000));
  const used = cpuSecondsOfTree(pid) - before;
  console.log(`CPU ${what}: ${(100 * used / cpuSeconds).toFixed(1)}% of one core over ${cpuSeconds} s`);
}
await browser.close();
await server.close();
