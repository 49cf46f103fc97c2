// The page: files in (chosen, or dropped anywhere), settings read, each file sent to the workers,
// and each result shown in one comparison view (before and after at the same size, a divider or
// a flip between them, zoom and pan shared) with a link to download it; all results in one zip.
// Changing how files are enlarged enlarges the results on the page again; changing how they are
// viewed only redraws them. A sample sprite stands in until the first file of the user's own.
import { createPool } from './pool.js';
import { makeZip } from './zip.js';

// The page's sample sprite: shown until the user's first file, and what every worker warms up on.
const sampleName = 'cdda_uc_dog_gshepherd_32.png';
const sample = fetch(sampleName).then((response) => (response.ok ? response.blob() : null)).catch(() => null);
const pool = createPool(onPoolMessage, sample);
const results = document.getElementById('results');
const progress = document.getElementById('progress');
const statusText = document.getElementById('status-text');
const zipButton = document.getElementById('zip');
const clearButton = document.getElementById('clear');
const cellProblem = document.getElementById('cell-problem');
const items = []; // in the order the files were chosen
const requests = new Map(); // request id -> item
// Results come to life as they come near the screen (bringToLife).
const itemOfNode = new WeakMap();
const nearScreen = new IntersectionObserver((entries) => {
  for (const { target, isIntersecting } of entries) if (isIntersecting) bringToLife(itemOfNode.get(target));
}, { rootMargin: '100% 0px' });
let nextRequest = 0;
const fractions = new Map(); // request id -> how much of it is done, while it is under way
let resultsWidth = results.clientWidth; // the width of the list, and of every view in it
let batchTotal = 0;
let batchDone = 0;

document.getElementById('settings').addEventListener('submit', (event) => event.preventDefault());

// A cell size as typed: a whole number from 1, or null.
function cellSize(id) {
  const input = document.getElementById(id);
  const size = Number(input.value);
  return !input.validity.badInput && input.value !== '' && Number.isInteger(size) && size >= 1 && size < 2 ** 31
    ? size : null;
}

// Flags a bad cell size at its field as it is typed, before any file is chosen.
function checkCells() {
  const bad = ['cell-width', 'cell-height'].filter((id) => cellSize(id) === null);
  for (const id of ['cell-width', 'cell-height']) {
    document.getElementById(id).setAttribute('aria-invalid', String(bad.includes(id)));
  }
  cellProblem.textContent = bad.length ? 'A cell size is a whole number of pixels from 1.' : '';
  return bad.length === 0;
}

function settings() {
  const factor = Number(document.querySelector('input[name=factor]:checked').value);
  const flatten = document.querySelector('input[name=alpha]:checked').value === 'flatten';
  const background = flatten ? parseInt(document.getElementById('background').value.slice(1), 16) : -1;
  const wrap = document.getElementById('wrap').checked;
  const format = document.querySelector('input[name=format]:checked').value;
  // A sheet's cell size; 0 for none, and -1 for one that is not a whole number from 1, which
  // the module refuses with its message.
  const grid = document.getElementById('grid').checked;
  const cell = (id) => (!grid ? 0 : cellSize(id) ?? -1);
  return { factor, background, wrap, cellWidth: cell('cell-width'), cellHeight: cell('cell-height'), format };
}

// hero.png -> hero@4x.png (or .webp), as tessera-scale names its outputs.
function outputName(name, factor, format) {
  const dot = name.lastIndexOf('.');
  const stem = dot > 0 ? name.slice(0, dot) : name;
  return `${stem}@${factor}x.${format}`;
}

// A wait as people read it: whole milliseconds under a second, then tenths of a second.
function formatWait(ms) {
  if (ms < 1) return 'under 1 ms';
  if (ms < 1000) return `${Math.round(ms)} ms`;
  if (ms < 60000) return `${(ms / 1000).toFixed(1)} s`;
  return `${Math.floor(ms / 60000)} min ${Math.round((ms % 60000) / 1000)} s`;
}

