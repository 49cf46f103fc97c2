#!/usr/bin/env python3
"""Frames per second on a 256 x 240 game frame at factors 2 to 5, three ways, from one source
(bench/frame_rate.cpp): natively on one thread, natively in row bands on every core, and as
WebAssembly in Node on one thread.

Builds the native program in the release preset (build/release) and the WebAssembly one in the
page's build (build/web, configured as scripts/web.sh does when it is not there yet), runs them
one after the other and prints one Markdown table, with the speed-up of the bands over one thread
and the WebAssembly figure as a ratio to the native one.

    python3 bench/frame_rate.py [--seconds 2]
"""
import argparse
import datetime
import os
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
RELEASE = ROOT / "build" / "release"
WEB = ROOT / "build" / "web"
# Debian's emscripten runs its JavaScript tools under this machine's Node, which finds Debian's
# acorn only here.
EMSCRIPTEN_ENV = dict(os.environ, NODE_PATH="/usr/share/nodejs")


def build():
    jobs = str(os.cpu_count() or 1)
    if not (RELEASE / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", RELEASE, "--target", "frame_rate", "-j", jobs], check=True,
                   stdout=subprocess.DEVNULL)
    if not (WEB / "CMakeCache.txt").exists():
        deps = subprocess.run([ROOT / "scripts" / "web_deps.sh"], check=True, capture_output=True,
                              text=True).stdout.splitlines()[-1]
        subprocess.run(["emcmake", "cmake", "-S", ROOT / "web", "-B", WEB, "-DCMAKE_BUILD_TYPE=Release",
                        f"-DTESSERA_WEB_DEPS={deps}"], env=EMSCRIPTEN_ENV, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", WEB, "--target", "frame_rate", "-j", jobs], env=EMSCRIPTEN_ENV,
                   check=True, stdout=subprocess.DEVNULL)


def rates(command):
    """The program's table as {factor: [fps, ...]}, and its header."""
    lines = subprocess.run(command, check=True, capture_output=True, text=True).stdout.splitlines()
    rows = [[cell.strip() for cell in line.strip("|").split("|")] for line in lines]
    return {int(row[0]): [float(cell) for cell in row[1:]] for row in rows[2:]}, rows[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=2.0,
                        help="time spent on each factor by each program (default 2)")
    seconds = str(parser.parse_args().seconds)
    build()
    native, header = rates([RELEASE / "bench" / "frame_rate", seconds])
    wasm, _ = rates(["node", WEB / "frame_rate.js", seconds])
    threads = header[2].split()[0] if len(header) > 2 else "1"
    node = subprocess.run(["node", "--version"], check=True, capture_output=True, text=True).stdout.strip()
    print(f"{os.cpu_count()} cores, Node {node}, {datetime.date.today().isoformat()}\n")
    print(f"| factor | native 1 thread fps | native {threads} threads fps | WebAssembly (Node) 1 thread fps "
          f"| {threads} threads / 1 | WebAssembly / native |")
    print("|---|---|---|---|---|---|")
    for factor, (one, *many) in sorted(native.items()):
        banded = many[0] if many else one
        web = wasm[factor][0]
        print(f"| {factor} | {one:.0f} | {banded:.0f} | {web:.0f} | {banded / one:.2f} | {web / one:.2f} |")


if __name__ == "__main__":
    sys.exit(main())
