"""Says whether PNG files hold the same RGBA pixels: python3 same_pixels.py A B [A B ...].

Pillow decodes both sides, independently of the page's and the command's own decoders; a
palette or RGB file is compared as the RGBA it stands for. Prints each pair that differs and
exits 1 if any does."""
import sys

from PIL import Image


def rgba(path):
    with Image.open(path) as image:
        return image.size, image.convert("RGBA").tobytes()


differing = 0
pairs = sys.argv[1:]
for first, second in zip(pairs[0::2], pairs[1::2]):
    (size_a, pixels_a), (size_b, pixels_b) = rgba(first), rgba(second)
    if size_a != size_b or pixels_a != pixels_b:
        at = next((i // 4 for i, (a, b) in enumerate(zip(pixels_a, pixels_b)) if a != b), None)
        print(f"{first} and {second} differ: sizes {size_a} and {size_b}, first pixel apart {at}")
        differing += 1
sys.exit(1 if differing else 0)