function showStatus() {
  progress.hidden = batchDone === batchTotal;
  progress.max = Math.max(batchTotal, 1);
  statusText.textContent = batchDone === batchTotal
    ? (batchTotal ? `${batchTotal} file${batchTotal === 1 ? '' : 's'} done.` : '')
    : `Enlarging ${batchDone + 1} of ${batchTotal}…`;
}

function showButtons() {
  const own = items.filter((item) => !item.sample);
  zipButton.disabled = !own.some((item) => item.result && !item.request);
  clearButton.disabled = own.length === 0;
}

// SHOW as a function that runs it once, when LATER calls back, however often it is called until
// then.
function once(show, later) {
  let waiting = false;
  return () => {
    if (waiting) return;
    waiting = true;
    later(() => {
      waiting = false;
      show();
    });
  };
}

// The status line and the buttons, brought up to date once before the next frame however many
// files came and went since: a folder of sprites does not redraw them once per file.
const refreshSoon = once(() => {
  showStatus();
  showButtons();
}, (show) => requestAnimationFrame(show));

// The bar moves ten times a second at most: each move is a frame drawn, on the cores the workers
// need, and a large image reports each of its row groups.
const progressEveryMs = 100;
const showProgressSoon = once(() => {
  progress.value = batchDone + [...fractions.values()].reduce((sum, part) => sum + part, 0);
}, (show) => setTimeout(show, progressEveryMs));

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (text !== undefined) made.textContent = text;
  return made;
}

// A new entry in the list for FILE, enlarged at once with the settings chosen.
function addItem(file, sample = false, chosen = settings()) {
  const item = { file, sample, request: null, result: null, url: null, madeAt: null };
  item.node = element('li', sample ? 'sample' : '');
  itemOfNode.set(item.node, item);
  const head = element('div', 'head');
  item.nameNode = element('p', 'name', sample ? `${file.name} (a sample: drop your own images to replace it)` : file.name);
  const remove = element('button', 'remove', 'remove');
  remove.type = 'button';
  remove.setAttribute('aria-label', `remove ${file.name}`);
  remove.addEventListener('click', () => removeItem(item));
  head.append(item.nameNode, remove);
  item.message = element('p', 'message', 'waiting…');
  item.node.append(head, item.message);
  results.append(item.node);
  items.push(item);
  enlargeItem(item, chosen);
}

// Drops ITEM's request under way, if any: the workers stop on it and its answer is ignored.
function cancelRequest(item) {
  requests.delete(item.request);
  fractions.delete(item.request);
  pool.cancel(item.request);
}

function forget(item) {
  if (item.request !== null) {
    cancelRequest(item);
    item.request = null;
    batchDone++;
  }
  if (item.url) URL.revokeObjectURL(item.url);
  nearScreen.unobserve(item.node);
  item.node.remove();
  items.splice(items.indexOf(item), 1);
}

function removeItem(item) {
  forget(item);
  showStatus();
  showButtons();
}

function addFiles(files) {
  if (!files.length) return;
  if (batchDone === batchTotal) batchTotal = batchDone = 0;
  for (const item of items.filter((item) => item.sample)) forget(item);
  const chosen = settings();
  for (const file of files) addItem(file, false, chosen);
}

// Sends ITEM's file to the workers with the settings chosen, in place of an earlier request for it.
function enlargeItem(item, chosen = settings()) {
  if (item.request !== null) {
    cancelRequest(item);
    batchDone++;
  }
  const { factor, format, ...options } = chosen;
  const id = nextRequest++;
  item.request = id;
  item.asked = { factor, format, at: performance.now() };
  requests.set(id, item);
  batchTotal++;
  item.node.classList.add('busy');
  if (item.result) {
    item.message.textContent = 'enlarging again…';
    item.message.className = 'message';
  }
  readSoon(() => requests.get(id) === item && item.file.arrayBuffer().then(
    (bytes) => requests.get(id) === item && pool.enlarge({ id, bytes, factor, format, ...options }),
    () => answer({ id, failure: 'the browser could not read the file' })));
  refreshSoon();
}

