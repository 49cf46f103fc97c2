// The painter's shell in the browser, as thin as the desktop's: it samples the pointer once per
// displayed frame and the keys as they come into the editor core (tessera_paint.wasm), lets the
// core enlarge what changed, and draws the preview magnified by the zoom and the palette bar the
// core lays out, as the desktop draws them. Files are downloads and a file chooser; the settings
// come from a settings.cfg text kept by the browser; the canvas is kept in IndexedDB so that a
// reload brings it back.
'use strict';

const settingsKey = 'tessera.paint.settings';
const barFloats = 13; // paint_module.cpp: one palette bar rectangle
const keyNumbers = { escape: 1, o: 2, s: 3, y: 4, z: 5 }; // the core's Key
const effects = { image: 1, imageAndCanvas: 2, open: 3 }; // the core's KeyEffect

const windowCanvas = document.getElementById('window');
const context = windowCanvas.getContext('2d', { alpha: false });
const noticeLine = document.getElementById('notice');
const settingsText = document.getElementById('settings-text');
const openInput = document.getElementById('open-file');

// The pointer as the events leave it, and the first press since the last frame, so that a press
// and release that both fall between two frames still give that frame a sample with the button
// down where it was pressed.
const pointer = { x: 0, y: 0, buttons: 0, press: null };

let painter = null; // the WebAssembly module
let session = 0;
let layout = null;
let preview = null; // the preview at one pixel per preview pixel, drawn magnified
let shownTitle = '';
let settings = '';
let unsaved = false; // painting since start-up or the last Ctrl+S
let storeTimer = 0;
// For measurements, the latest few hundred frames: the time the frame's work took (sampling,
// enlargement, drawing calls), whether the canvas had changed, and the frame's timestamp.
const frameTimes = [];

function start(text) {
  if (session) painter._paintClose(session);
  const bytes = new TextEncoder().encode(text);
  const address = painter._malloc(bytes.length + 1);
  painter.HEAPU8.set(bytes, address);
  session = painter._paintStart(address, bytes.length);
  painter._free(address);
  settings = text;
  unsaved = false;
  layout = {
    window: painter._paintWindowSize(session),
    factor: painter._paintScaleFactor(session),
    zoom: painter._paintZoom(session),
    canvasWidth: painter._paintCanvasWidth(session),
    canvasHeight: painter._paintCanvasHeight(session),
    previewWidth: painter._paintPreviewWidth(session),
    previewHeight: painter._paintPreviewHeight(session),
  };
  windowCanvas.width = layout.window;
  windowCanvas.height = layout.window;
  shownBar = null;
  preview = document.createElement('canvas');
  preview.width = Math.max(layout.previewWidth, 1);
  preview.height = Math.max(layout.previewHeight, 1);
}

// The settings of this canvas in the settings.cfg format, palette from the bar's swatches.
function settingsOfSession() {
  const count = painter._paintLayOutBar(session) / 2;
  const bar = barRectangles(count);
  const lines = [`${layout.window} ${layout.factor} ${layout.zoom}`];
  for (let i = 0; i < count; ++i) lines.push(bar.slice(i * barFloats + 4, i * barFloats + 7).join(','));
  return lines.join('\n') + '\n';
}

function barRectangles(count) {
  const address = painter._paintBarRectangles(session) / 4;
  return painter.HEAPF32.slice(address, address + count * barFloats);
}

// Window pixels of the rectangle [left, left + width) × [top, top + height): those whose centres
// lie inside, as a rasteriser without antialiasing fills them.
function fillCovered(left, top, width, height) {
  const x0 = Math.ceil(left - 0.5);
  const y0 = Math.ceil(top - 0.5);
  const x1 = Math.ceil(left + width - 0.5);
  const y1 = Math.ceil(top + height - 0.5);
  if (x1 > x0 && y1 > y0) context.fillRect(x0, y0, x1 - x0, y1 - y0);
}

const colour = (r, g, b, a) => `rgba(${r},${g},${b},${a / 255})`;

