#!/usr/bin/env python3
"""tessera-scale end to end: files in, PNG files out, against ImageMagick's block enlargement.

Times the command on the 1024 x 1024 sheet at factors 2, 4 and 5 and on a folder of a few
hundred small sprites at factor 4 (made here from the test images: crops of the sheet from 16 x 16
to 256 x 256, a third of them made opaque, and the single sprites), with -j 1 and -j 2. When
ImageMagick is installed, `convert -scale` (one file) and `mogrify -scale` (the folder) run on the
same files in the same rounds, and each time is given as a ratio to theirs. Runs are interleaved,
round after round, and the best of each is kept, so that a busy machine slows all alike.

Also printed: the output's size beside ImageMagick's re-encoding of the very same pixels, the
command's peak memory beside the raw RGBA output, and, with png_phases, where one run on one
thread goes phase by phase.

    python3 bench/end_to_end.py [--build build/release] [--rounds 3]

Needs Pillow (to make the sprites); Debian's python3 has it with python3-pil.
"""
import argparse
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

ROOT = pathlib.Path(__file__).resolve().parent.parent
DATA = ROOT / "tests" / "data" / "pixelart"
SHEET = DATA / "sheet_cdda_uc_1024.png"
SPRITE_SIZES = (16, 24, 32, 48, 64, 96, 128, 192, 256)
SPRITE_COUNT = 300


def make_sprites(folder):
    """Crops of the sheet in every size, every third one flattened, and the single sprites."""
    folder.mkdir()
    sheet = Image.open(SHEET).convert("RGBA")
    choice = random.Random(24)
    for i in range(SPRITE_COUNT):
        size = SPRITE_SIZES[i % len(SPRITE_SIZES)]
        x = choice.randrange(0, sheet.width - size + 1, 8)
        y = choice.randrange(0, sheet.height - size + 1, 8)
        sprite = sheet.crop((x, y, x + size, y + size))
        if i % 3 == 2:
            ground = Image.new("RGBA", sprite.size, (40, 40, 48, 255))
            ground.alpha_composite(sprite)
            sprite = ground.convert("RGB")
        sprite.save(folder / f"sprite_{i:03d}.png")
    for single in DATA.glob("cdda_*.png"):
        shutil.copy(single, folder)
    return sorted(folder.iterdir())


def run(command):
    """Wall-clock seconds and peak resident memory (bytes) of one command."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    errors = process.stderr.read().decode()
    process.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    process.returncode = code  # reaped above: Popen must not wait for it again
    if code != 0:
        sys.exit(f"end_to_end: {command[0]} failed ({code}): {errors}")
    return seconds, usage.ru_maxrss * 1024


def fresh(path):
    """Clears an output left by the previous round."""
    if path.is_dir():
        shutil.rmtree(path)
    elif path.exists():
        path.unlink()


def size_of(path):
    return sum(p.stat().st_size for p in path.iterdir()) if path.is_dir() else path.stat().st_size


def imagemagick():
    """convert and mogrify, from Debian's imagemagick, or None."""
    for folder in ("/usr/bin", None):
        convert = shutil.which("convert", path=folder)
        mogrify = shutil.which("mogrify", path=folder)
        if convert and mogrify:
            version = subprocess.run([convert, "-version"], capture_output=True, text=True).stdout
            if "ImageMagick" in version:
                return convert, mogrify
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "release"), help="the build folder")
    parser.add_argument("--rounds", type=int, default=3, help="rounds; the best of each is kept")
    args = parser.parse_args()
    build = pathlib.Path(args.build)
    command = build / "tools" / "tessera-scale"
    phases = build / "bench" / "png_phases"
    magick = imagemagick()
    if not magick:
        print("ImageMagick not found: the command's times only")

    with tempfile.TemporaryDirectory(prefix="tessera-end-to-end-") as scratch:
        scratch = pathlib.Path(scratch)
        sprites = make_sprites(scratch / "sprites")
        jobs = [(f"sheet x{factor}", factor, [SHEET]) for factor in (2, 4, 5)]
        jobs.append((f"{len(sprites)} sprites x4", 4, sprites))

        print(f"{'job':<18} {'-j 1':>8} {'-j 2':>8} {'ImageMagick':>12} {'ratio -j 1':>11} {'ratio -j 2':>11}"
              f" {'bytes':>11} {'IM re-encoded':>14} {'peak / raw':>11}")
        for name, factor, inputs in jobs:
            out = scratch / ("out.png" if len(inputs) == 1 else "out")
            theirs = scratch / ("theirs.png" if len(inputs) == 1 else "theirs")
            variants = {threads: [str(command), "-q", "-j", str(threads), "-f", str(factor), "-o", str(out)]
                        + [str(p) for p in inputs] for threads in (1, 2)}
            if magick and len(inputs) == 1:
                variants["im"] = [magick[0], str(SHEET), "-scale", f"{factor * 100}%", str(theirs)]
            elif magick:
                variants["im"] = [magick[1], "-path", str(theirs), "-scale", f"{factor * 100}%"] + [
                    str(p) for p in inputs]
            best = {key: float("inf") for key in variants}
            peak = 0
            for _ in range(args.rounds):
                for key, line in variants.items():
                    fresh(theirs if key == "im" else out)
                    if key == "im" and len(inputs) > 1:
                        theirs.mkdir()
                    seconds, memory = run(line)
                    best[key] = min(best[key], seconds)
                    if key != "im":
                        peak = max(peak, memory)

            ours = size_of(out)
            reencoded = "-"
            if magick:
                again = scratch / ("again.png" if len(inputs) == 1 else "again")
                fresh(again)
                if len(inputs) == 1:
                    subprocess.run([magick[0], str(out), str(again)], check=True)
                else:
                    again.mkdir()
                    subprocess.run([magick[1], "-path", str(again), "-format", "png"]
                                   + [str(p) for p in out.iterdir()], check=True)
                reencoded = f"{size_of(again):,}"
            # Peak memory against the raw RGBA output, for one image; a folder's is the process's own.
            if len(inputs) == 1:
                with Image.open(inputs[0]) as image:
                    memory = f"{peak / (image.width * image.height * factor * factor * 4):.2f}"
            else:
                memory = "-"
            im = best.get("im")
            ratio = (lambda t: f"{t / im:.2f}") if im else (lambda t: "-")
            print(f"{name:<18} {best[1]:>7.3f}s {best[2]:>7.3f}s {(f'{im:.3f}s' if im else '-'):>12}"
                  f" {ratio(best[1]):>11} {ratio(best[2]):>11} {ours:>11,} {reencoded:>14}"
                  f" {memory:>11}")

    if phases.exists():
        print("\nOne run on one thread, phase by phase (png_phases):")
        for factor in (2, 4, 5):
            subprocess.run([str(phases), str(SHEET), str(factor)], check=True)


if __name__ == "__main__":
    main()
