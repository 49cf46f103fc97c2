// The page's workers, one per core (up to maxWorkers), each with its own module, so that no
// cross-origin isolation is needed and any static host serves the page. Files are spread over
// them. A large still written as a PNG is shared out: the worker that opens it hands its source to
// the others, and every worker takes row groups of the PNG, enlarging each group's rows alone and
// compressing them in the layout the PNG most likely has; the groups' colours come back with
// them. The opener chooses the layout from all the colours: when it is the likely one, it writes
// the file's two ends from the groups' sums, and the groups' blocks go between them here;
// otherwise (a palette) the groups are compressed once more in it first. No worker holds more of
// the enlargement than one group's rows. The bytes are the same as one worker's.
//
// A worker is given tasks once it has warmed up, so that a file dropped as the page loads goes to
// the first worker ready rather than waiting behind another's warm-up. It has at most
// tasksPerWorker tasks at a time. Tasks bound to a worker (a file's plan and finish, which need
// its job) come first, then groups of files under way, then files not yet opened: files already
// started finish first. A group, tens of milliseconds of work, is a worker's second task only
// while more wait than there are workers: the last few go to whichever worker is free first,
// rather than in line behind another's.
//
//   const pool = createPool(onMessage, warmUp);
//   pool.enlarge({id, bytes, factor, background, wrap, cellWidth, cellHeight, format})
//   pool.cancel(id)
// onMessage gets {limits} once, {id, progress} as a file goes, and then its result or
// {id, failure}, both with startedAt (performance.now() when a worker took the file up). A
// result's file comes as fileParts, its bytes in order: a shared still's groups are not copied
// into one buffer, and a Blob takes them as they are.
const maxWorkers = 8;
// Tasks a worker is given before it answers: with a second one waiting, a worker goes on while
// the page's thread is busy showing the answer to the first.
const tasksPerWorker = 2;

function workerCount() {
  return Math.max(1, Math.min(navigator.hardwareConcurrency || 1, maxWorkers));
}