function drawBar(bar) {
  const count = bar.length / barFloats;
  for (let i = 0; i < count; ++i) {
    const [left, top, width, height, r, g, b, a, thickness, or, og, ob, oa] = bar.subarray(i * barFloats, (i + 1) * barFloats);
    if (a > 0) {
      context.fillStyle = colour(r, g, b, a);
      fillCovered(left, top, width, height);
    }
    if (thickness > 0 && oa > 0) {
      // The outline lies outside the rectangle, `thickness` wide on every side.
      context.fillStyle = colour(or, og, ob, oa);
      fillCovered(left - thickness, top - thickness, width + 2 * thickness, thickness);
      fillCovered(left - thickness, top + height, width + 2 * thickness, thickness);
      fillCovered(left - thickness, top, thickness, height);
      fillCovered(left + width, top, thickness, height);
    }
  }
}

// Copies the preview rows the frame's enlargement rewrote, then draws the frame: black, the
// preview magnified by the zoom at (0, 0), the palette bar. A frame that would draw what the
// window already shows (no enlargement, the same bar) is left as it is.
let shownBar = null;
function draw() {
  const begin = painter._paintEnlargedBegin(session);
  const end = painter._paintEnlargedEnd(session);
  const bar = barRectangles(painter._paintLayOutBar(session));
  const sameBar = shownBar !== null && shownBar.length === bar.length && shownBar.every((v, i) => v === bar[i]);
  if (begin >= end && sameBar) return false;
  shownBar = bar;
  if (begin < end) {
    const width = layout.previewWidth;
    const pixels = new Uint8ClampedArray(painter.HEAPU8.buffer, painter._paintPreview(session),
      width * layout.previewHeight * 4);
    preview.getContext('2d').putImageData(new ImageData(pixels, width, layout.previewHeight), 0, 0,
      0, begin * layout.factor, width, (end - begin) * layout.factor);
  }
  context.fillStyle = '#000';
  context.fillRect(0, 0, layout.window, layout.window);
  context.imageSmoothingEnabled = false;
  if (layout.previewWidth > 0)
    context.drawImage(preview, 0, 0, layout.previewWidth * layout.zoom, layout.previewHeight * layout.zoom);
  drawBar(bar);
  return begin < end;
}

function showTitle() {
  const title = painter.UTF8ToString(painter._paintTitle(session));
  if (title === shownTitle) return;
  shownTitle = title;
  document.title = title;
  noticeLine.textContent = painter.UTF8ToString(painter._paintNotice(session));
}

let freshCanvas = true; // the first enlargement of a canvas is no painting
function frame(timestamp) {
  const began = performance.now();
  const sample = pointer.press ?? pointer;
  pointer.press = null;
  painter._paintMouse(session, sample.buttons & 1 ? 1 : 0, sample.buttons & 2 ? 1 : 0, sample.x, sample.y);
  painter._paintEnlarge(session);
  const changed = draw();
  showTitle();
  frameTimes.push({ work: performance.now() - began, changed, timestamp });
  if (frameTimes.length > 600) frameTimes.shift();
  if (changed && !freshCanvas) {
    unsaved = true;
    keepCanvasSoon();
  }
  freshCanvas = false;
  requestAnimationFrame(frame);
}

// ---------------------------------------------------------------------------------------------
// The pointer, in window pixels (the canvas may be shown at another size)

function windowPosition(event) {
  const box = windowCanvas.getBoundingClientRect();
  return {
    x: Math.floor((event.clientX - box.left) * windowCanvas.width / box.width),
    y: Math.floor((event.clientY - box.top) * windowCanvas.height / box.height),
  };
}

windowCanvas.addEventListener('pointerdown', (event) => {
  event.preventDefault();
  windowCanvas.setPointerCapture(event.pointerId);
  Object.assign(pointer, windowPosition(event), { buttons: event.buttons });
  pointer.press ??= { ...windowPosition(event), buttons: event.buttons };
});
for (const type of ['pointermove', 'pointerup', 'pointercancel']) {
  window.addEventListener(type, (event) => {
    Object.assign(pointer, windowPosition(event), { buttons: type === 'pointercancel' ? 0 : event.buttons });
  });
}
windowCanvas.addEventListener('contextmenu', (event) => event.preventDefault());

// ---------------------------------------------------------------------------------------------
// Keys, from anywhere on the page but the settings' text box

function keyNumber(event) {
  if (event.key === 'Escape') return keyNumbers.escape;
  const letter = event.key.length === 1 ? event.key.toLowerCase() : '';
  return keyNumbers[letter] ?? keyNumbers[event.code.replace(/^Key/, '').toLowerCase()] ?? 0;
}

