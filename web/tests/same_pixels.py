"""Says whether PNG files hold the same RGBA pixels: python3 same_pixels.py A B [A B ...].

Pillow decodes both sides, independently of the page's and the command's own decoders; a
palette or RGB file is compared as the RGBA it stands for, an animated one frame by frame with
each frame's duration. Prints each pair that differs and exits 1 if any does."""
import sys

from PIL import Image, ImageSequence


def rgba(path):
    with Image.open(path) as image:
        frames = [(frame.convert("RGBA").tobytes(), frame.info.get("duration"))
                  for frame in ImageSequence.Iterator(image)]
        return image.size, frames


differing = 0
pairs = sys.argv[1:]
for first, second in zip(pairs[0::2], pairs[1::2]):
    (size_a, pixels_a), (size_b, pixels_b) = rgba(first), rgba(second)
    if size_a != size_b or pixels_a != pixels_b:
        frame = next((i for i, (a, b) in enumerate(zip(pixels_a, pixels_b)) if a != b), None)
        at = None if frame is None else next(
            i // 4 for i, (a, b) in enumerate(zip(pixels_a[frame][0], pixels_b[frame][0])) if a != b)
        print(f"{first} and {second} differ: sizes {size_a} and {size_b}, {len(pixels_a)} and "
              f"{len(pixels_b)} frames, first frame apart {frame}, first pixel apart in it {at}")
        differing += 1
sys.exit(1 if differing else 0)