// WARMUP promises a small image of the page's own (a Blob, or null) that every worker enlarges a
// few times as it loads, so that the engine has made fast code of the module before the user's
// first file.
export function createPool(onMessage, warmUp) {
  const workers = [];
  const opens = []; // files waiting for a worker
  const work = []; // row groups of shared files under way
  const files = new Map(); // id -> the state of a file taken up
  let ready = false; // the module compiled and handed to the workers
  let unusable = null; // why the module could not be compiled, if it could not

  function dispatch() {
    if (!ready) return;
    // One task to each worker in turn, for as long as some worker has room and there is work.
    for (let given = true; given;) {
      given = false;
      for (const worker of workers) {
        if (!worker.warm || worker.tasks === tasksPerWorker) continue;
        const groupsToSpare = worker.tasks === 0 || work.length > workers.length;
        const task = worker.bound.shift() ?? (groupsToSpare ? work.shift() : undefined) ?? opens.shift();
        if (!task) continue;
        given = true;
        give(worker, task);
      }
    }
  }

  function give(worker, task) {
    worker.tasks++;
    if (task.kind === 'open') {
      files.set(task.id, { owner: worker, startedAt: performance.now(), holders: new Set(), request: task });
    }
    if (task.kind !== 'group') {
      // A file's bytes are handed over, not copied.
      worker.port.postMessage(task, task.bytes ? [task.bytes] : []);
      return;
    }
    const file = files.get(task.id);
    // Only a worker's first group of a file carries the source; the opener has it already.
    const carries = worker !== file.owner && !file.holders.has(worker);
    const share = carries ? file.share : { ...file.share, source: undefined };
    if (carries) file.holders.add(worker);
    // The last worker to need the source is handed it rather than a copy.
    const last = carries && file.holders.size === workers.length - 1;
    worker.port.postMessage({ ...task, share, layout: file.layout, colours: file.pass === 1 },
      last ? [file.share.source.buffer] : []);
  }

  // Forgets the file everywhere: its tasks, and what its workers keep of it.
  function drop(id) {
    const file = files.get(id);
    files.delete(id);
    const keep = (task) => task.id !== id;
    for (const queue of [opens, work, ...workers.map((worker) => worker.bound)]) {
      queue.splice(0, queue.length, ...queue.filter(keep));
    }
    // A file answered at once keeps nothing in its worker; a shared one is held by its opener
    // and its helpers until released.
    if (file?.share) for (const worker of new Set([file.owner, ...file.holders])) worker.port.postMessage({ kind: 'release', id });
  }

  function answer(worker, data) {
    const { id, kind } = data;
    const file = files.get(id);
    if (!file) {
      // The file was cancelled while this worker worked on it.
      worker.port.postMessage({ kind: 'release', id });
      return;
    }
    if (kind === 'failure' || kind === 'result') {
      drop(id);
      if (kind === 'result' && file.groups) {
        // A shared still: the opener wrote the file's two ends, and its groups' blocks go between.
        const { file: ends, groupsAt, ...result } = data;
        onMessage({
          ...result, fileParts: [ends.subarray(0, groupsAt), ...file.groups, ends.subarray(groupsAt)],
          frames: file.frames, width: file.width, height: file.height, startedAt: file.startedAt,
        });
        return;
      }
      const { file: bytes, ...answered } = data;
      onMessage({ ...answered, ...(bytes && { fileParts: [bytes] }), startedAt: file.startedAt });
    } else if (kind === 'opened') {
      const { factor, wrap, cellWidth, cellHeight } = file.request;
      Object.assign(file, { frames: data.frames, width: data.width, height: data.height, pass: 0 });
      file.share = {
        source: data.source, width: data.width, height: data.height, withAlpha: data.withAlpha,
        factor, wrap, cellWidth, cellHeight,
      };
      startPass(file, data);
    } else if (kind === 'planned') {
      startPass(file, data);
    } else if (kind === 'group') {
      file.groups[data.index] = data.deflated;
      file.sums[data.index] = data.sums;
      if (data.colours) file.colours[data.index] = data.colours;
      file.groupsLeft--;
      onMessage({ id, progress: 1 - file.groupsLeft / file.groups.length });
      if (file.groupsLeft > 0) return;
      file.owner.bound.push(file.pass === 1
        ? { kind: 'plan', id, colours: Uint32Array.from(file.colours.flatMap((part) => [...part])), sums: file.sums }
        : { kind: 'finish', id, sums: file.sums });
    }
  }

  // Hands out the row groups of the shared FILE in the layout planned, the likely one first (when
  // their colours are found too) and then, should the colours call for another, that one.
  function startPass(file, { layout, groups }) {
    const count = groups.length;
    Object.assign(file, {
      pass: file.pass + 1, layout, groups: new Array(count), sums: new Array(count), colours: [], groupsLeft: count,
    });
    groups.forEach(([begin, end], index) => work.push({ kind: 'group', id: file.request.id, index, begin, end, last: index === count - 1 }));
  }

  // Compiled once here and handed to every worker (a host that serves the file with another
  // type than application/wasm gets it compiled from its bytes).
  const wasm = WebAssembly.compileStreaming(fetch('tessera_page.wasm'))
    .catch(() => fetch('tessera_page.wasm').then((response) => response.arrayBuffer()).then((bytes) => WebAssembly.compile(bytes)));
  for (let index = 0; index < workerCount(); index++) {
    const worker = { port: new Worker('worker.js'), tasks: 0, bound: [], warm: false };
    worker.port.onmessage = ({ data }) => {
      if (data.limits) {
        if (worker === workers[0]) onMessage({ limits: data.limits });
      } else if (data.warmedUp) {
        worker.warm = true;
      } else if (data.progress !== undefined) {
        if (files.has(data.id)) onMessage(data);
      } else {
        worker.tasks--;
        answer(worker, data);
      }
      dispatch();
    };
    workers.push(worker);
  }
  const warmUpBytes = warmUp.then((blob) => blob?.arrayBuffer() ?? null).catch(() => null);
  Promise.all([wasm, warmUpBytes]).then(([module, bytes]) => {
    for (const worker of workers) worker.port.postMessage({ kind: 'module', module, warmUp: bytes });
    ready = true;
    dispatch();
  }, (error) => {
    // Without its module the page can enlarge nothing: every file waiting, and every file to
    // come, is answered so.
    unusable = `the page could not load its WebAssembly module (${error.message})`;
    for (const { id } of opens.splice(0)) onMessage({ id, failure: unusable });
  });

  return {
    enlarge(request) {
      if (unusable) {
        onMessage({ id: request.id, failure: unusable });
        return;
      }
      opens.push({ kind: 'open', ...request, share: workers.length > 1 });
      dispatch();
    },
    cancel: drop,
  };
}
