// One of the page's workers (pool.js runs one per core), each with a module of its own: it
// enlarges the files it is given through the module's one path from a file's bytes to the bytes
// tessera-scale writes, and takes its share of the large stills other workers opened.
//
// Every message has a kind; the answers name the same file id.
//   open     {id, bytes, factor, background (0xRRGGBB or -1), wrap, cellWidth, cellHeight,
//             format ('png' | 'webp'), share}
//            -> progress {id, progress (0..1)} ... then
//               result {id, width, height, frames: [{rgba, delayMs}], file, mimeType, animated, withAlpha, flattened}
//               or failure {id, failure}.
//            A still of several bands to be written as a PNG, opened with `share` (or any still, with
//            'always', as the warm-up shares its sample), is kept here and
//            answered with opened {id, width, height, frames, withAlpha, flattened, source (words),
//            layout, groups: [[begin, end]]}: the PNG's likely layout and its row groups, which
//            follow as below, then its plan and maybe its groups again, and its finish.
//   group    {id, index, begin, end, last, layout, colours, share: {source?, width, height, withAlpha,
//             factor, wrap, cellWidth, cellHeight}}
//            -> group {id, index, deflated, sums: {size, crc, adler, length}, colours?}: target rows
//               [begin, end) enlarged here, compressed in the layout, and their colours when asked
//               for. A worker other than the job's keeps the source (sent with its first group of
//               the file) until release.
//   plan     {id, colours, sums}: every group's colours and sums in order -> the result when the
//               likely layout stands, else planned {id, layout, groups}, to be compressed again.
//   finish   {id, sums: [every group's sums]} -> result or failure. A shared still's file is the
//               file's two ends, its groups' blocks to go in at groupsAt.
//   release  {id}: forgets the file's job or share. No answer.
// Once loaded a worker also posts {limits: {minFactor, maxFactor, defaultFactor, maxSize}}, the module's own,
// and once warmed up (below), {warmedUp: true}.
importScripts('tessera_page.js');

// The page compiles the WebAssembly once and hands the compiled module to every worker first
// ({kind: 'module', module, warmUp}): the workers share its code, and the faster code the
// engine makes of what runs often, rather than each compiling its own.
let compiled;
const modulePromise = new Promise((resolve) => { compiled = resolve; }).then((wasm) => createTesseraModule({
  instantiateWasm(imports, instantiated) {
    WebAssembly.instantiate(wasm, imports).then((instance) => instantiated(instance, wasm));
    return {};
  },
}));
const jobs = new Map(); // file id -> a job opened here and shared out
const shares = new Map(); // file id -> another worker's still, for its row groups

const outOfMemory = 'the page ran out of memory';

function readString(module, pointer) {
  const bytes = module.HEAPU8;
  let end = pointer;
  while (bytes[end] !== 0) end++;
  return new TextDecoder().decode(bytes.subarray(pointer, end));
}

class Failure extends Error {}

// Copies BYTES into the module's memory; the caller frees the pointer.
function copyIn(module, bytes) {
  const pointer = module._malloc(Math.max(bytes.byteLength, 1));
  if (!pointer) throw new Failure(outOfMemory);
  module.HEAPU8.set(new Uint8Array(bytes.buffer ?? bytes, bytes.byteOffset ?? 0, bytes.byteLength), pointer);
  return pointer;
}

// Copies COUNT words out of the module's memory at POINTER.
function copyWords(module, pointer, count) {
  return module.HEAPU32.slice(pointer / 4, pointer / 4 + count);
}

function check(module, job, ok) {
  if (!ok) throw new Failure(readString(module, module._pageFailure(job)));
}

function sourceFrames(module, job, width, height) {
  // Read before the steps, which release each frame as it is enlarged.
  const frames = [];
  const frameBytes = width * height * 4;
  const frameAt = module._malloc(Math.max(frameBytes, 1));
  if (!frameAt) throw new Failure(outOfMemory);
  for (let index = 0; index < module._pageFrames(job); index++) {
    module._pageSourceFrame(job, index, frameAt);
    frames.push({ rgba: module.HEAPU8.slice(frameAt, frameAt + frameBytes), delayMs: module._pageFrameDelay(job, index) });
  }
  module._free(frameAt);
  return frames;
}

function finished(module, job, { id, format }, description) {
  check(module, job, module._pageFinish(job));
  const fileAt = module._pageOutput(job);
  const file = module.HEAPU8.slice(fileAt, fileAt + module._pageOutputSize(job));
  const mimeType = format === 'webp' ? 'image/webp' : 'image/png';
  return { ...description, id, file, groupsAt: module._pageGroupsAt(job), mimeType, animated: description.frames.length > 1 };
}