// Files are asked for a few at a time, the page's thread turning to other work in between: the
// first files' bytes reach the workers while the rest of a large folder is still being asked for,
// rather than after every read is under way.
const readsPerTurn = 16;
const reads = [];
const nextTurn = new MessageChannel();
nextTurn.port1.onmessage = () => {
  for (const read of reads.splice(0, readsPerTurn)) read();
  if (reads.length) nextTurn.port2.postMessage(null);
};
function readSoon(read) {
  reads.push(read);
  if (reads.length === 1) nextTurn.port2.postMessage(null);
}

function reenlargeAll() {
  const chosen = settings();
  for (const item of items) enlargeItem(item, chosen);
}

function answer(data) {
  const now = data.arrivedAt ?? performance.now();
  const item = requests.get(data.id);
  if (!item) return;
  // The wait is from when a worker took the file up (or, had none yet, when it was asked for).
  const startedAt = data.startedAt ?? item.asked.at;
  requests.delete(data.id);
  fractions.delete(data.id);
  item.request = null;
  batchDone++;
  refreshSoon();
  item.node.classList.remove('busy');
  if (data.failure) {
    item.result = null;
    if (item.url) URL.revokeObjectURL(item.url);
    item.url = null;
    item.view?.node.remove();
    item.view = null;
    item.node.classList.add('failed');
    item.message.className = 'message failure';
    item.message.textContent = `Cannot enlarge it: ${data.failure}.`;
  } else {
    item.node.classList.remove('failed');
    showResult(item, data, now - startedAt);
  }
}

function showResult(item, result, waitMs) {
  const { factor, format } = item.asked;
  const name = outputName(item.file.name, factor, format);
  if (item.url) URL.revokeObjectURL(item.url);
  item.url = null;
  item.result = { ...result, factor, name };
  item.madeAt = new Date();
  const mode = result.flattened ? 'flattened over the background'
    : result.withAlpha ? 'transparency kept' : 'opaque';
  const frames = result.frames.length > 1 ? `${result.frames.length} frames, ` : '';
  item.message.className = 'message';
  item.message.textContent = `${result.width} × ${result.height} → ${result.width * factor} × ${result.height * factor}; ` +
    `${mode}; ${frames}took ${formatWait(waitMs)}. `;
  item.link = element('a', 'download', `download ${name}`);
  item.link.download = name;
  item.link.dataset.waitMs = waitMs;
  // Focusable before it has its address (bringToLife), which the focus gives it.
  item.link.tabIndex = 0;
  item.link.addEventListener('focus', () => bringToLife(item));
  item.message.append(item.link);
  item.view?.show(item);
  nearScreen.unobserve(item.node);
  nearScreen.observe(item.node);
}

// A result's file gets its address (a Blob and its object URL, which cost a moment each), its
// link takes it, and its view is made and drawn, when its item first comes near the screen or
// its link gets the focus: a folder of sprites dropped at once is listed at once, and the
// pictures are made where someone looks.
function bringToLife(item) {
  if (!item.result || item.url) return;
  item.url = URL.createObjectURL(new Blob(item.result.fileParts, { type: item.result.mimeType }));
  item.link.href = item.url;
  item.link.removeAttribute('tabindex');
  if (!item.view) {
    item.view = makeView(item);
    item.node.append(item.view.node);
    item.view.show(item);
  }
  item.view.draw(item);
}

// The factors the module takes, in place of the ones the page was written with when they differ
// (its default chosen unless a choice still offered was made), and named so in the page's
// opening line.
function showFactors({ minFactor, maxFactor, defaultFactor }) {
  const fieldset = document.querySelector('input[name=factor]').closest('fieldset');
  const chosen = Number(document.querySelector('input[name=factor]:checked')?.value ?? defaultFactor);
  const factors = [];
  for (let factor = minFactor; factor <= maxFactor; factor++) factors.push(factor);
  document.getElementById('factor-list').textContent = `${factors.slice(0, -1).join(', ')} or ${factors.at(-1)}`;
  const offered = [...fieldset.querySelectorAll('input[name=factor]')].map((radio) => Number(radio.value));
  if (offered.join() === factors.join()) return;
  fieldset.querySelectorAll('label').forEach((label) => label.remove());
  for (const factor of factors) {
    const label = document.createElement('label');
    const radio = Object.assign(document.createElement('input'), { type: 'radio', name: 'factor', value: String(factor) });
    radio.checked = factor === (factors.includes(chosen) ? chosen : defaultFactor);
    radio.addEventListener('change', reenlargeAll);
    label.append(radio, ` ${factor}`);
    fieldset.append(label);
  }
}

