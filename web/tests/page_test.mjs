// The page as a person uses it, in each browser named, headless: the sample shown on a first
// visit; a bad cell size flagged at its field before any file; a file dropped on the page's body
// enlarged; results in the order the files were chosen; a new factor enlarging the results
// already shown again, their names and sizes following, where the view's zoom and background
// enlarge nothing; the divider and the flip changing what is on screen; remove and clear; on a
// phone's screen, the whole sprite in view with nothing wider than the screen; and no console
// error or request beyond the test's own server.
//
//   node page_test.mjs SITE_DIR DATA_DIR BROWSERS
// BROWSERS is "chromium", "firefox" or both, comma-separated; CHROMIUM and FIREFOX override
// their executables.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { launchBrowser, serveSite, watchPage } from './harness.mjs';

const [siteDir, dataDir, browserList] = process.argv.slice(2);
const failures = [];
let browserName = '';
const check = (condition, what) => {
  if (!condition) failures.push(`${browserName}: ${what}`);
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${browserName}: ${what}`);
};
const crow = join(dataDir, 'cdda_uc_crow_32.png');
const dog = join(dataDir, 'cdda_uc_dog_gshepherd_32.png');
const door = join(dataDir, 'cdda_uc_door_closed_32.png');
const streetlight = join(dataDir, 'cdda_mshock_streetlight_64x80.png');

const site = await serveSite(siteDir);
const origin = site.origin;

// A page at the given size, its console errors and requests beyond the server collected.
async function openPage(browser, width, height, watches) {
  const page = await browser.newPage();
  await page.setViewport({ width, height });
  watches.push(watchPage(page, origin));
  await page.goto(origin + '/', { waitUntil: 'load' });
  return page;
}

// The results' names and download names, in the page's order, once none is waiting.
async function settled(page, count) {
  await page.waitForFunction((count) => {
    const items = document.querySelectorAll('#results li');
    return items.length === count && [...items].every((item) => item.querySelector('a.download, .failure'));
  }, { timeout: 60000 }, count);
  return page.$$eval('#results li', (items) => items.map((item) => ({
    name: item.querySelector('.name').textContent,
    download: item.querySelector('a.download')?.download ?? null,
    message: item.querySelector('.message').textContent,
    after: item.querySelector('.tag-after')?.textContent ?? null,
  })));
}

async function runIn(name) {
  browserName = name;
  const { browser, cleanUp } = await launchBrowser(name);
  const watches = [];
  try {
    const page = await openPage(browser, 1280, 900, watches);

    const [sample] = await settled(page, 1);
    check(/sample/.test(sample.name) && sample.download === 'cdda_uc_dog_gshepherd_32@4x.png' &&
      await page.$('#results li.sample .compare canvas'), 'a first visit shows the sample sprite before and after');

    // A bad cell size, typed, is flagged at its field; a good one clears the flag.
    const retype = async (text) => {
      await page.$eval('#cell-width', (input) => { input.value = ''; });
      await page.type('#cell-width', text);
    };
    await page.click('#grid');
    await retype('0');
    const flagged = await page.$eval('#cell-width', (input) => input.getAttribute('aria-invalid'));
    const said = await page.$eval('#cell-problem', (element) => element.textContent);
    check(flagged === 'true' && /whole number/.test(said), `a cell width of 0 is flagged as it is typed: "${said}"`);
    await retype('32');
    check(await page.$eval('#cell-width', (input) => input.getAttribute('aria-invalid')) === 'false' &&
      await page.$eval('#cell-problem', (element) => element.textContent) === '', 'a cell width of 32 clears the flag');
    await page.click('#grid');

    // A file dropped on the body, not on the drop box, is enlarged in place of the sample.
    const dropped = await page.evaluate(async (bytes) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([new Uint8Array(bytes)], 'crow.png', { type: 'image/png' }));
      const over = new DragEvent('dragover', { dataTransfer: transfer, bubbles: true, cancelable: true });
      document.body.dispatchEvent(over);
      const drop = new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true });
      document.body.dispatchEvent(drop);
      return over.defaultPrevented && drop.defaultPrevented;
    }, [...readFileSync(crow)]);
    const afterDrop = await settled(page, 1);
    check(dropped && afterDrop[0].download === 'crow@4x.png',
      `a drop on the body is caught and enlarged: ${JSON.stringify(afterDrop.map((result) => result.download))}`);
    await page.click('#clear');

    // Files chosen together stay in the order chosen.
    const input = await page.$('#files');
    await input.uploadFile(crow, dog, door);
    const chosen = await settled(page, 3);
    check(chosen.map((result) => result.name).join() === 'cdda_uc_crow_32.png,cdda_uc_dog_gshepherd_32.png,cdda_uc_door_closed_32.png',
      `results in the order chosen: ${chosen.map((result) => result.name).join(', ')}`);

    // A new factor enlarges what is shown again.
    await page.click('input[name=factor][value="2"]');
    await page.waitForFunction(() => document.querySelectorAll('#results a.download[download$="@2x.png"]').length === 3,
      { timeout: 60000 });
    const twice = await settled(page, 3);
    check(twice[0].download === 'cdda_uc_crow_32@2x.png' && twice[0].after === 'after 64 × 64' && /→ 64 × 64/.test(twice[0].message),
      `factor 2 after the fact: ${twice[0].download}, "${twice[0].after}"`);

    // The divider and the flip change the pixels on screen, looked at between where the divider
    // stands and the stage's left edge, away from the divider's handle at either place. The door
    // is opaque: its left half before and after enlarging differ.
    const doorView = '#results li:nth-child(3) .viewport';
    const links = () => page.$$eval('#results a.download', (links) => links.map((link) => link.href).join());
    const shownLinks = await links();
    await page.select('#zoom', '2');
    const stage = await (await page.$(`${doorView} .stage`)).boundingBox();
    const divider = await (await page.$(`${doorView} .divider`)).boundingBox();
    const between = { x: stage.x + 20, y: stage.y + 24, width: divider.x - stage.x - 40, height: stage.height - 48 };
    const shot = () => page.screenshot({ clip: between, encoding: 'base64' });
    const before = await shot();
    await page.focus(`${doorView} .divider`);
    await page.keyboard.press('Home');
    const slid = await shot();
    check(between.width > 8 && before !== slid, 'moving the divider with the keyboard changes the pixels it passes over');
    await page.click('#results li:nth-child(3) .modes input[value=before]');
    const flipBefore = await shot();
    await page.click('#results li:nth-child(3) .modes input[value=after]');
    const flipAfter = await shot();
    check(flipBefore === before && flipAfter === slid, 'the flip shows the whole before, then the whole after');

    await page.select('#preview', 'solid');
    check(await links() === shownLinks && !await page.$('#results li.busy'), 'the zoom and the preview behind enlarge nothing again');

    // Remove one, then clear all.
    await page.click('#results li:nth-child(2) button.remove');
    const left = await page.$$eval('#results li .name', (names) => names.map((name) => name.textContent));
    check(left.join() === 'cdda_uc_crow_32.png,cdda_uc_door_closed_32.png', `removing the dog leaves ${left.join(', ')}`);
    await page.click('#clear');
    check(await page.$$eval('#results li', (items) => items.length) === 0 && await page.$eval('#zip', (button) => button.disabled),
      'clear all empties the list and the zip');
    await page.close();

    // On a phone: the 64 x 80 sprite enlarged by 4 is in view whole, and nothing is wider than
    // the screen.
    const phone = await openPage(browser, 390, 844, watches);
    await settled(phone, 1);
    await (await phone.$('#files')).uploadFile(streetlight);
    await settled(phone, 1);
    // The view is made once the item is seen near the screen, a moment after its link.
    await phone.waitForSelector('#results .stage');
    const fit = await phone.evaluate(() => {
      const stage = document.querySelector('#results .stage').getBoundingClientRect();
      const viewport = document.querySelector('#results .viewport').getBoundingClientRect();
      return { stage: [stage.left, stage.right, stage.width, stage.height], viewport: [viewport.left, viewport.right, viewport.top, viewport.bottom],
        inside: stage.left >= viewport.left - 0.5 && stage.right <= viewport.right + 0.5 && stage.top >= viewport.top - 0.5 &&
          stage.bottom <= viewport.bottom + 0.5 && viewport.left >= 0 && viewport.right <= window.innerWidth,
        widest: document.documentElement.scrollWidth };
    });
    check(fit.inside && fit.widest <= 390, `on a 390 × 844 screen the whole sprite is in view: ${JSON.stringify(fit)}`);
    await phone.close();

    const problems = watches.flatMap((watch) => [...watch.consoleErrors, ...watch.foreignRequests.map((url) => `request to ${url}`)]);
    check(problems.length === 0, `no console error or outside request${problems.length ? ': ' + problems.join(' | ') : ''}`);
  } finally {
    await browser.close();
    cleanUp();
  }
}

try {
  for (const name of (browserList || 'chromium,firefox').split(',')) await runIn(name.trim());
} finally {
  site.close();
}
if (failures.length) {
  console.log(`page tests: ${failures.length} failed`);
  process.exit(1);
}
console.log('page tests: all passed');
