// The page in the system's Chromium and Firefox, headless, driven alike: its PNGs against
// tessera-scale's, pixel for pixel, in both modes at every factor, flattened over a background
// and for an animated PNG, frame by frame; several files at once and the zip of them; an
// unreadable and an oversize file beside good ones; no console error and no request beyond the
// test's own server on 127.0.0.1. Each result is read back as the page offers it: the link is
// clicked, and the Blob behind it is read in the page. Prints, for each browser, the bytes the
// page transferred and the 1024 x 1024 sheet's whole wait in the page against the native
// library's enlargement on one thread.
//
//   node browser_test.mjs SITE_DIR BUILD_DIR DATA_DIR
// BUILD_DIR holds tools/tessera-scale and bench/scaler_bench of a native release build.
// TESSERA_BROWSERS (default "chromium,firefox") names the browsers to run in; CHROMIUM and
// FIREFOX override their executables.
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import { join } from 'node:path';
import { launchBrowser, serveSite, watchPage } from './harness.mjs';

const [siteDir, buildDir, dataDir] = process.argv.slice(2);
const tesseraScale = join(buildDir, 'tools/tessera-scale');
const python = '/usr/bin/python3';
const work = mkdtempSync(join(os.tmpdir(), 'tessera-web-'));
const failures = [];
let passed = 0;
let browserName = '';
const check = (condition, what) => {
  if (condition) passed += 1;
  else failures.push(`${browserName}: ${what}`);
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${browserName}: ${what}`);
};

// Inputs: an opaque and two transparent sprites, the sheet, a file that is no image and a PNG
// whose header declares 9000 x 9000 pixels (over the page's limit at any factor) with nothing
// behind it.
const opaque = join(dataDir, 'cdda_uc_door_closed_32.png');
const crow = join(dataDir, 'cdda_uc_crow_32.png');
const dog = join(dataDir, 'cdda_uc_dog_gshepherd_32.png');
const sheet = join(dataDir, 'sheet_cdda_uc_1024.png');
// A folder of 300 small sprites: crops of the sheet from 16 x 16 to 64 x 64, every third opaque.
const spriteFolder = join(work, 'sprites');
mkdirSync(spriteFolder);
execFileSync(python, ['-c', `
import random, sys
from PIL import Image
sheet = Image.open(sys.argv[1]).convert("RGBA")
choice = random.Random(300)
for i in range(300):
    size = (16, 24, 32, 48, 64)[i % 5]
    x, y = choice.randrange(0, sheet.width - size + 1, 8), choice.randrange(0, sheet.height - size + 1, 8)
    sprite = sheet.crop((x, y, x + size, y + size))
    if i % 3 == 2:
        sprite = sprite.convert("RGB")
    sprite.save(f"{sys.argv[2]}/sprite_{i:03d}.png")`, sheet, spriteFolder]);
const sprites = readdirSync(spriteFolder).sort().map((name) => join(spriteFolder, name));
// A large image of seven colours, one of them translucent and first met at the bottom, whose
// enlargement keeps a palette: its bands' colours decide the palette and its order together.
const paletted = join(work, 'paletted.png');
execFileSync(python, ['-c', `
import sys
from PIL import Image
colours = [(20, 30, 40, 255), (200, 60, 60, 255), (60, 200, 90, 255), (240, 220, 90, 255), (90, 90, 220, 255), (250, 250, 250, 255)]
image = Image.new("RGBA", (700, 700))
image.putdata([colours[(x // 9 + y // 13 + (x * y) // 4000) % 6] for y in range(700) for x in range(700)])
image.paste((30, 160, 200, 128), (100, 650, 600, 700))
image.save(sys.argv[1])`, paletted]);
const unreadable = join(work, 'notes.png');
writeFileSync(unreadable, 'this is not an image\n');
const oversize = join(work, 'huge.png');
{
  const header = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13, 0x49, 0x48, 0x44, 0x52]);
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(9000, 0);
  ihdr.writeUInt32BE(9000, 4);
  ihdr[8] = 8; // bits per sample
  ihdr[9] = 6; // RGBA
  writeFileSync(oversize, Buffer.concat([header, ihdr, Buffer.alloc(4)]));
}

// An animated PNG of four frames: a half-transparent sprite moving over a transparent canvas,
// each later frame drawn over the one before in the rectangle that changed.
const animated = join(work, 'walk.png');
execFileSync(python, ['-c', `
import sys
from PIL import Image
frames = []
for index in range(4):
    frame = Image.new("RGBA", (24, 16), (0, 0, 0, 0))
    frame.paste((200, 40 * index, 30, 255), (index * 4, 2, index * 4 + 8, 12))
    frame.paste((20, 90, 200, 128), (2, 12, 22, 15))
    frames.append(frame)
frames[0].save(sys.argv[1], save_all=True, append_images=frames[1:], duration=[80, 90, 100, 110], loop=0, blend=1)`,
animated]);

// One file of every format the command reads, still and animated, each under a name of its own:
// the crow as PNG, BMP, TGA and GIF (all keeping its transparency), the door as JPEG, the crow
// as a lossless WebP (written by the command), the animated PNG above, and an animated GIF and
// WebP of the fuzzers' corpus.
const corpus = new URL('../../fuzz/corpus/image_load/', import.meta.url).pathname;
const formats = [];
for (const [name, make] of [
  ['format-png.png', (path) => execFileSync('cp', [crow, path])],
  ['format-bmp.bmp', (path) => execFileSync('convert', [crow, path])],
  ['format-tga.tga', (path) => execFileSync('convert', [crow, path])],
  ['format-gif.gif', (path) => execFileSync('convert', [crow, path])],
  ['format-jpeg.jpg', (path) => execFileSync('convert', [opaque, path])],
  ['format-webp.webp', (path) => execFileSync(tesseraScale, ['-q', '-f', '2', '-o', path, crow])],
  ['format-apng.png', (path) => execFileSync('cp', [animated, path])],
  ['format-animated-gif.gif', (path) => execFileSync('cp', [join(corpus, 'animated.gif'), path])],
  ['format-animated-webp.webp', (path) => execFileSync('cp', [join(corpus, 'animated.webp'), path])],
]) {
  formats.push(join(work, name));
  make(formats.at(-1));
}

function nativeOutput(input, factor, background, ...options) {
  const output = join(work, `native-${factor}-${background ?? 'alpha'}-${options.join('')}-${input.split('/').pop()}.png`);
  const args = ['-q', '-j', '1', '-f', String(factor), '-o', output, ...options, input];
  if (background) args.unshift('--background', background);
  execFileSync(tesseraScale, args);
  return output;
}

function samePixels(pairs) {
  try {
    execFileSync(python, [new URL('same_pixels.py', import.meta.url).pathname, ...pairs.flat()],
      { stdio: 'inherit' });
    return true;
  } catch {
    return false;
  }
}

const site = await serveSite(siteDir);
const origin = site.origin;

// The page's workers, one per core up to the pool's cap, and the command's jobs: the machine's cores.
const cores = os.cpus().length;
const workers = Math.min(cores, 8);

// tessera-scale -j N's wall time on FILES at FACTOR, process start to exit, the best of three.
function commandMs(files, factor) {
  let best = Infinity;
  for (let run = 0; run < 3; run++) {
    const folder = join(work, `command-${run}`);
    rmSync(folder, { recursive: true, force: true });
    mkdirSync(folder);
    const started = performance.now();
    execFileSync(tesseraScale, ['-q', '-j', String(cores), '-f', String(factor), '-o', folder, ...files]);
    best = Math.min(best, performance.now() - started);
  }
  return best;
}

// The page's first time and its time on the same files again (its code by then the engine's
// faster build), each against the command's best, measured between them.
function printTiming(what, [firstMs, againMs], nativeMs) {
  console.log(`time: ${browserName}: ${what}: page ${firstMs.toFixed(0)} ms from being handed the files to their links, ` +
    `${againMs.toFixed(0)} ms again; tessera-scale -j ${cores} ${nativeMs.toFixed(0)} ms; ratios ` +
    `${(firstMs / nativeMs).toFixed(2)} and ${(againMs / nativeMs).toFixed(2)}`);
}

async function runIn(name) {
  browserName = name;
  site.bytes = 0;
  const started = Date.now();
  const { browser, cleanUp } = await launchBrowser(name);
  try {
    const page = await browser.newPage();
    const { consoleErrors, foreignRequests } = watchPage(page, origin);
    let downloads = '';
    const downloadInto = (folder) => {
      downloads = join(work, browserName, folder);
      mkdirSync(downloads, { recursive: true });
    };

    // Before the page's own scripts: each object URL the page makes is kept with its Blob, and
    // a click on a download link saves nothing but keeps the link's URL under its file name.
    // The test reads that Blob in the page, as a download would give it; the page's content
    // policy allows no fetch of its own object URLs.
    await page.evaluateOnNewDocument(() => {
      // When the page is handed the chosen files, as a drop hands them: the driver's own work of
      // making 300 files for the input, which takes it most of a second, is not the page's.
      document.addEventListener('change', (event) => {
        if (event.target.id === 'files') window.filesHandedAt = performance.now();
      }, true);
      const makeUrl = URL.createObjectURL;
      window.objectUrlBlobs = new Map();
      URL.createObjectURL = (blob) => {
        const url = makeUrl.call(URL, blob);
        window.objectUrlBlobs.set(url, blob);
        return url;
      };
      window.clickedDownloads = new Map();
      document.addEventListener('click', (event) => {
        const link = event.target.closest?.('a[download]');
        if (!link) return;
        event.preventDefault();
        window.clickedDownloads.set(link.download, link.href);
      }, true);
    });
    await page.goto(origin + '/', { waitUntil: 'load' });
    // The bytes of the file last clicked under that name, read in the page in pieces small
    // enough for either browser's protocol, and written to the current downloads folder.
    const saveClicked = async (name) => {
      const size = await page.evaluate((name) => {
        window.clickedBlob = window.objectUrlBlobs.get(window.clickedDownloads.get(name));
        return window.clickedBlob?.size ?? -1;
      }, name);
      const path = join(downloads, name);
      if (size < 0) return path;
      const piece = 1 << 22;
      const parts = [];
      for (let start = 0; start < size; start += piece) {
        const base64 = await page.evaluate((start, end) => new Promise((resolve, reject) => {
          const reader = new FileReader();
          reader.onload = () => resolve(reader.result.slice(reader.result.indexOf(',') + 1));
          reader.onerror = () => reject(reader.error);
          reader.readAsDataURL(window.clickedBlob.slice(start, end));
        }), start, start + piece);
        parts.push(Buffer.from(base64, 'base64'));
      }
      writeFileSync(path, Buffer.concat(parts));
      return path;
    };

    let input = await page.$('#files');
    // Clears the page, sets its controls, gives it the files and waits until each has a result or
    // a message; the results stand in the order of the files.
    // Also returns how long the page took from being handed the files (their input's change event)
    // to the last link or message, read in the page at that moment.
    const enlargeTimed = async (files, factor, background) => {
      if (await page.$eval('#clear', (button) => !button.disabled)) await page.click('#clear');
      await page.click(`input[name=factor][value="${factor}"]`);
      await page.click(`input[name=alpha][value="${background ? 'flatten' : 'keep'}"]`);
      if (background) await page.$eval('#background', (element, value) => { element.value = value; }, background);
      // The moment is taken in the page, by an observer of the list, and read a tenth of a second
      // later at most: asking the page on every frame would keep it and the compositor busy, on
      // the cores the page's workers need.
      await page.evaluate((count) => {
        window.doneAt = undefined;
        const results = document.querySelector('#results');
        const observer = new MutationObserver(() => {
          if (results.querySelectorAll('li a.download, li .failure').length !== count) return;
          window.doneAt = performance.now();
          observer.disconnect();
        });
        observer.observe(results, { childList: true, subtree: true, attributes: true });
      }, files.length);
      await input.uploadFile(...files);
      const doneAt = await (await page.waitForFunction(() => window.doneAt, { timeout: 120000, polling: 100 })).jsonValue();
      const handedAt = await page.evaluate(() => window.filesHandedAt);
      const results = await page.$$eval('#results li', (items) => items.map((item) => ({
        name: item.querySelector('.name').textContent,
        download: item.querySelector('a.download')?.download ?? null,
        waitMs: Number(item.querySelector('a.download')?.dataset.waitMs),
        message: item.querySelector('.message').textContent,
      })));
      return { results, ms: doneAt - handedAt };
    };
    const enlarge = async (files, factor, background) => (await enlargeTimed(files, factor, background)).results;
    const download = async (name) => {
      // Items far down the list are laid out, and their links given their address, as they come
      // near: the link is brought to the middle of the window and clicked once it has one.
      const link = `a.download[download="${name}"]`;
      await page.$eval(link, (element) => element.scrollIntoView({ block: 'center' }));
      await page.waitForFunction((link) => document.querySelector(link).href, {}, link);
      await page.click(link);
      return saveClicked(name);
    };

    // Both modes at every factor; the opaque one is enlarged opaque, the crow keeps its alpha.
    for (const factor of [2, 3, 4, 5]) {
      downloadInto(`factor-${factor}`);
      const shownNow = await enlarge([opaque, crow], factor);
      const pairs = [];
      for (const [file, result] of [[opaque, shownNow[0]], [crow, shownNow[1]]]) {
        const stem = file.split('/').pop().replace(/\.png$/, '');
        check(result.download === `${stem}@${factor}x.png`, `factor ${factor}: ${stem} downloads as ${stem}@${factor}x.png`);
        pairs.push([await download(`${stem}@${factor}x.png`), nativeOutput(file, factor)]);
      }
      check(/opaque/.test(shownNow[0].message) && /transparency kept/.test(shownNow[1].message),
        `factor ${factor}: the opaque sprite is enlarged opaque, the transparent one keeps its alpha`);
      check(samePixels(pairs), `factor ${factor}: the page's pixels are tessera-scale's, both modes`);
    }

    // Flattened over a background, as --background does.
    downloadInto('background');
    const [flat] = await enlarge([dog], 3, '#ff00ff');
    check(/flattened/.test(flat.message), 'the dog is said to be flattened over the background');
    check(samePixels([[await download(flat.download), nativeOutput(dog, 3, '#FF00FF')]]),
      'flattened over #FF00FF at factor 3: the page\'s pixels are tessera-scale\'s');

    // An animated PNG stays animated, every frame and delay as tessera-scale writes them.
    downloadInto('animated');
    const [walk] = await enlarge([animated], 3);
    check(/4 frames/.test(walk.message), `the animation is enlarged frame by frame: "${walk.message}"`);
    check(samePixels([[await download(walk.download), nativeOutput(animated, 3)]]),
      'an animated PNG at factor 3: every frame of the page\'s is tessera-scale\'s, with its delay');

    // Every format, at two factors, with and without a background: the page's file is the very
    // file tessera-scale -j 1 writes, byte for byte; and a WebP out as the command writes it.
    for (const factor of [2, 3]) {
      for (const background of [null, '#203040']) {
        downloadInto(`formats-${factor}-${background ? 'flattened' : 'kept'}`);
        const shownNow = await enlarge(formats, factor, background);
        for (const [index, file] of formats.entries()) {
          const name = shownNow[index].download;
          const same = name !== null &&
            readFileSync(await download(name)).equals(readFileSync(nativeOutput(file, factor, background)));
          check(same, `${file.split('/').pop()} at factor ${factor}${background ? ' over ' + background : ''}: ` +
            `the page's file is tessera-scale's, byte for byte${name === null ? ` (${shownNow[index].message})` : ''}`);
        }
      }
    }
    downloadInto('webp-out');
    await page.click('input[name=format][value="webp"]');
    const webpOut = await enlarge([crow, formats[7]], 2);
    for (const [index, file] of [crow, formats[7]].entries()) {
      const native = join(work, `native-${index}.webp`);
      execFileSync(tesseraScale, ['-q', '-j', '1', '-f', '2', '-o', native, file]);
      const name = webpOut[index].download;
      check(name !== null && name.endsWith('.webp') && readFileSync(await download(name)).equals(readFileSync(native)),
        `${file.split('/').pop()} as WebP at factor 2: the page's file is tessera-scale -o NAME.webp's, byte for byte`);
    }
    await page.click('#clear');
    await page.click('input[name=format][value="png"]');

    // Several files at once, two of them bad and one twice, then all good ones as one zip.
    downloadInto('batch');
    const batch = await enlarge([crow, unreadable, dog, oversize, opaque, crow], 2);
    check(batch[1].download === null && /not a PNG, BMP, TGA, JPEG, GIF or WebP/.test(batch[1].message),
      `the unreadable file has its message: "${batch[1].message}"`);
    check(batch[3].download === null && /too large/.test(batch[3].message),
      `the oversize image has its message: "${batch[3].message}"`);
    check([0, 2, 4, 5].every((i) => batch[i].download), 'the good files of the batch are enlarged beside the bad ones');
    const batchFiles = [];
    for (const i of [0, 2, 4]) batchFiles.push(await download(batch[i].download));
    const zippedAt = Date.now();
    await page.click('#zip');
    const zipPath = await saveClicked('tessera.zip');
    const listing = JSON.parse(execFileSync(python, ['-c', `
import json, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    assert archive.testzip() is None
    print(json.dumps({info.filename: [archive.read(info).hex(), info.date_time] for info in archive.infolist()}))`,
    zipPath]).toString());
    const names = Object.keys(listing);
    // Each entry is dated (local time, to two seconds) when its result was made, in the last minute.
    const dates = names.map((name) => new Date(...listing[name][1].map((value, i) => value - (i === 1))).getTime());
    check(dates.every((date) => date <= zippedAt + 2000 && date >= zippedAt - 60000),
      `the zip's entries are dated when they were made: ${names.map((name) => listing[name][1].join('-')).join(', ')}`);
    // The four good files on the page; the crow twice.
    check(names.length === 4 && names.includes('cdda_uc_crow_32@2x.png') && names.includes('cdda_uc_crow_32@2x (2).png'),
      `the zip holds every result on the page, repeated names told apart: ${names.join(', ')}`);
    check(batchFiles.every((file) => {
      const entries = names.filter((name) => name.startsWith(file.split('/').pop().replace(/\.png$/, '')));
      return entries.some((name) => Buffer.from(listing[name][0], 'hex').equals(readFileSync(file)));
    }), 'the zip\'s entries are the files downloaded one by one, byte for byte');

    // The sheet, shared out among the page's workers, and a folder of sprites spread over them:
    // the page's files are the command's, byte for byte, and its wait from being handed the files
    // to their links is printed beside tessera-scale -j N's on the same files (N the cores here).
    // Timed on the page as a user meets it: loaded afresh and showing its sample, without the
    // files the checks above read back into it.
    await page.reload({ waitUntil: 'load' });
    await page.waitForSelector('#results li.sample a.download');
    input = await page.$('#files');
    for (const factor of [4, 2]) {
      downloadInto(`sheet-${factor}`);
      const { results: [sheetResult], ms } = await enlargeTimed([sheet], factor);
      check(readFileSync(await download(sheetResult.download)).equals(readFileSync(nativeOutput(sheet, factor))),
        `the 1024 x 1024 sheet at factor ${factor} (shared among ${workers} workers): the page's file is tessera-scale's, byte for byte`);
      const nativeMs = commandMs([sheet], factor);
      printTiming(`1024 x 1024 sheet at factor ${factor}`, [ms, (await enlargeTimed([sheet], factor)).ms], nativeMs);
    }
    // The shared path in the other colour modes and with the edges' options: the sheet flattened
    // and wrapped in cells, and the large image that keeps a palette.
    downloadInto('shared');
    await page.click('#wrap');
    await page.click('#grid');
    await page.$eval('#cell-width', (element) => { element.value = '64'; });
    await page.$eval('#cell-height', (element) => { element.value = '64'; });
    const [wrapped] = await enlarge([sheet], 2, '#203040');
    check(readFileSync(await download(wrapped.download)).equals(readFileSync(nativeOutput(sheet, 2, '#203040', '--wrap', '--grid', '64x64'))),
      'the sheet flattened, wrapped and in cells of 64 x 64 at factor 2 (shared): tessera-scale\'s file, byte for byte');
    await page.click('#wrap');
    await page.click('#grid');
    const [palette] = await enlarge([paletted], 3);
    check(readFileSync(await download(palette.download)).equals(readFileSync(nativeOutput(paletted, 3))),
      'a large image of seven colours at factor 3 (shared, a palette from every band): tessera-scale\'s file, byte for byte');
    downloadInto('sprites');
    const { results: spriteResults, ms: spritesMs } = await enlargeTimed(sprites, 4);
    const spritesNativeMs = commandMs(sprites, 4);
    check(spriteResults.every((result) => result.download),
      `${sprites.length} sprites dropped at once are all enlarged`);
    const spot = spriteResults.at(-1);
    check(readFileSync(await download(spot.download)).equals(readFileSync(nativeOutput(sprites.at(-1), 4))),
      `the last of ${sprites.length} sprites is tessera-scale's, byte for byte`);
    printTiming(`${sprites.length} sprites at factor 4`, [spritesMs, (await enlargeTimed(sprites, 4)).ms], spritesNativeMs);
    console.log(`size: ${browserName}: the page transferred ${site.bytes} bytes (${(site.bytes / 1024).toFixed(0)} KiB) from the server`);

    // Wrap-around edges and cells, as --wrap and --grid; then a cell size that is not a number.
    downloadInto('edges');
    await page.click('#wrap');
    await page.click('#grid');
    await page.$eval('#cell-width', (element) => { element.value = '16'; });
    await page.$eval('#cell-height', (element) => { element.value = '8'; });
    const [tiled] = await enlarge([crow], 3);
    check(samePixels([[await download(tiled.download), nativeOutput(crow, 3, null, '--wrap', '--grid', '16x8')]]),
      'wrapped in cells of 16 x 8 at factor 3: the page\'s pixels are tessera-scale --wrap --grid 16x8\'s');
    await page.$eval('#cell-width', (element) => { element.value = '0'; });
    const [refused] = await enlarge([crow], 3);
    check(refused.download === null && /cell size/.test(refused.message),
      `a cell width of 0 is refused with a message: "${refused.message}"`);

    check(consoleErrors.length === 0, `no console errors${consoleErrors.length ? ': ' + consoleErrors.join(' | ') : ''}`);
    check(foreignRequests.length === 0, `no request beyond ${origin}${foreignRequests.length ? ': ' + foreignRequests.join(' ') : ''}`);
  } finally {
    await browser.close();
    cleanUp();
  }
  console.log(`time: ${name}: the tests took ${((Date.now() - started) / 1000).toFixed(1)} s`);
}

try {
  for (const name of (process.env.TESSERA_BROWSERS ?? 'chromium,firefox').split(',')) await runIn(name);
} finally {
  site.close();
  if (!failures.length) rmSync(work, { recursive: true, force: true });
}
if (failures.length) console.log(`browser tests failed (files kept in ${work}):\n  ${failures.join('\n  ')}`);
console.log(`browsers: ${passed} passed, ${failures.length} failed`);
process.exit(failures.length ? 1 : 0);