function onPoolMessage(data) {
  const { id, progress: fraction, limits } = data;
  // Once loaded, the module tells its own limit on an image's size.
  if (limits) {
    document.getElementById('limit').textContent = `${limits.maxSize.replace(' x ', ' × ')} pixels after enlarging`;
    showFactors(limits);
    return;
  }
  if (fraction !== undefined) {
    if (!requests.has(id)) return;
    fractions.set(id, fraction);
    showProgressSoon();
    return;
  }
  answerSoon(data);
}

// While other files are under way, answers are shown a tenth of a second's worth at a time: a
// folder of sprites is laid out ten times a second rather than once for each file. The last
// answer of the files under way is shown at once.
const answerEveryMs = 100;
const answersWaiting = [];
let answersTimer = null;

function showAnswers() {
  clearTimeout(answersTimer);
  answersTimer = null;
  for (const data of answersWaiting.splice(0)) answer(data);
}

function answerSoon(data) {
  if (!requests.has(data.id)) return;
  answersWaiting.push({ ...data, arrivedAt: performance.now() });
  if (answersWaiting.length >= requests.size) showAnswers();
  else answersTimer ??= setTimeout(showAnswers, answerEveryMs);
}

// --- The comparison view -------------------------------------------------------------------

const zoomSelect = document.getElementById('zoom');
const previewSelect = document.getElementById('preview');
const previewColour = document.getElementById('preview-colour');
let viewCount = 0;

