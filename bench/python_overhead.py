#!/usr/bin/env python3
"""Overhead of the tessera Python module over the C++ call, on the sprite sheet.

At every factor, times in one run:
  C++      upscale on the sheet's opaque words, as scaler_bench measures it (enlarge/Sheet_Upscale)
  upscale  tessera.upscale on the sheet as an RGB numpy array: conversion to words,
           the enlargement, conversion back and the new result array
  words    tessera.upscale_words on the sheet's words: the raw entry and its new array
  memory   one write to every page of a new array of the result's size: what the kernel takes
           to hand out fresh memory, which every call that returns a new image pays and the
           C++ benchmark, enlarging into the same target again and again, does not
and prints each Python figure's ratio to the C++ one, also with the fresh memory taken off.
From the repository, after a release build:

    PYTHONPATH=build/release/python python3 bench/python_overhead.py build/release/bench/scaler_bench
"""
import argparse
import json
import pathlib
import subprocess
import timeit

import numpy as np
from PIL import Image

import tessera

SHEET = pathlib.Path(__file__).resolve().parent.parent / "tests/data/pixelart/sheet_cdda_uc_1024.png"


def cpp_seconds(scaler_bench, factor, repetitions):
    """The fastest repetition of scaler_bench's Sheet_Upscale, in seconds per call."""
    output = subprocess.run(
        [scaler_bench, f"--benchmark_filter=^enlarge/Sheet_Upscale/{factor}$", "--benchmark_format=json",
         f"--benchmark_repetitions={repetitions}", "--benchmark_min_time=0.5"],
        capture_output=True, text=True, check=True).stdout
    runs = [run for run in json.loads(output)["benchmarks"] if run.get("run_type") == "iteration"]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    return min(run["real_time"] * scale[run["time_unit"]] for run in runs)


def python_seconds(call, repetitions):
    """The fastest repetition of the call, in seconds per call, each repetition at least 0.5 s."""
    timer = timeit.Timer(call)
    number, _ = timer.autorange()  # calls that take at least 0.2 s
    number = max(1, round(number * 2.5))
    return min(timer.repeat(repeat=repetitions, number=number)) / number


def touch_new_array(shape):
    """Allocates an array and writes one byte in each of its pages, as a first write of it does."""
    np.empty(shape, np.uint8).reshape(-1)[::4096] = 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("scaler_bench", help="path of the release build's bench/scaler_bench")
    parser.add_argument("--repetitions", type=int, default=5)
    arguments = parser.parse_args()

    with Image.open(SHEET) as image:
        rgb = np.asarray(image.convert("RGB"))
    channels = rgb.astype(np.uint32)
    words = 0xFF000000 | channels[..., 0] << 16 | channels[..., 1] << 8 | channels[..., 2]

    print(f"tessera {tessera.__version__}, {SHEET.name} {rgb.shape[1]} x {rgb.shape[0]}, "
          f"fastest of {arguments.repetitions} repetitions")
    print(f"{'factor':>6} {'C++ ms':>8} {'memory ms':>10} {'upscale ms':>11} {'ratio':>6} {'less mem':>9} "
          f"{'words ms':>9} {'ratio':>6} {'less mem':>9}")
    for factor in (2, 3, 4, 5):
        cpp = cpp_seconds(arguments.scaler_bench, factor, arguments.repetitions)
        shape = (rgb.shape[0] * factor, rgb.shape[1] * factor, 4)
        memory = python_seconds(lambda: touch_new_array(shape), arguments.repetitions)
        image_call = python_seconds(lambda: tessera.upscale(rgb, factor), arguments.repetitions)
        words_call = python_seconds(lambda: tessera.upscale_words(words, factor), arguments.repetitions)
        print(f"{factor:>6} {cpp * 1e3:>8.1f} {memory * 1e3:>10.1f} {image_call * 1e3:>11.1f} "
              f"{image_call / cpp:>6.3f} {(image_call - memory) / cpp:>9.3f} {words_call * 1e3:>9.1f} "
              f"{words_call / cpp:>6.3f} {(words_call - memory) / cpp:>9.3f}")


if __name__ == "__main__":
    main()
