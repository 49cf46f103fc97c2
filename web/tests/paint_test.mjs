// The painter (paint.html) in a headless browser: cells painted with quick presses and a stroke,
// then Ctrl+S, whose canvas.png holds exactly those cells and whose image.png is tessera-scale's
// enlargement of it; a palette pick and the eyedropper on a blended pixel; Escape, undo and the
// two redos, each seen in image.png; Ctrl+O with a larger, a smaller, a translucent and a damaged
// file; settings of three colours at factor 3, the canvas and the palette bar as the core lays
// them out; a reload that keeps the painting; in Chromium, both pages reloaded offline; no console
// error and no request beyond the test's own server. Prints the time per frame while painting at
// the default settings and at window 2048, zoom 1, factor 2.
//
//   node paint_test.mjs SITE_DIR BUILD_DIR [chromium|firefox]
// BUILD_DIR holds tools/tessera-scale of a native release build. Downloads are read back through
// the page (the Blob behind each download link), the same way in every browser.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { launchBrowser, serveSite, watchPage } from './harness.mjs';

const [siteDir, buildDir, browserName = 'chromium'] = process.argv.slice(2);
const tesseraScale = join(buildDir, 'tools/tessera-scale');
const python = '/usr/bin/python3';
const work = mkdtempSync(join(tmpdir(), 'tessera-paint-'));
const failures = [];
const check = (condition, what) => {
  if (!condition) failures.push(what);
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${browserName}: ${what}`);
};

// Files to open: larger and smaller than the default 40 x 40 canvas, a translucent one and one
// that is damaged (a PNG cut short).
execFileSync(python, ['-c', `
import sys
from PIL import Image
large = Image.new("RGB", (60, 50))
large.putdata([((x * 4) % 256, (y * 5) % 256, 90) for y in range(50) for x in range(60)])
large.save(sys.argv[1] + "/large.png")
Image.new("RGB", (10, 6), (250, 200, 0)).save(sys.argv[1] + "/small.gif")
Image.new("RGBA", (4, 4), (0, 0, 255, 100)).save(sys.argv[1] + "/translucent.png")
data = open(sys.argv[1] + "/large.png", "rb").read()
open(sys.argv[1] + "/damaged.png", "wb").write(data[:len(data) // 2])`, work]);

// A PNG's size and pixels as RGBA, decoded by Pillow.
function decode(path) {
  const out = JSON.parse(execFileSync(python, ['-c', `
import json, sys
from PIL import Image
with Image.open(sys.argv[1]) as image:
    print(json.dumps({"width": image.width, "height": image.height,
                      "rgba": image.convert("RGBA").tobytes().hex()}))`, path], { maxBuffer: 1 << 28 }).toString());
  const rgba = Buffer.from(out.rgba, 'hex');
  return { width: out.width, height: out.height, rgba, at: (x, y) => [...rgba.subarray((y * out.width + x) * 4, (y * out.width + x) * 4 + 4)] };
}
const same = (a, b) => a.length === b.length && a.every((v, i) => v === b[i]);

const site = await serveSite(siteDir);
const origin = site.origin;
const { browser, cleanUp } = await launchBrowser(browserName);
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1000, height: 1000 });
  const { consoleErrors, foreignRequests } = watchPage(page, origin);
  page.on('dialog', (dialog) => dialog.accept());
  // Every download link's Blob is read back instead of being saved by the browser, and a file
  // chooser the page opens is counted and left to the test to fill.
  await page.evaluateOnNewDocument(() => {
    window.testDownloads = [];
    window.testChoosers = 0;
    const choose = HTMLInputElement.prototype.click;
    HTMLInputElement.prototype.click = function () {
      if (this.type !== 'file') return choose.call(this);
      window.testChoosers += 1;
    };
    const click = HTMLAnchorElement.prototype.click;
    HTMLAnchorElement.prototype.click = function () {
      if (!this.download || !this.href.startsWith('blob:')) return click.call(this);
      const name = this.download;
      window.testDownloads.push(fetch(this.href).then((response) => response.arrayBuffer())
        .then((buffer) => ({ name, hex: [...new Uint8Array(buffer)].map((b) => b.toString(16).padStart(2, '0')).join('') })));
    };
  });

  const ready = () => page.waitForFunction(() => window.tesseraPainter !== undefined, { timeout: 60000 });
  const frames = (count = 2) => page.evaluate((n) => new Promise((resolve) => {
    const step = () => (n-- > 0 ? requestAnimationFrame(step) : resolve());
    step();
  }), count);
  const layout = () => page.evaluate(() => window.tesseraPainter.layout());
  // The page position of window pixel (x, y), wherever CSS has put and scaled the window.
  const at = async (x, y) => {
    const { window: size } = await layout();
    const box = await (await page.$('#window')).boundingBox();
    return [box.x + (x + 0.5) * box.width / size, box.y + (y + 0.5) * box.height / size];
  };
  // A press and release between two frames: the frame still samples the button down.
  const tap = async (x, y, button = 'left') => {
    await page.mouse.move(...await at(x, y));
    await page.mouse.down({ button });
    await page.mouse.up({ button });
    await frames();
  };
  const press = async (...keys) => {
    for (const key of keys) await page.keyboard.down(key);
    for (const key of keys.reverse()) await page.keyboard.up(key);
    await frames();
  };
  // The downloads since the last call, as files in the work folder, by name.
  let saved = 0;
  const downloads = async () => {
    const files = await page.evaluate(async () => {
      const done = await Promise.all(window.testDownloads);
      window.testDownloads = [];
      return done;
    });
    const paths = {};
    for (const { name, hex } of files) {
      paths[name] = join(work, `${++saved}-${name}`);
      writeFileSync(paths[name], Buffer.from(hex, 'hex'));
    }
    return paths;
  };
  const saveBoth = async () => {
    await press('Control', 's');
    const files = await downloads();
    return { canvas: decode(files['canvas.png']), image: decode(files['image.png']), paths: files };
  };
  const saveImage = async () => {
    await press('s');
    return decode((await downloads())['image.png']);
  };
  const windowPixel = (x, y) => page.evaluate((px, py) =>
    [...document.getElementById('window').getContext('2d').getImageData(px, py, 1, 1).data], x, y);
  const notice = () => page.$eval('#notice', (element) => element.textContent);

  await page.goto(`${origin}/paint.html`, { waitUntil: 'load' });
  await ready();
  await frames();
  const start = await layout();
  check(start.window === 800 && start.canvasWidth === 40 && start.previewWidth === 160,
    `default settings: window 800, canvas 40 x 40, preview 160 (${JSON.stringify(start)})`);

  // Quick taps on a diagonal and a stroke dragged over a row, white on black (cells of 20).
  const cell = (cx, cy) => [cx * 20 + 10, cy * 20 + 10];
  const painted = new Set();
  for (let i = 0; i < 8; ++i) {
    await tap(...cell(4 + i, 3 + i));
    painted.add(`${4 + i},${3 + i}`);
  }
  await page.mouse.move(...await at(...cell(14, 20)));
  await page.mouse.down();
  for (let cx = 14; cx <= 26; ++cx) {
    await page.mouse.move(...await at(...cell(cx, 20)));
    await frames(1);
    painted.add(`${cx},20`);
  }
  await page.mouse.up();
  await frames();
  let saves = await saveBoth();
  let exact = saves.canvas.width === 40 && saves.canvas.height === 40;
  for (let y = 0; y < 40 && exact; ++y)
    for (let x = 0; x < 40; ++x)
      exact &&= same(saves.canvas.at(x, y), painted.has(`${x},${y}`) ? [255, 255, 255, 255] : [0, 0, 0, 255]);
  check(exact, 'Ctrl+S: canvas.png holds exactly the tapped diagonal and the dragged stroke, white on black');
  const native = join(work, 'native.png');
  execFileSync(tesseraScale, ['-q', '-f', '4', '-o', native, saves.paths['canvas.png']]);
  const nativeImage = decode(native);
  check(nativeImage.width === saves.image.width && nativeImage.rgba.equals(saves.image.rgba),
    'Ctrl+S: image.png is tessera-scale -f 4 of canvas.png, pixel for pixel');
  check(saves.image.rgba.every((v, i) => i % 4 !== 3 || v === 255), 'image.png is opaque');

  // A palette pick (entry 3 of the bar: 50 pixels a swatch), then the eyedropper on a blended
  // pixel of the diagonal's enlargement: the current colour becomes the blend, no swatch outlined.
  await tap(3 * 50 + 25, 785);
  await tap(...cell(30, 5));
  const picked = (await saveBoth()).canvas.at(30, 5);
  check(same(picked, [190, 38, 51, 255]), `a palette pick paints entry 3 (${picked})`);
  let blend = null;
  for (let y = 0; y < 160 && !blend; ++y)
    for (let x = 0; x < 160 && !blend; ++x) {
      const value = saves.image.at(x, y);
      if (!same(value, [0, 0, 0, 255]) && !same(value, [255, 255, 255, 255])) blend = { x, y, value };
    }
  check(blend !== null, 'the diagonal\'s enlargement holds a blended pixel');
  await tap(blend.x * 5 + 2, blend.y * 5 + 2, 'right');
  await tap(...cell(32, 5));
  const dropped = (await saveBoth()).canvas.at(32, 5);
  check(same(dropped, blend.value), `the eyedropper takes the blend ${blend.value} (painted ${dropped})`);
  const outline = await windowPixel(148, 785);
  check(same(outline, [157, 157, 157, 255]), `after the eyedropper no swatch is outlined (left of swatch 3: ${outline})`);

  // Escape, undo, redo by Ctrl+Y and by Ctrl+Shift+Z, each through image.png.
  const before = await saveImage();
  await press('Escape');
  const filled = await saveImage();
  const blendOnly = filled.rgba.every((v, i) => v === [...blend.value][i % 4]);
  check(blendOnly, 'Escape fills the canvas with the current colour');
  await press('Control', 'z');
  check((await saveImage()).rgba.equals(before.rgba), 'Ctrl+Z brings back the painting');
  await press('Control', 'y');
  check((await saveImage()).rgba.equals(filled.rgba), 'Ctrl+Y fills again');
  await press('Control', 'z');
  await press('Control', 'Shift', 'z');
  check((await saveImage()).rgba.equals(filled.rgba), 'Ctrl+Shift+Z fills again');
  await press('Control', 'z');

  // Ctrl+O with each file.
  const choose = async (name) => {
    const choosers = await page.evaluate(() => window.testChoosers);
    await press('Control', 'o');
    check(await page.evaluate((n) => window.testChoosers === n + 1, choosers), `Ctrl+O asks for a file (${name})`);
    await (await page.$('#open-file')).uploadFile(join(work, name));
  };
  const open = async (name) => {
    await choose(name);
    await page.waitForFunction((file) => document.getElementById('notice').textContent.includes(file), { timeout: 10000 }, name);
    await frames();
    const said = await notice();
    return { ...(await saveBoth()), said };
  };
  const beforeOpen = (await saveBoth()).canvas;
  const large = decode(join(work, 'large.png'));
  const openedLarge = await open('large.png');
  let opened = openedLarge.canvas;
  let cropped = true;
  for (let y = 0; y < 40; ++y) for (let x = 0; x < 40; ++x) cropped &&= same(opened.at(x, y), large.at(x, y));
  check(cropped && openedLarge.said === 'opened large.png, 60 × 50 on the 40 × 40 canvas',
    `a larger file is cropped to the canvas ("${openedLarge.said}")`);
  await press('Control', 'z');
  opened = (await open('small.gif')).canvas;
  check(same(opened.at(9, 5), [250, 200, 0, 255]) && same(opened.at(10, 5), beforeOpen.at(10, 5)) &&
    same(opened.at(4, 6), beforeOpen.at(4, 6)), 'a smaller file covers the cells it reaches, the rest keep theirs');
  await press('Control', 'z');
  opened = (await open('translucent.png')).canvas;
  const under = beforeOpen.at(1, 1);
  const over = [0, 0, 255].map((v, i) => Math.round((v * 100 + under[i] * 155) / 255));
  check(same(opened.at(1, 1), [...over, 255]), `a translucent file is laid over the cells (${opened.at(1, 1)} for ${over})`);
  await press('Control', 'z');
  const afterUndo = (await saveBoth()).canvas;
  check(afterUndo.rgba.equals(beforeOpen.rgba), 'Ctrl+Z undoes an open in one step');
  await choose('damaged.png');
  await page.waitForFunction(() => document.getElementById('notice').textContent.includes('could not open damaged.png'),
    { timeout: 10000 });
  const damagedNotice = await notice();
  const damagedTitle = await page.title();
  check((await saveBoth()).canvas.rgba.equals(beforeOpen.rgba) && damagedTitle === `TESSERA.EXE — ${damagedNotice}`,
    `a damaged file leaves the canvas, and the notice and title say why: "${damagedNotice}"`);

  // Settings of three colours at factor 3: 800 / 15 = 53 cells, swatches 266.67 pixels wide.
  await page.click('#settings-panel summary');
  await page.$eval('#settings-text', (element) => { element.value = '800 3 5\n255,0,0\n0,255,0\n0,0,255\n'; });
  await page.$eval('#settings', (form) => form.requestSubmit());
  await frames(3);
  const three = await layout();
  check(three.canvasWidth === 53 && three.previewWidth === 159 && three.factor === 3,
    `factor 3: canvas 53 x 53, preview 159 (${JSON.stringify(three)})`);
  // Swatch j covers the window pixels whose centres lie in [j × 800 / 3, (j + 1) × 800 / 3); the
  // selected swatch 1 has a black outline 4 pixels wide outside it: columns 263 to 266 and 533
  // to 536, rows 764 to 767.
  const bar = [];
  for (const [x, y] of [[262, 784], [263, 784], [266, 784], [267, 784], [532, 784], [533, 784], [536, 784],
    [537, 784], [400, 763], [400, 764], [400, 767], [400, 768], [700, 799], [100, 767]])
    bar.push([x, y, (await windowPixel(x, y)).slice(0, 3).join(',')]);
  const expectedBar = ['255,0,0', '0,0,0', '0,0,0', '0,255,0', '0,255,0', '0,0,0', '0,0,0', '0,0,255', '255,0,0',
    '0,0,0', '0,0,0', '0,255,0', '0,0,255', '255,0,0'];
  check(bar.every((entry, i) => entry[2] === expectedBar[i]),
    `the palette bar and its outline as the core lays them out: ${bar.map((e) => e.join(':')).join(' ')}`);
  await tap(...[10 * 15 + 7, 10 * 15 + 7]);
  saves = await saveBoth();
  check(saves.canvas.width === 53 && same(saves.canvas.at(0, 0), [255, 0, 0, 255]) &&
    same(saves.canvas.at(10, 10), [0, 255, 0, 255]) && saves.image.width === 159,
    'the new canvas starts in entry 0 and paints entry 1; image.png is 159 x 159');

  // A reload keeps the settings and the painting.
  await tap(20 * 15 + 7, 20 * 15 + 7);
  await new Promise((resolve) => setTimeout(resolve, 600));
  await page.reload({ waitUntil: 'load' });
  await ready();
  await frames(3);
  const reloaded = (await saveBoth()).canvas;
  check(reloaded.width === 53 && same(reloaded.at(10, 10), [0, 255, 0, 255]) && same(reloaded.at(20, 20), [0, 255, 0, 255]),
    'a reload brings back the settings and the painting');

  if (browserName === 'chromium') {
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.setOfflineMode(true);
    await page.reload({ waitUntil: 'load' });
    await ready();
    await frames(3);
    const offline = (await saveBoth()).canvas;
    check(same(offline.at(20, 20), [0, 255, 0, 255]), 'offline, the painter reloads with its painting');
    await page.goto(`${origin}/index.html`, { waitUntil: 'load' });
    const converter = await page.evaluate(() => document.querySelector('h1')?.textContent);
    check(converter === 'Tessera', 'offline, the converter page opens too');
    await page.setOfflineMode(false);
    await page.goto(`${origin}/paint.html`, { waitUntil: 'load' });
    await ready();
  }

  // Time per frame (pointer sample, enlargement, drawing) while a stroke crosses the canvas.
  for (const [settings, label] of [['800 4 5\n', 'default settings (800, factor 4, zoom 5)'],
    ['2048 2 1\n', 'window 2048, factor 2, zoom 1']]) {
    await page.$eval('#settings-text', (element, text) => { element.value = text; }, settings);
    await page.$eval('#settings', (form) => form.requestSubmit());
    await frames(3);
    const { window: size } = await layout();
    await page.evaluate(() => {
      window.scrollTo(0, 0);
      window.tesseraPainter.frameTimes.length = 0;
    });
    await page.mouse.move(...await at(0, 0));
    await page.mouse.down();
    for (let i = 0; i < 120; ++i) {
      const t = i / 120;
      await page.mouse.move(...await at(Math.floor(size * t), Math.floor((size - 40) * (0.5 + 0.4 * Math.sin(t * 7)))));
      await frames(1);
    }
    await page.mouse.up();
    const recorded = await page.evaluate(() => [...window.tesseraPainter.frameTimes]);
    const quantiles = (values) => {
      const sorted = values.sort((a, b) => a - b);
      return [0.5, 0.95].map((q) => sorted[Math.floor(sorted.length * q)].toFixed(2));
    };
    const painted = recorded.filter((f) => f.changed);
    const work = quantiles(painted.map((f) => f.work));
    const intervals = quantiles(recorded.slice(1).map((f, i) => f.timestamp - recorded[i].timestamp));
    console.log(`time: ${browserName}, ${label}: work per painted frame median ${work[0]} ms, 95th percentile ` +
      `${work[1]} ms (${painted.length} frames); frame interval median ${intervals[0]} ms, ` +
      `95th percentile ${intervals[1]} ms`);
  }

  check(consoleErrors.length === 0, `no console errors${consoleErrors.length ? ': ' + consoleErrors.join(' | ') : ''}`);
  check(foreignRequests.length === 0, `no request beyond ${origin}${foreignRequests.length ? ': ' + foreignRequests.join(' ') : ''}`);
} finally {
  await browser.close();
  site.close();
  cleanUp();
  if (!failures.length) rmSync(work, { recursive: true, force: true });
}
if (failures.length) {
  console.log(`painter tests (${browserName}): ${failures.length} failed (files kept in ${work})`);
  process.exit(1);
}
console.log(`painter tests (${browserName}): all passed`);