// One view: the source's frame in a canvas and the output file in an image, stacked on one stage
// at the same size, so that zoom, pan and the checkerboard are shared. The divider shows the
// source left of it and the enlargement right of it; "before" or "after" shows one alone.
function makeView(item) {
  const view = { split: 0.5, show: null, panX: 0, panY: 0, scale: 1, frameShown: -1 };
  const number = viewCount++;
  view.node = element('div', 'compare');
  view.viewport = element('div', 'viewport');
  view.viewport.tabIndex = 0;
  view.viewport.setAttribute('aria-label',
    `${item.file.name}, before and after; + and - zoom, arrow keys move the view when zoomed in`);
  view.stage = element('div', 'stage');
  view.before = element('canvas', 'before');
  view.after = element('img', 'after');
  view.after.alt = '';
  view.after.draggable = false;
  view.stage.append(view.before, view.after);
  view.divider = element('div', 'divider');
  view.divider.tabIndex = 0;
  view.divider.setAttribute('role', 'slider');
  view.divider.setAttribute('aria-label', 'divider: before on its left, after on its right');
  view.divider.setAttribute('aria-valuemin', '0');
  view.divider.setAttribute('aria-valuemax', '100');
  view.tagBefore = element('span', 'tag tag-before', 'before');
  view.tagAfter = element('span', 'tag tag-after', 'after');
  view.viewport.append(view.stage, view.divider, view.tagBefore, view.tagAfter);

  const modes = element('div', 'modes');
  modes.setAttribute('role', 'radiogroup');
  modes.setAttribute('aria-label', 'show');
  for (const [value, text] of [['both', 'divider'], ['before', 'before'], ['after', 'after']]) {
    const label = element('label');
    const radio = element('input');
    radio.type = 'radio';
    radio.name = `show-${number}`;
    radio.value = value;
    radio.checked = value === 'both';
    radio.addEventListener('change', () => { view.mode = value; layout(view); });
    label.append(radio, ` ${text}`);
    modes.append(label);
  }
  view.mode = 'both';
  view.node.append(view.viewport, modes);

  view.show = (shownItem) => {
    const { result } = shownItem;
    view.result = result;
    view.before.width = result.width;
    view.before.height = result.height;
    view.frames = result.frames.map((frame) => ({
      image: new ImageData(new Uint8ClampedArray(frame.rgba.buffer, frame.rgba.byteOffset, frame.rgba.byteLength),
        result.width, result.height),
      delayMs: frame.delayMs,
    }));
    view.totalMs = view.frames.reduce((sum, frame) => sum + frame.delayMs, 0);
    view.frameShown = -1;
    view.playing = false;
    view.after.alt = `${shownItem.file.name} enlarged by ${result.factor}`;
    view.tagBefore.textContent = `before ${result.width} × ${result.height}`;
    view.tagAfter.textContent = `after ${result.width * result.factor} × ${result.height * result.factor}`;
    layout(view);
  };
  // The pictures themselves, once the result has its address.
  view.draw = (shownItem) => {
    drawFrame(view, 0);
    view.after.onload = () => {
      // Both sides start together: the image's own animation from its first frame, the source's
      // frames from the same clock.
      view.startedAt = performance.now();
      view.playing = view.frames.length > 1 && view.totalMs > 0;
      if (view.playing) animate();
    };
    view.after.src = shownItem.url;
  };

  dragging(view);
  view.viewport.addEventListener('keydown', (event) => {
    if (event.target !== view.viewport) return;
    // + and - step through the zoom choices, for every view alike.
    const zoomStep = { '+': 1, '=': 1, '-': -1 }[event.key];
    if (zoomStep) {
      const index = zoomSelect.selectedIndex + zoomStep;
      if (index >= 0 && index < zoomSelect.options.length) zoomSelect.selectedIndex = index;
      layoutAll();
      return;
    }
    const step = { ArrowLeft: [1, 0], ArrowRight: [-1, 0], ArrowUp: [0, 1], ArrowDown: [0, -1] }[event.key];
    if (!step || !view.pannable) return;
    event.preventDefault();
    view.panX += step[0] * view.viewport.clientWidth * 0.1;
    view.panY += step[1] * view.viewport.clientHeight * 0.1;
    layout(view);
  });
  view.divider.addEventListener('keydown', (event) => {
    const moves = { ArrowLeft: -0.05, ArrowDown: -0.05, ArrowRight: 0.05, ArrowUp: 0.05, PageDown: -0.25, PageUp: 0.25 };
    let split = view.split;
    if (event.key in moves) split += moves[event.key] / (event.shiftKey ? 5 : 1);
    else if (event.key === 'Home') split = 0;
    else if (event.key === 'End') split = 1;
    else return;
    event.preventDefault();
    view.split = Math.min(1, Math.max(0, split));
    layout(view);
  });
  return view;
}

// A press on the divider moves it; elsewhere it pans the view when the picture is larger than
// the view, and moves the divider when it is not. Mouse, pen and touch alike.
function dragging(view) {
  let drag = null;
  view.viewport.addEventListener('pointerdown', (event) => {
    if (event.button !== 0) return;
    const onDivider = event.target === view.divider;
    drag = onDivider || !view.pannable
      ? { kind: 'divider' } : { kind: 'pan', x: event.clientX - view.panX, y: event.clientY - view.panY };
    if (drag.kind === 'divider' && view.mode !== 'both') {
      drag = null;
      return;
    }
    view.viewport.setPointerCapture(event.pointerId);
    move(event);
    event.preventDefault();
  });
  const move = (event) => {
    if (!drag) return;
    if (drag.kind === 'pan') {
      view.panX = event.clientX - drag.x;
      view.panY = event.clientY - drag.y;
    } else {
      const left = view.viewport.getBoundingClientRect().left + view.visibleLeft;
      view.split = Math.min(1, Math.max(0, (event.clientX - left) / Math.max(1, view.visibleWidth)));
    }
    layout(view);
  };
  view.viewport.addEventListener('pointermove', move);
  const end = () => { drag = null; };
  view.viewport.addEventListener('pointerup', end);
  view.viewport.addEventListener('pointercancel', end);
}

