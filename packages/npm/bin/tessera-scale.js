#!/usr/bin/env node
// tessera-scale on Node: the native command's options, messages, exit codes and file behaviour
// (each output written to a hidden temporary file beside it, then renamed over it, so that no
// partial file is left), on top of the package's module. Images are enlarged one at a time.
import { closeSync, fsyncSync, mkdirSync, openSync, readFileSync, renameSync, statSync, unlinkSync, writeSync } from 'node:fs';
import { basename, dirname, extname, join } from 'node:path';
import { enlargeFile, parseBackground, parseFactor, parseGrid, minFactor, maxFactor, defaultFactor } from '../index.js';

const Success = 0;
const SomeInputsFailed = 1;
const UsageFailure = 2;
const maxJobs = 256;

const help = `Usage: tessera-scale [OPTION]... INPUT...
Enlarge pixel-art images with the edge-directed scaler and write them as PNG.

  -f, --factor N         enlargement factor, ${minFactor} to ${maxFactor} (default ${defaultFactor})
  -j, --jobs N           accepted for the native command's scripts; images are
                         enlarged one at a time here
  -o, --output PATH      one input: the output file (default: INPUT's name with
                         @Nx before the extension, beside it, e.g. hero@4x.png);
                         several inputs: a directory, created if missing;
                         '-o -' writes one input's PNG to standard output
      --background COLOUR  flatten transparency onto this colour, as #RRGGBB,
                         and write an opaque PNG
      --wrap             treat the image as a tile that repeats: pixels at a border
                         are judged against those at the opposite border, so the
                         enlargement still tiles without seams
      --grid WxH, --grid N
                         treat the image as a sheet of cells W x H (or N x N)
                         pixels from the top-left, and enlarge each cell as an image
                         of its own; with --wrap, each cell as a tile
  -q, --quiet            no notes, only errors
  -h, --help             show this help and exit
      --version          show the version and exit

Reads PNG, BMP, TGA, JPEG, GIF and WebP. An image with transparency is
enlarged with its alpha and written as a PNG with alpha; an opaque image is
written opaque. An animated GIF, PNG or WebP is enlarged frame by frame and
written as an animated PNG with its delays and loop count; a damaged animation
is refused whole. An output named *.webp is written as a lossless WebP,
animated for an animation.
Exit status: 0 if every input was enlarged, 1 if some failed, 2 for a usage error.
`;

const longOptions = ['factor', 'jobs', 'output', 'background', 'quiet', 'help', 'version', 'wrap', 'grid'];
const shortOptions = { f: 'factor', j: 'jobs', o: 'output', q: 'quiet', h: 'help' };
const withValue = new Set(['factor', 'jobs', 'output', 'background', 'grid']);

class UsageError extends Error {}

function apply(line, name, value) {
  switch (name) {
    case 'factor':
      line.factor = parseFactor(value);
      break;
    case 'jobs':
      if (!/^[0-9]+$/.test(value) || Number(value) < 1 || Number(value) > maxJobs)
        throw new UsageError(`invalid number of jobs '${value}': expected a whole number from 1 to ${maxJobs}`);
      break;
    case 'output':
      if (value === '') throw new UsageError('the output path is empty');
      line.output = value;
      break;
    case 'background':
      parseBackground(value);
      line.background = value;
      break;
    case 'grid':
      line.grid = parseGrid(value);
      break;
    default:
      line[name] = true;
  }
}

// As getopt_long reads it: options anywhere among the inputs, clustered short options, values
// joined or apart, unique prefixes of long options, and "--" before inputs only.
export function parseCommandLine(args) {
  const line = { factor: defaultFactor, inputs: [] };
  for (let index = 0; index < args.length; index++) {
    const arg = args[index];
    if (arg === '--') {
      line.inputs.push(...args.slice(index + 1));
      break;
    }
    if (arg.startsWith('--')) {
      const [typed, ...joined] = arg.split('=');
      const prefix = typed.slice(2);
      const matches = longOptions.filter((name) => name.startsWith(prefix));
      const name = matches.includes(prefix) ? prefix : matches.length === 1 ? matches[0] : undefined;
      if (name === undefined) throw new UsageError(`unknown option '${typed}'`);
      if (!withValue.has(name)) {
        if (joined.length) throw new UsageError(`option '--${name}' takes no value`);
        apply(line, name);
      } else if (joined.length) {
        apply(line, name, joined.join('='));
      } else {
        if (index + 1 >= args.length) throw new UsageError(`option '${typed}' needs a value`);
        apply(line, name, args[++index]);
      }
    } else if (arg.startsWith('-') && arg !== '-') {
      for (let at = 1; at < arg.length; at++) {
        const name = shortOptions[arg[at]];
        if (name === undefined) throw new UsageError(`unknown option '-${arg[at]}'`);
        if (!withValue.has(name)) {
          apply(line, name);
          continue;
        }
        if (at + 1 < arg.length) apply(line, name, arg.slice(at + 1));
        else if (index + 1 < args.length) apply(line, name, args[++index]);
        else throw new UsageError(`option '${arg}' needs a value`);
        break;
      }
    } else {
      line.inputs.push(arg);
    }
  }
  if (line.inputs.length === 0 && !line.help && !line.version) throw new UsageError('no input files');
  if (line.output === '-' && line.inputs.length > 1)
    throw new UsageError("'-o -' writes one image to standard output: give one input");
  return line;
}

