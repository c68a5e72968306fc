// How soon the view page shows the sample project: for each run a fresh headless Chromium opens
// the page once (cold: nothing cached, the browser just started) and then again (warm), and the
// page's own clock says when the first points were drawn and when all of them were.
//
//   node bench/view_page/page_timing.mjs --bin build/bin --modules NODE_MODULES --nox FILE.nox [--runs 5]
//
// NODE_MODULES is the view page's package folder in the build tree
// (build/tools/noxconvert/view/page/node_modules). Prints the median and the range of each time.
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';
import { parseArgs } from 'node:util';

const { values: options } = parseArgs({
  options: { bin: { type: 'string' }, modules: { type: 'string' }, nox: { type: 'string' }, runs: { type: 'string', default: '5' } },
});
const require = createRequire(resolve(options.modules, 'noop.js'));
const { chromium } = require('playwright-core');

const server = spawn(join(options.bin, 'noxconvert'), ['view', options.nox, '--port', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
const address = await new Promise((done, fail) => {
  let out = '';
  server.stdout.on('data', (d) => {
    out += d;
    const match = out.match(/at (http:\/\/127\.0\.0\.1:\d+\/)/);
    if (match) done(match[1]);
  });
  server.on('exit', () => fail(new Error('noxconvert view ended before serving')));
});

const times = { cold: [], warm: [] };
try {
  for (let run = 0; run < Number(options.runs); ++run) {
    const browser = await chromium.launch({
      executablePath: process.env.KS_CHROMIUM || '/usr/bin/chromium',
      args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist'],
    });
    const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
    for (const kind of ['cold', 'warm']) {
      await page.goto(address);
      await page.waitForFunction(() => window.noxView && window.noxView.allPointsMs !== null, null, { timeout: 120000 });
      times[kind].push(await page.evaluate(() => ({ first: window.noxView.firstPictureMs, all: window.noxView.allPointsMs, points: window.noxView.received })));
    }
    await browser.close();
  }
} finally {
  server.kill('SIGINT');
}

const median = (values) => { const v = [...values].sort((a, b) => a - b); const m = v.length >> 1; return v.length % 2 ? v[m] : (v[m - 1] + v[m]) / 2; };
console.log(`${options.nox}: ${times.cold[0].points} points, ${options.runs} runs, milliseconds after the page opened`);
for (const kind of ['cold', 'warm']) {
  for (const what of ['first', 'all']) {
    const values = times[kind].map((t) => t[what]);
    console.log(`${kind} ${what === 'first' ? 'first picture' : 'all points  '}: median ${Math.round(median(values))}, range ${Math.round(Math.min(...values))} to ${Math.round(Math.max(...values))}`);
  }
}