// Sizes and places VIEW's stage for the zoom chosen: "fit" is the largest whole number of screen
// pixels per enlarged pixel that fits the view (a fraction when even one does not); the other
// steps are that many screen pixels per enlarged pixel. The checkerboard's squares are whole
// source pixels.
//
// Every view is as wide as the list: its width is kept as the list's size changes, since reading
// it after the page changed would lay the whole page out again for each view.
function layout(view) {
  const room = resultsWidth;
  const { result } = view;
  if (!result) return;
  const width = result.width * result.factor;
  const height = result.height * result.factor;
  const maxHeight = Math.max(160, Math.round(window.innerHeight * 0.55));
  let scale = Number(zoomSelect.value);
  if (zoomSelect.value === 'fit') {
    scale = Math.min(room / width, maxHeight / height);
    if (scale >= 1) scale = Math.floor(scale);
  }
  const shownWidth = width * scale;
  const shownHeight = height * scale;
  const viewWidth = Math.min(room, Math.max(shownWidth, Math.min(room, 240)));
  const viewHeight = Math.min(maxHeight, shownHeight);
  view.viewport.style.width = `${viewWidth}px`;
  view.viewport.style.height = `${viewHeight}px`;
  view.pannable = shownWidth > viewWidth + 0.5 || shownHeight > viewHeight + 0.5;
  view.viewport.classList.toggle('pannable', view.pannable);
  const place = (pan, shown, room) => (shown <= room ? (room - shown) / 2 : Math.min(0, Math.max(room - shown, pan)));
  if (view.scale !== scale) {
    // A new zoom keeps the middle of what was shown in the middle.
    const middleX = (viewWidth / 2 - view.panX) / (view.scale || 1);
    const middleY = (viewHeight / 2 - view.panY) / (view.scale || 1);
    view.panX = viewWidth / 2 - middleX * scale;
    view.panY = viewHeight / 2 - middleY * scale;
    view.scale = scale;
  }
  view.panX = place(view.panX, shownWidth, viewWidth);
  view.panY = place(view.panY, shownHeight, viewHeight);
  const stage = view.stage.style;
  stage.width = `${shownWidth}px`;
  stage.height = `${shownHeight}px`;
  stage.transform = `translate(${view.panX}px, ${view.panY}px)`;
  const sourcePixel = scale * result.factor;
  const square = Math.ceil(8 / sourcePixel) * sourcePixel;
  stage.setProperty('--square', `${square}px`);
  view.stage.dataset.preview = previewSelect.value;
  stage.setProperty('--preview', previewColour.value);

  view.visibleLeft = Math.max(0, view.panX);
  view.visibleWidth = Math.min(viewWidth, view.panX + shownWidth) - view.visibleLeft;
  const split = view.mode === 'both' ? view.split : view.mode === 'before' ? 1 : 0;
  const x = view.visibleLeft + split * view.visibleWidth;
  view.after.style.clipPath = `inset(0 0 0 ${Math.max(0, x - view.panX)}px)`;
  view.divider.hidden = view.mode !== 'both';
  view.divider.style.left = `${x}px`;
  view.divider.setAttribute('aria-valuenow', String(Math.round(view.split * 100)));
  view.divider.setAttribute('aria-valuetext', `${Math.round(view.split * 100)} % before`);
  view.tagBefore.hidden = split === 0;
  view.tagAfter.hidden = split === 1;
}

function drawFrame(view, index) {
  if (view.frameShown === index) return;
  view.frameShown = index;
  view.before.getContext('2d').putImageData(view.frames[index].image, 0, 0);
}

// Plays every animation's source frames by the clock its enlarged image started on.
let animating = false;
function animate() {
  if (animating) return;
  animating = true;
  const tick = (now) => {
    const playing = items.filter((item) => item.view?.playing);
    if (!playing.length) {
      animating = false;
      return;
    }
    for (const { view } of playing) {
      let at = (now - view.startedAt) % view.totalMs;
      let index = 0;
      while (at >= view.frames[index].delayMs && index < view.frames.length - 1) at -= view.frames[index++].delayMs;
      drawFrame(view, index);
    }
    requestAnimationFrame(tick);
  };
  requestAnimationFrame(tick);
}

function layoutAll() {
  for (const item of items) if (item.view) layout(item.view);
}