const shown = (name) => `'${name}'`;

function isDirectory(path) {
  try {
    return statSync(path).isDirectory();
  } catch {
    return false;
  }
}

// The reasons the native command gives for a file it cannot open.
function reasonOf(error) {
  const reasons = {
    ENOENT: 'No such file or directory',
    EACCES: 'Permission denied',
    EISDIR: 'it is a directory',
    ENOSPC: 'No space left on device',
    EROFS: 'Read-only file system',
    ENOTDIR: 'Not a directory',
  };
  return reasons[error.code] ?? error.message;
}

// Where each input goes; several inputs, or an output that is a directory or ends in '/', go
// into that directory under their default names.
function outputsOf(line, toDirectory) {
  return line.inputs.map((input) => {
    const name = `${basename(input, extname(input))}@${line.factor}x.png`;
    if (line.output === '-') return '-';
    if (toDirectory) return join(line.output, name);
    return line.output ?? join(dirname(input), name);
  });
}

function writeReplacing(output, bytes) {
  const temporary = join(dirname(output), `.${basename(output)}.${process.pid}.tmp`);
  let descriptor;
  try {
    descriptor = openSync(temporary, 'wx', 0o666);
    writeSync(descriptor, bytes);
    fsyncSync(descriptor);
    closeSync(descriptor);
    descriptor = undefined;
    renameSync(temporary, output);
  } catch (error) {
    if (descriptor !== undefined) closeSync(descriptor);
    try {
      unlinkSync(temporary);
    } catch {
      // never made, or already renamed
    }
    throw error;
  }
}

function enlargeOne(line, input, output) {
  let bytes;
  try {
    if (isDirectory(input)) throw Object.assign(new Error(), { code: 'EISDIR' });
    bytes = readFileSync(input);
  } catch (error) {
    return `cannot read ${shown(input)}: ${reasonOf(error)}`;
  }
  const format = output !== '-' && extname(output).toLowerCase() === '.webp' ? 'webp' : 'png';
  let enlarged;
  try {
    enlarged = enlargeFile(bytes, { factor: line.factor, background: line.background, wrap: line.wrap, grid: line.grid, format });
  } catch (error) {
    // The module's own failures carry their step; anything else is the module giving out.
    if (error?.step === undefined) return `cannot enlarge ${shown(input)}: ${error?.message ?? 'not enough memory'}`;
    const target = error.step === 'write' ? (output === '-' ? 'to standard output' : shown(output)) : shown(input);
    return `cannot ${error.step} ${target}: ${error.message}`;
  }
  try {
    if (output === '-') writeSync(1, enlarged.file);
    else if (isDirectory(output)) return `cannot write ${shown(output)} (from ${shown(input)}): it is a directory`;
    else writeReplacing(output, enlarged.file);
  } catch (error) {
    return `cannot write ${output === '-' ? 'to standard output' : shown(output)}: ${reasonOf(error)}`;
  }
  if (enlarged.flattened && !line.quiet)
    console.error(`tessera-scale: note: ${shown(input)}: transparency flattened onto #${line.background.replace('#', '').toUpperCase()}`);
  return undefined;
}

function run(args) {
  let line;
  try {
    line = parseCommandLine(args);
  } catch (error) {
    console.error(`tessera-scale: ${error.message} (see 'tessera-scale --help')`);
    return UsageFailure;
  }
  if (line.help) {
    process.stdout.write(help);
    return Success;
  }
  if (line.version) {
    const { version } = JSON.parse(readFileSync(new URL('../package.json', import.meta.url), 'utf8'));
    console.log(`tessera-scale ${version}`);
    return Success;
  }
  if (line.output === '-' && process.stdout.isTTY) {
    console.error('tessera-scale: will not write an image to a terminal: redirect standard output, or name a file with -o');
    return UsageFailure;
  }
  const toDirectory = line.output !== undefined && line.output !== '-' &&
    (line.inputs.length > 1 || isDirectory(line.output) || line.output.endsWith('/'));
  const outputs = outputsOf(line, toDirectory);
  if (toDirectory) {
    try {
      mkdirSync(line.output, { recursive: true });
    } catch (error) {
      console.error(`tessera-scale: cannot create output directory ${shown(line.output)}: ${error.code === 'EEXIST' ? 'a file of that name exists' : reasonOf(error)}`);
      return SomeInputsFailed;
    }
  }
  let failures = 0;
  line.inputs.forEach((input, index) => {
    const failure = enlargeOne(line, input, outputs[index]);
    if (failure !== undefined) {
      console.error(`tessera-scale: ${failure}`);
      failures++;
    }
  });
  return failures === 0 ? Success : SomeInputsFailed;
}

process.exitCode = run(process.argv.slice(2));