function open(module, request) {
  const { id, bytes, factor, background, wrap, cellWidth, cellHeight, format, share } = request;
  const input = copyIn(module, bytes);
  const job = module._pageOpen(input, bytes.byteLength, factor, background, wrap ? 1 : 0, cellWidth, cellHeight,
    format === 'webp' ? 1 : 0, 0);
  module._free(input);
  let kept = false;
  try {
    check(module, job, !readString(module, module._pageFailure(job)));
    const width = module._pageWidth(job);
    const height = module._pageHeight(job);
    const description = {
      width, height,
      frames: sourceFrames(module, job, width, height),
      withAlpha: module._pageWithAlpha(job) === 1,
      flattened: module._pageFlattened(job) === 1,
    };
    const steps = module._pageSteps(job);
    if (share && format === 'png' && description.frames.length === 1 && (steps > 1 || share === 'always')) {
      const wordsAt = module._pageSourceWords(job);
      const source = module.HEAPU8.slice(wordsAt, wordsAt + width * height * 4);
      const count = module._pagePlanLikely(job);
      // The frames go with this answer; the result leaves them to the pool.
      jobs.set(id, { job, request, description: { ...description, frames: [] } });
      kept = true;
      return { kind: 'opened', id, ...description, source, ...layoutAndGroups(module, job, count) };
    }
    for (let step = 0; step < steps; step++) {
      check(module, job, module._pageStep(job, step));
      if (steps > 1) postMessage({ id, progress: (step + 1) / steps });
    }
    return { kind: 'result', ...finished(module, job, request, description) };
  } finally {
    if (!kept) module._pageClose(job);
  }
}

// Another worker's still, kept here from the first row group of it given with its source.
function shareOf(module, id, share) {
  let handle = shares.get(id);
  if (handle === undefined) {
    handle = module._pageShareOpen(share.width, share.height, share.withAlpha ? 1 : 0, share.factor,
      share.wrap ? 1 : 0, share.cellWidth, share.cellHeight);
    if (!handle) throw new Failure(outOfMemory);
    module.HEAPU8.set(share.source, module._pageShareSource(handle));
    shares.set(id, handle);
  }
  return handle;
}

// The job's planned PNG layout as words, and its COUNT row groups.
function layoutAndGroups(module, job, count) {
  const groups = [];
  for (let index = 0; index < count; index++) groups.push([module._pageGroupBegin(job, index), module._pageGroupEnd(job, index)]);
  return { layout: copyWords(module, module._pageLayout(job), module._pageLayoutWords(job)), groups };
}

function group(module, { id, index, begin, end, last, layout, colours, share }) {
  const own = jobs.get(id);
  const layoutAt = copyIn(module, layout);
  const rows = own
    ? module._pageJobGroup(own.job, layoutAt, layout.length, begin, end, last ? 1 : 0, colours ? 1 : 0)
    : module._pageShareGroup(shareOf(module, id, share), layoutAt, layout.length, begin, end, last ? 1 : 0, colours ? 1 : 0);
  module._free(layoutAt);
  if (!rows) throw new Failure(outOfMemory);
  const deflatedAt = module._pageRowsDeflated(rows);
  const size = module._pageRowsSize(rows);
  const answer = {
    kind: 'group', id, index,
    deflated: module.HEAPU8.slice(deflatedAt, deflatedAt + size),
    sums: {
      size,
      crc: module._pageRowsCrc(rows) >>> 0,
      adler: module._pageRowsAdler(rows) >>> 0,
      length: module._pageRowsLength(rows) >>> 0,
    },
    ...(colours ? { colours: copyWords(module, module._pageRowsColours(rows), module._pageRowsColoursWords(rows)) } : {}),
  };
  module._pageRowsClose(rows);
  return answer;
}

function plan(module, { id, colours, sums }) {
  const { job } = jobs.get(id);
  const coloursAt = copyIn(module, colours);
  const count = module._pagePlanPng(job, coloursAt, colours.length);
  module._free(coloursAt);
  if (count === 0) return finish(module, { id, sums });
  return { kind: 'planned', id, ...layoutAndGroups(module, job, count) };
}

function finish(module, { id, sums }) {
  const { job, request, description } = jobs.get(id);
  jobs.delete(id);
  try {
    sums.forEach(({ size, crc, adler, length }, index) => module._pageSetGroup(job, index, size, crc, adler, length));
    return { kind: 'result', ...finished(module, job, request, description) };
  } finally {
    module._pageClose(job);
  }
}

function release(module, { id }) {
  const own = jobs.get(id);
  if (own) module._pageClose(own.job);
  jobs.delete(id);
  if (shares.has(id)) module._pageShareClose(shares.get(id));
  shares.delete(id);
}

const handlers = { open, group, plan, finish, release };

// The buffers an answer hands over rather than copies.
function transfers(answer) {
  const buffers = [];
  for (const frame of answer.frames ?? []) buffers.push(frame.rgba.buffer);
  for (const value of [answer.file, answer.source, answer.colours, answer.deflated, answer.layout]) {
    if (value) buffers.push(value.buffer);
  }
  return buffers;
}