zoomSelect.addEventListener('change', layoutAll);
previewSelect.addEventListener('change', () => {
  previewColour.disabled = previewSelect.value !== 'solid';
  layoutAll();
});
previewColour.addEventListener('input', () => {
  previewSelect.value = 'solid';
  previewColour.disabled = false;
  layoutAll();
});
previewColour.disabled = true;
// Laid out again when the list's width changes (the window, a scroll bar), after the change; not
// when it only grows longer, as each result makes it.
new ResizeObserver(([entry]) => {
  if (entry.contentRect.width === resultsWidth) return;
  resultsWidth = entry.contentRect.width;
  requestAnimationFrame(layoutAll);
}).observe(results);

// --- Settings that change the enlargement --------------------------------------------------

// The settings' summary line, read when the panel is closed (as it starts on a phone's screen).
const settingsPanel = document.getElementById('settings-panel');
function summarise() {
  const { factor, background, wrap, cellWidth, cellHeight, format } = settings();
  const parts = [`factor ${factor}`, background < 0 ? 'transparency kept' : `flattened over ${document.getElementById('background').value}`];
  if (wrap) parts.push('wrap around');
  if (cellWidth) parts.push(cellWidth > 0 && cellHeight > 0 ? `cells of ${cellWidth} × ${cellHeight}` : 'cells of a bad size');
  parts.push(format.toUpperCase());
  document.getElementById('settings-summary').textContent = parts.join(', ');
}
document.getElementById('settings').addEventListener('change', summarise);
if (window.matchMedia('(max-width: 40rem)').matches) settingsPanel.open = false;

for (const selector of ['input[name=factor]', 'input[name=alpha]', 'input[name=format]', '#wrap']) {
  for (const input of document.querySelectorAll(selector)) input.addEventListener('change', reenlargeAll);
}
document.getElementById('background').addEventListener('change', () => {
  document.querySelector('input[name=alpha][value=flatten]').checked = true;
  reenlargeAll();
});
document.getElementById('grid').addEventListener('change', (event) => {
  if (checkCells() || !event.target.checked) reenlargeAll();
});
for (const id of ['cell-width', 'cell-height']) {
  const input = document.getElementById(id);
  input.addEventListener('input', checkCells);
  input.addEventListener('change', () => {
    if (checkCells() && document.getElementById('grid').checked) reenlargeAll();
  });
}

// --- Files in and out ----------------------------------------------------------------------

// Names already taken get " (2)", " (3)" before the extension, so that no entry hides another.
function uniqueNames(entries) {
  const taken = new Set();
  return entries.map(({ name, parts, date }) => {
    let unique = name;
    for (let n = 2; taken.has(unique); n++) unique = name.replace(/(\.[a-z]+)$/, ` (${n})$1`);
    taken.add(unique);
    return { name: unique, parts, date };
  });
}

zipButton.addEventListener('click', () => {
  const done = items.filter((item) => !item.sample && item.result && item.request === null);
  const entries = uniqueNames(done.map((item) => ({ name: item.result.name, parts: item.result.fileParts, date: item.madeAt })));
  const link = document.createElement('a');
  link.href = URL.createObjectURL(makeZip(entries));
  link.download = 'tessera.zip';
  document.body.append(link);
  link.click();
  link.remove();
});

clearButton.addEventListener('click', () => {
  for (const item of [...items]) forget(item);
  showStatus();
  showButtons();
});

document.getElementById('files').addEventListener('change', (event) => {
  addFiles([...event.target.files]);
  event.target.value = '';
});

// A drop anywhere is caught: the browser would otherwise open the file in place of the page.
const dropCover = document.getElementById('drop-cover');
const carriesFiles = (event) => [...(event.dataTransfer?.types ?? [])].includes('Files');
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  if (carriesFiles(event)) {
    event.dataTransfer.dropEffect = 'copy';
    dropCover.hidden = false;
  }
});
document.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) dropCover.hidden = true;
});
document.addEventListener('drop', (event) => {
  event.preventDefault();
  dropCover.hidden = true;
  addFiles([...(event.dataTransfer?.files ?? [])]);
});

checkCells();
sample.then((blob) => {
  if (blob && items.length === 0) addItem(new File([blob], sampleName, { type: 'image/png' }), true);
});
