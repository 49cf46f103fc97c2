"""Helpers shared by the Python module's tests.

CTest passes the batch command (TESSERA_SCALE), the test images (TESSERA_TEST_DATA) and the
project version (TESSERA_VERSION) in the environment, and puts the built module on PYTHONPATH.
"""
import os
import pathlib
import subprocess

import numpy as np
from PIL import Image

DATA = pathlib.Path(os.environ["TESSERA_TEST_DATA"])
SHEET = DATA / "sheet_cdda_uc_1024.png"
SPRITES = sorted(DATA.glob("cdda_*.png"))
FACTORS = (2, 3, 4, 5)


def rgba(path):
    """The pixels of an image file as straight RGBA, as Pillow decodes them."""
    with Image.open(path) as image:
        return np.asarray(image.convert("RGBA"))


def words_of(pixels):
    """0xAARRGGBB words of RGBA pixels, or of RGB pixels with alpha 255."""
    channels = pixels.astype(np.uint32)
    alpha = channels[..., 3] if pixels.shape[2] == 4 else np.uint32(255)
    return alpha << 24 | channels[..., 0] << 16 | channels[..., 1] << 8 | channels[..., 2]


def colours_of(words):
    """The red, green and blue bytes of 0xAARRGGBB words."""
    return np.stack([(words >> shift & 0xFF).astype(np.uint8) for shift in (16, 8, 0)], axis=-1)


def command_output(inputs, folder, factor, *options):
    """Runs tessera-scale on the inputs into the folder; their outputs as RGBA, by input name."""
    # In the sanitizer build the command carries its own sanitizer runtime, which must not
    # meet the one preloaded into this interpreter for the module.
    environment = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    arguments = ["--quiet", "--factor", str(factor), "--output", f"{folder}/", *options, *map(str, inputs)]
    result = subprocess.run([os.environ["TESSERA_SCALE"], *arguments], env=environment,
                            capture_output=True, text=True, check=False)
    assert result.returncode == 0, result.stderr
    return {path.name: rgba(pathlib.Path(folder) / f"{path.stem}@{factor}x.png") for path in inputs}
