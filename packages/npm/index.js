// tessera-scale for JavaScript: the command's one path from an image file's bytes to the bytes of
// its enlargement (PNG or lossless WebP), and the same enlargement of RGBA pixels, through the
// WebAssembly module built from the command's own sources (tessera_node.mjs, its .wasm inlined).
// Everything runs synchronously once the module has loaded, which this module awaits on import.
import createTesseraModule from './tessera_node.mjs';

const module = await createTesseraModule();

export const minFactor = module._pageMinFactor();
export const maxFactor = module._pageMaxFactor();
export const defaultFactor = module._pageDefaultFactor();

const steps = ['', 'read', 'enlarge', 'write'];
const factorList = Array.from({ length: maxFactor - minFactor + 1 }, (_, i) => String(minFactor + i));
const factorWords = `${factorList.slice(0, -1).join(', ')} or ${factorList.at(-1)}`;

function readString(pointer) {
  const bytes = module.HEAPU8;
  let end = pointer;
  while (bytes[end] !== 0) end++;
  return new TextDecoder().decode(bytes.subarray(pointer, end));
}

// The options as the command reads them, with its messages when they are not.
export function parseFactor(value) {
  const text = String(value);
  if (!/^[0-9]+$/.test(text) || Number(text) < minFactor || Number(text) > maxFactor)
    throw new Error(`invalid factor '${text}': expected ${factorWords}`);
  return Number(text);
}

export function parseBackground(value) {
  const text = String(value);
  const match = /^#?([0-9a-fA-F]{6})$/.exec(text);
  if (!match) throw new Error(`invalid background '${text}': expected #RRGGBB, e.g. '#FF00FF'`);
  return parseInt(match[1], 16);
}

export function parseGrid(value) {
  const text = Array.isArray(value) ? value.join('x') : String(value);
  const sides = text.split('x');
  const whole = (side) => /^[0-9]+$/.test(side) && Number(side) >= 1 && Number(side) <= 0x7fffffff;
  if (sides.length > 2 || !sides.every(whole))
    throw new Error(`invalid grid '${text}': expected the cell size as WIDTHxHEIGHT or N, whole numbers from 1, e.g. 16x24 or 32`);
  return [Number(sides[0]), Number(sides.at(-1))];
}

function settingsOf(options = {}) {
  const format = options.format ?? 'png';
  if (format !== 'png' && format !== 'webp') throw new Error(`invalid format '${format}': expected 'png' or 'webp'`);
  const [cellWidth, cellHeight] = options.grid === undefined ? [0, 0] : parseGrid(options.grid);
  return {
    factor: options.factor === undefined ? defaultFactor : parseFactor(options.factor),
    background: options.background === undefined ? -1 : parseBackground(options.background),
    wrap: options.wrap ? 1 : 0,
    cellWidth,
    cellHeight,
    webp: format === 'webp' ? 1 : 0,
  };
}

// Runs an opened job to its end and closes it; `finish` reads the result before the job goes.
function run(job, finish) {
  const failure = () => {
    const error = new Error(readString(module._pageFailure(job)));
    error.step = steps[module._pageFailureStep(job)];
    return error;
  };
  try {
    if (readString(module._pageFailure(job))) throw failure();
    const count = module._pageSteps(job);
    for (let step = 0; step < count; step++) if (!module._pageStep(job, step)) throw failure();
    return finish(job, failure);
  } finally {
    module._pageClose(job);
  }
}

function copyIn(bytes) {
  const view = bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes.buffer ?? bytes, bytes.byteOffset ?? 0, bytes.byteLength);
  const at = module._malloc(Math.max(view.byteLength, 1));
  if (!at) throw Object.assign(new Error('not enough memory'), { step: 'read' });
  module.HEAPU8.set(view, at);
  return { at, size: view.byteLength };
}

// The bytes tessera-scale writes for an image file's bytes; `flattened` tells whether
// translucent pixels were composited over the background.
export function enlargeFile(bytes, options) {
  const settings = settingsOf(options);
  const input = copyIn(bytes);
  const job = module._pageOpen(input.at, input.size, settings.factor, settings.background, settings.wrap,
    settings.cellWidth, settings.cellHeight, settings.webp, 1);
  module._free(input.at);
  return run(job, (opened, failure) => {
    if (!module._pageFinish(opened)) throw failure();
    const at = module._pageOutput(opened);
    return {
      file: module.HEAPU8.slice(at, at + module._pageOutputSize(opened)),
      flattened: module._pageFlattened(opened) === 1,
    };
  });
}

export function enlarge(bytes, options) {
  return enlargeFile(bytes, options).file;
}

export function enlargePixels(rgba, width, height, options) {
  const settings = settingsOf(options);
  if (!Number.isInteger(width) || !Number.isInteger(height) || width < 0 || height < 0 ||
      rgba.byteLength !== width * height * 4)
    throw Object.assign(new Error('the pixels are not width x height x 4 bytes of RGBA'), { step: 'read' });
  const input = copyIn(rgba);
  const job = module._pageOpenPixels(input.at, width, height, settings.factor, settings.background, settings.wrap,
    settings.cellWidth, settings.cellHeight, 1);
  module._free(input.at);
  return run(job, () => {
    const at = module._pagePixels(job);
    const target = { width: width * settings.factor, height: height * settings.factor };
    return { rgba: module.HEAPU8.slice(at, at + target.width * target.height * 4), ...target };
  });
}