// The engine first runs WebAssembly as it compiled it quickly, and makes faster code of what has
// run a while, for each worker apart; a function it is already inside keeps the first code. So
// every worker takes the page's sample sprite (its bytes come with the module) through every
// factor, in both colour modes, as soon as its module is there: a few times over, more at the
// default factor, which most files take, and opening alone more again, as a folder of sprites
// does; the engine makes its faster code of a function once it has run long enough. A user's
// first files then run that code from their start, and the engine is not busy making it while
// they are enlarged.
const warmUpRounds = 6;
const warmUpRoundsAtDefault = 24;
const warmUpOpens = 20;

// A warm-up enlargement's request: BYTES enlarged by FACTOR over BACKGROUND (-1 keeps the
// transparency) into a PNG, the page's other settings at their defaults.
function warmUpRequest(bytes, factor, background) {
  return { id: 'warm-up', bytes, factor, background, wrap: false, cellWidth: 0, cellHeight: 0, format: 'png' };
}

// A job for the image at INPUT (SIZE bytes) enlarged by FACTOR over BACKGROUND into a PNG, the
// page's other settings at their defaults, as warmUpRequest's.
function openAtDefaults(module, input, size, factor, background) {
  return module._pageOpen(input, size, factor, background, 0, 0, 0, 0, 0);
}

// The colour modes every warm-up takes: the image's own transparency kept, and flattened over grey.
const warmUpBackgrounds = [-1, 0x808080];

// The pass runs once per band, and over a sprite a band is too short for the engine to count it
// as often run: a large image's first bands would run the pass's first code. So the still at
// INPUT (SIZE bytes), larger than a sprite, is enlarged too, the pass alone (nothing is written).
function warmUpPass(module, input, size, factor, background) {
  const job = openAtDefaults(module, input, size, factor, background);
  // A job that failed to open (out of memory, say) has no steps to take.
  if (!readString(module, module._pageFailure(job))) {
    for (let step = 0; step < module._pageSteps(job); step++) module._pageStep(job, step);
  }
  module._pageClose(job);
}

// A large still takes paths a sprite does not: its decoder's loops run long, and it is shared out
// in row groups, compressed as the job of the worker that opened it and as another worker's share,
// each group but the last ending where the next may follow, in the likely layout (and then in the
// one its colours choose). LARGE enlarged again at the largest factor is taken through them as the
// pool would take it, its transparency kept (in two groups) and then flattened.
function warmUpShared(module, large) {
  const factor = module._pageMaxFactor();
  const shareId = 'warm-up share';
  for (const background of warmUpBackgrounds) {
    const request = warmUpRequest(large, factor, background);
    const { id } = request;
    try {
      const { width, height, withAlpha, source, layout, groups } = open(module, { ...request, share: 'always' });
      const share = { source, width, height, withAlpha, factor, wrap: false, cellWidth: 0, cellHeight: 0 };
      for (let pass = 1, planned = { layout, groups }; planned.kind !== 'result'; pass++) {
        const answers = planned.groups.map(([begin, end], index) => group(module, {
          id: index % 2 === 0 ? id : shareId, index, begin, end, last: index === planned.groups.length - 1,
          layout: planned.layout, colours: pass === 1, share,
        }));
        const sums = answers.map((answer) => answer.sums);
        planned = pass === 1
          ? plan(module, { id, colours: Uint32Array.from(answers.flatMap((answer) => [...answer.colours])), sums })
          : finish(module, { id, sums });
      }
    } finally {
      release(module, { id });
      release(module, { id: shareId });
    }
  }
}

function warmUp(module, sample) {
  // The sample's largest enlargement, a still larger than most sprites.
  const { file: large } = open(module, warmUpRequest(sample, module._pageMaxFactor(), -1));
  const input = copyIn(module, sample);
  const largeInput = copyIn(module, large);
  for (const background of warmUpBackgrounds) {
    for (let factor = module._pageMinFactor(); factor <= module._pageMaxFactor(); factor++) {
      const rounds = factor === module._pageDefaultFactor() ? warmUpRoundsAtDefault : warmUpRounds;
      for (let round = 0; round < rounds; round++) open(module, warmUpRequest(sample, factor, background));
      for (let round = 0; round < warmUpOpens; round++) {
        module._pageClose(openAtDefaults(module, input, sample.byteLength, factor, background));
      }
      warmUpPass(module, largeInput, large.byteLength, factor, background);
    }
  }
  module._free(input);
  module._free(largeInput);
  warmUpShared(module, large);
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
  if (event.data.kind === 'module') {
    const { module, warmUp: sample } = event.data;
    compiled(module);
    // Without the sample (a host that lacks it) the page works as well, only slower at first.
    queue = modulePromise.then((ready) => sample && warmUp(ready, new Uint8Array(sample))).catch(() => {})
      .then(() => postMessage({ warmedUp: true }));
    return;
  }
  queue = queue.then(async () => {
    const module = await modulePromise;
    const message = event.data;
    let answer;
    try {
      answer = handlers[message.kind](module, message);
    } catch (error) {
      if (message.kind !== 'open') release(module, message);
      answer = {
        kind: 'failure', id: message.id,
        failure: error instanceof Failure ? error.message : 'the page could not enlarge it: ' + error,
      };
    }
    if (answer) postMessage(answer, transfers(answer));
  });
};
