// The page: files in, settings read, each file sent to the worker, its result shown beside its
// source with links to download it, and all results in one zip.
import { makeZip } from './zip.js';

const worker = new Worker('worker.js');
const results = document.getElementById('results');
const progress = document.getElementById('progress');
const statusText = document.getElementById('status-text');
const zipButton = document.getElementById('zip');
const finished = new Map(); // id -> { name, png }
const pending = new Map(); // id -> { item, name, factor }
let nextId = 0;
let batchTotal = 0;
let batchDone = 0;

document.getElementById('settings').addEventListener('submit', (event) => event.preventDefault());

function settings() {
  const factor = Number(document.querySelector('input[name=factor]:checked').value);
  const flatten = document.querySelector('input[name=alpha]:checked').value === 'flatten';
  const background = flatten ? parseInt(document.getElementById('background').value.slice(1), 16) : -1;
  const wrap = document.getElementById('wrap').checked;
  // A sheet's cell size, whole numbers from 1 (-1 when not, which the module refuses); 0 for none.
  const grid = document.getElementById('grid').checked;
  const cellSize = (id) => {
    const size = Number(document.getElementById(id).value);
    return !grid ? 0 : Number.isInteger(size) && size >= 1 && size < 2 ** 31 ? size : -1;
  };
  return {
    factor, background, wrap, cellWidth: cellSize('cell-width'), cellHeight: cellSize('cell-height'), format: 'png',
  };
}

// hero.png -> hero@4x.png, as tessera-scale names its outputs.
function outputName(name, factor) {
  const dot = name.lastIndexOf('.');
  const stem = dot > 0 ? name.slice(0, dot) : name;
  return `${stem}@${factor}x.png`;
}

function showStatus() {
  progress.hidden = batchDone === batchTotal;
  progress.max = Math.max(batchTotal, 1);
  statusText.textContent = batchDone === batchTotal
    ? (batchTotal ? `${batchTotal} file${batchTotal === 1 ? '' : 's'} done.` : '')
    : `Enlarging ${batchDone + 1} of ${batchTotal}…`;
}

function addFiles(files) {
  const { factor, ...options } = settings();
  for (const file of files) {
    const id = nextId++;
    const item = document.createElement('li');
    const name = document.createElement('p');
    name.className = 'name';
    name.textContent = file.name;
    const message = document.createElement('p');
    message.className = 'message';
    message.textContent = 'waiting…';
    item.append(name, message);
    results.prepend(item);
    pending.set(id, { item, message, name: file.name, factor, started: performance.now() });
    batchTotal++;
    file.arrayBuffer().then(
      (bytes) => worker.postMessage({ id, bytes, factor, ...options }, [bytes]),
      () => finish(id, { failure: 'the browser could not read the file' }));
  }
  showStatus();
}

function sourceCanvas(result, zoom) {
  const canvas = document.createElement('canvas');
  canvas.width = result.width;
  canvas.height = result.height;
  const rgba = new Uint8ClampedArray(result.frames[0].rgba.buffer);
  canvas.getContext('2d').putImageData(new ImageData(rgba, result.width, result.height), 0, 0);
  canvas.style.width = `${result.width * zoom}px`;
  canvas.style.height = `${result.height * zoom}px`;
  return canvas;
}

function figure(caption, content) {
  const element = document.createElement('figure');
  const text = document.createElement('figcaption');
  text.textContent = caption;
  element.append(content, text);
  return element;
}

function finish(id, result) {
  const job = pending.get(id);
  pending.delete(id);
  batchDone++;
  showStatus();
  if (result.failure) {
    job.item.classList.add('failed');
    job.message.className = 'message failure';
    job.message.textContent = `Cannot enlarge it: ${result.failure}.`;
    return;
  }
  const zoom = Number(document.getElementById('zoom').value);
  const name = outputName(job.name, job.factor);
  const elapsedMs = performance.now() - job.started;
  const png = new Blob([result.file], { type: result.mimeType });
  const url = URL.createObjectURL(png);
  const after = document.createElement('img');
  after.src = url;
  after.alt = `${job.name} enlarged by ${job.factor}`;
  after.width = result.width * job.factor * zoom;
  after.height = result.height * job.factor * zoom;
  const views = document.createElement('div');
  views.className = 'views';
  views.append(
    figure(`before: ${result.width} × ${result.height}`, sourceCanvas(result, zoom * job.factor)),
    figure(`after: ${result.width * job.factor} × ${result.height * job.factor}`, after));
  const mode = result.flattened ? 'flattened over the background'
    : result.withAlpha ? 'transparency kept' : 'opaque';
  const frames = result.animated ? `${result.frames.length} frames, ` : '';
  job.message.textContent = `${mode}; ${frames}done in ${Math.round(elapsedMs)} ms. `;
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  link.className = 'download';
  link.dataset.elapsedMs = elapsedMs;
  link.textContent = `download ${name}`;
  job.message.append(link);
  job.item.append(views);
  finished.set(id, { name, png: result.file });
  zipButton.disabled = false;
}

worker.onmessage = (event) => {
  const { id, progress: fraction, limits } = event.data;
  if (limits) return;
  if (fraction !== undefined) {
    progress.value = batchDone + fraction;
    return;
  }
  finish(id, event.data);
};

// Names already taken get " (2)", " (3)" before the extension, so that no entry hides another.
function uniqueNames(entries) {
  const taken = new Set();
  return entries.map(({ name, png }) => {
    let unique = name;
    for (let n = 2; taken.has(unique); n++) unique = name.replace(/\.png$/, ` (${n}).png`);
    taken.add(unique);
    return { name: unique, bytes: png };
  });
}

zipButton.addEventListener('click', () => {
  const entries = uniqueNames([...finished.values()]);
  const link = document.createElement('a');
  link.href = URL.createObjectURL(makeZip(entries));
  link.download = 'tessera.zip';
  document.body.append(link);
  link.click();
  link.remove();
});

document.getElementById('files').addEventListener('change', (event) => {
  addFiles([...event.target.files]);
  event.target.value = '';
});

const drop = document.getElementById('drop');
drop.addEventListener('dragover', (event) => {
  event.preventDefault();
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  addFiles([...event.dataTransfer.files]);
});

const checkerboard = document.getElementById('checkerboard');
checkerboard.addEventListener('click', () => {
  const dark = document.body.classList.toggle('dark');
  document.body.classList.toggle('light', !dark);
  checkerboard.setAttribute('aria-pressed', String(dark));
});
