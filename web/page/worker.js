// Enlarges the files the page sends, one after another, off the page's thread, and reports
// progress between bands of rows (or frames of an animation) so that a large sheet shows it
// moving.
importScripts('tessera_page.js');

const modulePromise = createTesseraModule();
// Target pixels per band: small enough for progress to move on a large sheet, large enough
// that the hand-overs cost nothing measurable.
const bandTargetPixels = 1 << 20;

function readString(module, pointer) {
  const bytes = module.HEAPU8;
  let end = pointer;
  while (bytes[end] !== 0) end++;
  return new TextDecoder().decode(bytes.subarray(pointer, end));
}

async function enlarge(module, { id, bytes, factor, background, wrap, cellWidth, cellHeight }) {
  const input = module._malloc(Math.max(bytes.byteLength, 1));
  if (!input) return { id, failure: 'the page ran out of memory reading it' };
  module.HEAPU8.set(new Uint8Array(bytes), input);
  const job = module._pageOpen(input, bytes.byteLength, factor, background, wrap ? 1 : 0, cellWidth, cellHeight);
  module._free(input);
  try {
    const failure = readString(module, module._pageFailure(job));
    if (failure) return { id, failure };
    const width = module._pageWidth(job);
    const height = module._pageHeight(job);
    const source = module._malloc(width * height * 4);
    module._pageSourceRgba(job, source);
    const sourceRgba = module.HEAPU8.slice(source, source + width * height * 4);
    module._free(source);

    // An animation is enlarged frame by frame, a still image in bands of rows.
    const frames = module._pageFrames(job);
    const started = performance.now();
    for (let frame = 0; frame < frames; frame++) {
      if (!module._pageEnlargeFrame(job, frame)) return { id, failure: readString(module, module._pageFailure(job)) };
      postMessage({ id, progress: (frame + 1) / frames });
    }
    const rowsPerBand = Math.max(1, Math.floor(bandTargetPixels / (width * factor * factor)));
    for (let row = 0; frames === 0 && row < height; row += rowsPerBand) {
      module._pageEnlarge(job, row, Math.min(height, row + rowsPerBand));
      postMessage({ id, progress: Math.min(height, row + rowsPerBand) / height });
    }
    const enlargeMs = performance.now() - started;
    if (!module._pageEncode(job)) return { id, failure: readString(module, module._pageFailure(job)) };
    const pngAt = module._pagePng(job);
    const png = module.HEAPU8.slice(pngAt, pngAt + module._pagePngSize(job));
    return {
      id, width, height, sourceRgba, png, enlargeMs, frames,
      withAlpha: module._pageMode(job) === 1,
      flattened: module._pageFlattened(job) === 1,
    };
  } finally {
    module._pageClose(job);
  }
}

let queue = Promise.resolve();
onmessage = (event) => {
  queue = queue.then(async () => {
    const module = await modulePromise;
    let result;
    try {
      result = await enlarge(module, event.data);
    } catch (error) {
      result = { id: event.data.id, failure: 'the page could not enlarge it: ' + error };
    }
    const transfer = result.png ? [result.png.buffer, result.sourceRgba.buffer] : [];
    postMessage(result, transfer);
  });
};