document.addEventListener('keydown', (event) => {
  if (!session || event.target.closest?.('textarea')) return;
  const key = keyNumber(event);
  if (key === 0 || event.altKey) return;
  event.preventDefault();
  carryOut(painter._paintKey(session, key, event.ctrlKey || event.metaKey ? 1 : 0, event.shiftKey ? 1 : 0));
});

function download(name, size) {
  const address = painter._paintPng(session);
  const url = URL.createObjectURL(new Blob([painter.HEAPU8.slice(address, address + size)], { type: 'image/png' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

function carryOut(effect) {
  if (effect === effects.image || effect === effects.imageAndCanvas) {
    // The preview still holds the previous frame's enlargement.
    const size = painter._paintEncodeImage(session);
    if (size > 0) download('image.png', size);
  }
  if (effect === effects.imageAndCanvas) {
    const size = painter._paintEncodeCanvas(session);
    if (size > 0) {
      download('canvas.png', size);
      unsaved = false;
      keepCanvasSoon();
    }
    painter._paintCanvasSaved(session, size > 0 ? 1 : 0);
  }
  if (effect === effects.open) openInput.click();
}

openInput.addEventListener('change', async () => {
  const file = openInput.files[0];
  openInput.value = '';
  if (!file) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  const name = new TextEncoder().encode(file.name);
  const address = painter._malloc(bytes.length + name.length + 1);
  painter.HEAPU8.set(bytes, address);
  painter.HEAPU8.set(name, address + bytes.length);
  painter.HEAPU8[address + bytes.length + name.length] = 0;
  painter._paintOpen(session, address, bytes.length, address + bytes.length);
  painter._free(address);
});

// ---------------------------------------------------------------------------------------------
// Settings

document.getElementById('settings-file').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  if (file) settingsText.value = await file.text();
  event.target.value = '';
});

document.getElementById('settings').addEventListener('submit', (event) => {
  event.preventDefault();
  if (unsaved && !confirm('Start a new canvas with these settings? The painting since the last Ctrl+S will be lost.'))
    return;
  localStorage.setItem(settingsKey, settingsText.value);
  start(settingsText.value);
  freshCanvas = true;
  keepCanvas();
  settingsText.value = settingsOfSession();
});

// ---------------------------------------------------------------------------------------------
// The canvas kept in IndexedDB: one record, the canvas's cells and the settings they belong to

function openStore() {
  return new Promise((resolve, reject) => {
    const request = indexedDB.open('tessera-paint', 1);
    request.onupgradeneeded = () => request.result.createObjectStore('canvas');
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
}
const store = openStore();

async function keepCanvas() {
  clearTimeout(storeTimer);
  storeTimer = 0;
  const size = painter._paintCanvasRgba(session);
  const address = painter._paintPng(session);
  const record = { settings, width: layout.canvasWidth, height: layout.canvasHeight, unsaved,
    rgba: painter.HEAPU8.slice(address, address + size) };
  const database = await store;
  await new Promise((resolve, reject) => {
    const transaction = database.transaction('canvas', 'readwrite');
    transaction.objectStore('canvas').put(record, 'current');
    transaction.oncomplete = resolve;
    transaction.onerror = () => reject(transaction.error);
  });
}

// While painting, the canvas is kept a moment after the last change rather than every frame.
function keepCanvasSoon() {
  if (!storeTimer) storeTimer = setTimeout(keepCanvas, 250);
}
window.addEventListener('pagehide', () => storeTimer && keepCanvas());

async function keptCanvas() {
  const database = await store;
  return new Promise((resolve) => {
    const request = database.transaction('canvas').objectStore('canvas').get('current');
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => resolve(undefined);
  });
}

(async () => {
  painter = await createTesseraPainter();
  start(localStorage.getItem(settingsKey) ?? '');
  const kept = await keptCanvas().catch(() => undefined);
  if (kept && kept.settings === settings && kept.width === layout.canvasWidth &&
      kept.height === layout.canvasHeight && kept.rgba.length === kept.width * kept.height * 4) {
    const address = painter._malloc(kept.rgba.length);
    painter.HEAPU8.set(kept.rgba, address);
    painter._paintRestore(session, address);
    painter._free(address);
    unsaved = kept.unsaved;
  }
  settingsText.value = settingsOfSession();
  // For measurements and tests: the module, and the per-frame times.
  window.tesseraPainter = { frameTimes, layout: () => layout };
  requestAnimationFrame(frame);
})();
