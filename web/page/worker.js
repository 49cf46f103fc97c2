// Enlarges the files the page sends, one after another, off the page's thread, through the
// module's one path from a file's bytes to the bytes tessera-scale writes, and reports progress
// between its steps (bands of a still image, frames of an animation).
//
//   request  {id, bytes, factor, background (0xRRGGBB or -1), wrap, cellWidth, cellHeight, format ('png' | 'webp')}
//   progress {id, progress (0..1)}
//   result   {id, width, height, frames: [{rgba, delayMs}], file, mimeType, animated, withAlpha, flattened}
//   failure  {id, failure}
// Once loaded it also posts {limits: {minFactor, maxFactor, defaultFactor, maxSize}}, the module's own.
importScripts('tessera_page.js');

const modulePromise = createTesseraModule();

function readString(module, pointer) {
  const bytes = module.HEAPU8;
  let end = pointer;
  while (bytes[end] !== 0) end++;
  return new TextDecoder().decode(bytes.subarray(pointer, end));
}

function failureOf(module, job, id) {
  return { id, failure: readString(module, module._pageFailure(job)) };
}

function enlarge(module, { id, bytes, factor, background, wrap, cellWidth, cellHeight, format }) {
  const input = module._malloc(Math.max(bytes.byteLength, 1));
  if (!input) return { id, failure: 'the page ran out of memory reading it' };
  module.HEAPU8.set(new Uint8Array(bytes), input);
  const webp = format === 'webp';
  const job = module._pageOpen(input, bytes.byteLength, factor, background, wrap ? 1 : 0, cellWidth, cellHeight,
    webp ? 1 : 0, 0);
  module._free(input);
  try {
    if (readString(module, module._pageFailure(job))) return failureOf(module, job, id);
    const width = module._pageWidth(job);
    const height = module._pageHeight(job);
    // The source frames are read before the steps, which release each frame as it is enlarged.
    const frames = [];
    const frameBytes = width * height * 4;
    const frameAt = module._malloc(frameBytes);
    if (!frameAt) return { id, failure: 'the page ran out of memory reading it' };
    for (let index = 0; index < module._pageFrames(job); index++) {
      module._pageSourceFrame(job, index, frameAt);
      frames.push({ rgba: module.HEAPU8.slice(frameAt, frameAt + frameBytes), delayMs: module._pageFrameDelay(job, index) });
    }
    module._free(frameAt);
    const steps = module._pageSteps(job);
    for (let step = 0; step < steps; step++) {
      if (!module._pageStep(job, step)) return failureOf(module, job, id);
      postMessage({ id, progress: (step + 1) / steps });
    }
    if (!module._pageFinish(job)) return failureOf(module, job, id);
    const fileAt = module._pageOutput(job);
    const file = module.HEAPU8.slice(fileAt, fileAt + module._pageOutputSize(job));
    return {
      id, width, height, frames, file,
      mimeType: webp ? 'image/webp' : 'image/png',
      animated: frames.length > 1,
      withAlpha: module._pageWithAlpha(job) === 1,
      flattened: module._pageFlattened(job) === 1,
    };
  } finally {
    module._pageClose(job);
  }
}

modulePromise.then((module) => postMessage({
  limits: {
    minFactor: module._pageMinFactor(),
    maxFactor: module._pageMaxFactor(),
    defaultFactor: module._pageDefaultFactor(),
    maxSize: readString(module, module._pageLimit()),
  },
}));

let queue = Promise.resolve();
onmessage = (event) => {
  queue = queue.then(async () => {
    const module = await modulePromise;
    let result;
    try {
      result = enlarge(module, event.data);
    } catch (error) {
      result = { id: event.data.id, failure: 'the page could not enlarge it: ' + error };
    }
    const transfer = result.file ? [result.file.buffer, ...result.frames.map((frame) => frame.rgba.buffer)] : [];
    postMessage(result, transfer);
  });
};
