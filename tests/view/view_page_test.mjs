// The view page in a real browser (Debian's Chromium, headless, WebGL in software): the sample
// project converted, served by `noxconvert view`, loaded until every point has arrived, and
// compared with the top-down preview of the same file; the WebGL context lost and given back; a
// browser without WebGL, which gets the facts and a notice. Also the server's refusals, over raw
// HTTP.
//
//   node view_page_test.mjs --bin BUILD/bin --modules NODE_MODULES --work DIR [--shot OUT.png]
//
// Exits 0 when every check passes; a browser that cannot start is a failure, said as such.
import { spawn, execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { mkdirSync, readFileSync, writeFileSync, copyFileSync, statSync, truncateSync } from 'node:fs';
import http from 'node:http';
import { join, resolve } from 'node:path';
import { parseArgs } from 'node:util';

const { values: options } = parseArgs({
  options: { bin: { type: 'string' }, modules: { type: 'string' }, work: { type: 'string' }, shot: { type: 'string' } },
});
const require = createRequire(resolve(options.modules, 'noop.js'));
const { chromium } = require('playwright-core');
const { PNG } = require('pngjs');

let failures = 0;
function check(condition, what) {
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
  if (!condition) failures++;
}

const tool = join(options.bin, 'noxconvert');
const work = options.work;
mkdirSync(work, { recursive: true });
const run = (program, args) => execFileSync(program, args, { encoding: 'utf8' });

// The sample project, converted, with its facts and its preview.
run(join(options.bin, 'make-sample-project'), [join(work, 'project'), '--points', '400000']);
const nox = join(work, 'site.nox');
run(tool, ['-q', 'convert', join(work, 'project', 'site.rsp'), '-o', nox]);
const info = JSON.parse(run(tool, ['info', nox, '--json']));
run(tool, ['preview', nox, join(work, 'preview.png')]);

// Starts `noxconvert view` on a free port; answers the child and its address.
function startServer(file) {
  return new Promise((resolve, reject) => {
    const child = spawn(tool, ['view', file, '--port', '0'], { stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const match = out.match(/at (http:\/\/127\.0\.0\.1:\d+\/)/);
      if (match) resolve({ child, address: match[1] });
    });
    child.on('exit', (code) => reject(new Error(`noxconvert view ended with ${code} before serving`)));
    setTimeout(() => reject(new Error('noxconvert view did not print its address')), 20000);
  });
}

// A request sent as written: no client-side clean-up of the path.
function rawGet(address, path, headers = {}, method = 'GET') {
  const url = new URL(address);
  return new Promise((resolve, reject) => {
    const request = http.request({ host: url.hostname, port: url.port, path, headers, method }, (response) => {
      let body = '';
      response.on('data', (d) => (body += d));
      response.on('end', () => resolve({ status: response.statusCode, body, allow: response.headers.allow }));
    });
    request.on('error', reject);
    request.end();
  });
}

// Share of pixels that are not the background, per cell of a grid over the picture's content.
function coverage(png, cells, background) {
  const content = (i) => Math.abs(png.data[i] - background[0]) + Math.abs(png.data[i + 1] - background[1]) +
    Math.abs(png.data[i + 2] - background[2]) > 24;
  let x0 = png.width, y0 = png.height, x1 = -1, y1 = -1;
  for (let y = 0; y < png.height; ++y)
    for (let x = 0; x < png.width; ++x)
      if (content(4 * (y * png.width + x))) { x0 = Math.min(x0, x); x1 = Math.max(x1, x); y0 = Math.min(y0, y); y1 = Math.max(y1, y); }
  const grid = { filled: new Float64Array(cells * cells), structure: new Uint8Array(cells * cells), empty: x1 < 0 };
  if (grid.empty) return grid;
  const counts = new Float64Array(cells * cells), red = new Float64Array(cells * cells), green = new Float64Array(cells * cells);
  for (let y = y0; y <= y1; ++y) {
    for (let x = x0; x <= x1; ++x) {
      const c = Math.min(cells - 1, Math.floor(((y - y0) / (y1 - y0 + 1)) * cells)) * cells +
        Math.min(cells - 1, Math.floor(((x - x0) / (x1 - x0 + 1)) * cells));
      const i = 4 * (y * png.width + x);
      counts[c]++;
      if (content(i)) { grid.filled[c]++; red[c] += png.data[i]; green[c] += png.data[i + 1]; }
    }
  }
  for (let c = 0; c < cells * cells; ++c) {
    // Ground is green; the building (walls and roof) is not.
    grid.structure[c] = grid.filled[c] > 0 && red[c] >= green[c] ? 1 : 0;
    grid.filled[c] /= Math.max(counts[c], 1);
  }
  return grid;
}

function overlap(a, b) {
  let both = 0, either = 0;
  for (let c = 0; c < a.length; ++c) { both += a[c] && b[c] ? 1 : 0; either += a[c] || b[c] ? 1 : 0; }
  return either ? both / either : 0;
}

async function launch(args) {
  try {
    return await chromium.launch({ executablePath: process.env.KS_CHROMIUM || '/usr/bin/chromium', args, timeout: 60000 });
  } catch (error) {
    console.log(`FAIL Chromium cannot start, so the page was not tested: ${error.message.split('\n')[0]}`);
    process.exit(1);
  }
}

const server = await startServer(nox);
let browser;
let plainBrowser;
try {
  // What the server refuses: paths outside its own, and other hosts' names.
  for (const path of ['/../../../../etc/passwd', '/%2e%2e/%2e%2e/etc/passwd', '/view.js/../../etc/passwd', '/etc/passwd', '/site.nox', '/points/../facts.json/x']) {
    const { status, body } = await rawGet(server.address, path);
    check(status === 404 && !body.includes('root:'), `${path} is refused (${status})`);
  }
  const foreign = await rawGet(server.address, '/facts.json', { Host: 'attacker.example' });
  check(foreign.status === 403, `a request for another host name is refused (${foreign.status})`);
  const posted = await rawGet(server.address, '/', { 'Content-Type': 'text/plain', 'Content-Length': '2' }, 'POST');
  check(posted.status === 405 && posted.allow === 'GET, HEAD', `POST / is 405 with Allow: ${posted.allow} (${posted.status})`);

  browser = await launch(['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist']);
  const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  const load = async (query) => {
    await page.goto(server.address + query);
    await page.waitForFunction(() => window.noxView && window.noxView.state !== 'starting' &&
      window.noxView.state !== 'streaming' && (window.noxView.state !== 'done' || window.noxView.allPointsMs !== null), null, { timeout: 120000 });
    return page.evaluate(() => { const s = { ...window.noxView }; delete s.facts; return s; });
  };

  // Top-down: the same view as the preview, so the two must cover the same places.
  const top = await load('?camera=top');
  check(top.state === 'done', `every point arrived (${top.state}${top.message ? ': ' + top.message : ''})`);
  check(top.received === info.points && top.expected === info.points, `${top.received} of ${info.points} points shown`);
  const shown = await page.textContent('#fact-points');
  check(shown === info.points.toLocaleString('en-US'), `the facts panel gives the point count (${shown})`);
  const clouds = await page.locator('#fact-clouds li').count();
  check(clouds === info.cloudCount, `the facts panel lists ${clouds} of ${info.cloudCount} clouds`);
  // Nameless clouds are listed by the scan they came from, as info labels them.
  const legend = await page.locator('#fact-clouds li').allTextContents();
  check(info.clouds.every((c, i) => c.scan !== '' && legend[i] && legend[i].startsWith(`${c.label}:`)),
    `the legend names each cloud's scan (${legend.join(' | ')})`);
  // Intensity as the exports give it: unsigned.
  await page.selectOption('#colour-mode', 'intensity');
  const low = Number(await page.textContent('#intensity-low'));
  const high = Number(await page.textContent('#intensity-high'));
  check(low >= 0 && high > low && high <= 65535, `the intensity scale is unsigned (${low} to ${high})`);
  await page.selectOption('#colour-mode', top.colourMode || 'rgb');
  const topShot = await page.locator('#canvas-host canvas').screenshot();
  writeFileSync(join(work, 'top.png'), topShot);
  const view = PNG.sync.read(topShot);
  const preview = PNG.sync.read(readFileSync(join(work, 'preview.png')));
  const cells = 24;
  const seen = coverage(view, cells, [24, 24, 27]);
  const expected = coverage(preview, cells, [24, 24, 24]);
  check(!seen.empty, 'the picture is not empty');
  const filledOverlap = overlap(seen.filled.map((f) => f > 0.01), expected.filled.map((f) => f > 0.01));
  check(filledOverlap > 0.85, `points cover the places the preview covers (overlap ${filledOverlap.toFixed(2)})`);
  const structureCells = expected.structure.reduce((a, b) => a + b, 0);
  const structureOverlap = overlap(seen.structure, expected.structure);
  check(structureCells > 4 && structureOverlap > 0.6,
    `the building stands where the preview puts it (${structureCells} cells, overlap ${structureOverlap.toFixed(2)})`);
  console.log(`timing (top view): first picture ${Math.round(top.firstPictureMs)} ms, all points ${Math.round(top.allPointsMs)} ms after the page opened`);

  // The page as a person first sees it, for the user guide.
  const orbit = await load('');
  check(orbit.state === 'done', 'the orbit view gets every point too');
  console.log(`timing (orbit view): script ${Math.round(orbit.scriptMs)} ms, first block ${Math.round(orbit.firstBlockMs)} ms, first picture ${Math.round(orbit.firstPictureMs)} ms, all points ${Math.round(orbit.allPointsMs)} ms`);
  if (options.shot) await page.screenshot({ path: options.shot });

  // The context taken away: the page says so; given back: the notice goes and the points are
  // drawn again into the new, empty drawing buffer.
  await page.evaluate(() => {
    window.loseContext = document.querySelector('#canvas-host canvas').getContext('webgl2').getExtension('WEBGL_lose_context');
    window.loseContext.loseContext();
  });
  await page.waitForFunction(() => window.noxView.failure !== null, null, { timeout: 10000 }).catch(() => {});
  const lost = await page.evaluate(() => ({ failure: window.noxView.failure, frames: window.noxView.frames }));
  check(/context was lost/.test(lost.failure ?? ''), `a lost context is reported (${lost.failure})`);
  check(await page.isVisible('#webgl-failure') && /took WebGL away/.test(await page.textContent('#webgl-failure')),
    'and the page says so');
  await page.evaluate(() => window.loseContext.restoreContext());
  await page.waitForFunction((before) => window.noxView.failure === null && window.noxView.frames > before, lost.frames, { timeout: 10000 }).catch(() => {});
  check(await page.isHidden('#webgl-failure') && (await page.evaluate(() => window.noxView.failure)) === null,
    'a restored context clears the notice');
  const restored = coverage(PNG.sync.read(await page.locator('#canvas-host canvas').screenshot()), cells, [24, 24, 27]);
  check(!restored.empty, 'and the points are drawn again');
  check(errors.length === 0, `no script errors${errors.length ? ': ' + errors.join('; ') : ''}`);

  // No WebGL at all: the facts, a notice that says what failed and which command draws a picture,
  // and no points streamed for nothing.
  plainBrowser = await launch(['--disable-webgl']);
  const plain = await plainBrowser.newPage({ viewport: { width: 1280, height: 800 } });
  const plainErrors = [];
  plain.on('pageerror', (e) => plainErrors.push(e.message));
  await plain.goto(server.address);
  await plain.waitForFunction(() => window.noxView && window.noxView.state !== 'starting', null, { timeout: 60000 }).catch(() => {});
  const without = await plain.evaluate(() => ({ state: window.noxView.state, failure: window.noxView.failure, received: window.noxView.received }));
  check(without.state === 'no-webgl' && /^no WebGL: ./.test(without.failure ?? ''),
    `a browser without WebGL is reported (${without.state}: ${without.failure})`);
  const notice = (await plain.isVisible('#webgl-failure')) ? await plain.textContent('#webgl-failure') : '';
  check(notice.includes('no WebGL') && notice.includes('noxconvert preview site.nox site-preview.png'),
    `the page says what failed and which command draws a picture (${notice})`);
  check(await plain.textContent('#fact-points') === info.points.toLocaleString('en-US') && without.received === 0,
    'the facts panel is filled and no points were taken');
  check(plainErrors.length === 0, `no script errors without WebGL${plainErrors.length ? ': ' + plainErrors.join('; ') : ''}`);
} finally {
  if (plainBrowser) await plainBrowser.close();
  if (browser) await browser.close();
  server.child.kill('SIGINT');
}

// A damaged file: an error page that gives the reason, from a server that keeps running.
const damaged = join(work, 'damaged.nox');
copyFileSync(nox, damaged);
truncateSync(damaged, Math.floor(statSync(nox).size / 2));
const broken = await startServer(damaged);
try {
  const page = await rawGet(broken.address, '/');
  check(page.status === 500 && page.body.includes('Cannot show') && page.body.includes('not a readable NOX file'),
    `a damaged file gets an error page with the reason (${page.status})`);
  const again = await rawGet(broken.address, '/points');
  check(again.status === 500, 'and the server still answers after it');
} finally {
  broken.child.kill('SIGINT');
}

console.log(failures ? `${failures} check(s) failed` : 'all checks passed');
process.exit(failures ? 1 : 0);
