"""Every wrong argument is a TypeError or ValueError naming what was expected, never a crash."""
import numpy as np
import pytest
from PIL import Image

import tessera

IMAGE = np.zeros((4, 4, 3), np.uint8)
WORDS = np.zeros((4, 4), np.uint32)
# Larger than any allowed enlargement, yet without memory behind it.
HUGE = np.broadcast_to(np.zeros(3, np.uint8), (8193, 8192, 3))


def keyed(mode, transparency):
    image = Image.new(mode, (2, 2))
    image.info["transparency"] = transparency
    return image


CASES = {
    "float pixels": (lambda: tessera.upscale(IMAGE.astype(np.float32)), TypeError, "uint8"),
    "signed pixels": (lambda: tessera.upscale(IMAGE.astype(np.int8)), TypeError, "uint8"),
    "no image": (lambda: tessera.upscale(None), TypeError, "PIL image"),
    "nested lists": (lambda: tessera.upscale([[[0, 0, 0]]]), TypeError, "uint8 numpy array"),
    "grey array": (lambda: tessera.upscale(IMAGE[..., 0]), ValueError, "(height, width, 3)"),
    "two channels": (lambda: tessera.upscale(IMAGE[..., :2]), ValueError, "(height, width, 4)"),
    "four dimensions": (lambda: tessera.upscale(IMAGE[None]), ValueError, "shape"),
    "empty image": (lambda: tessera.upscale(IMAGE[:0]), ValueError, "empty"),
    "too large": (lambda: tessera.upscale(HUGE, 2), ValueError, "limit of 268,435,456 output pixels"),
    "factor 1": (lambda: tessera.upscale(IMAGE, 1), ValueError, "factor must be 2, 3, 4 or 5"),
    "factor 6": (lambda: tessera.upscale(IMAGE, 6), ValueError, "factor must be 2, 3, 4 or 5"),
    "huge factor": (lambda: tessera.upscale(IMAGE, 2**70), ValueError, "factor must be 2, 3, 4 or 5"),
    "float factor": (lambda: tessera.upscale(IMAGE, 2.0), TypeError, "factor must be an integer"),
    "text factor": (lambda: tessera.upscale(IMAGE, "4"), TypeError, "factor must be an integer"),
    "short colour": (lambda: tessera.upscale(IMAGE, background="#12345"), ValueError, "#RRGGBB"),
    "colour name": (lambda: tessera.upscale(IMAGE, background="red"), ValueError, "#RRGGBB"),
    "two channels of colour": (lambda: tessera.upscale(IMAGE, background=(1, 2)), ValueError, "got 2 values"),
    "channel above 255": (lambda: tessera.upscale(IMAGE, background=(0, 0, 256)), ValueError, "0 to 255"),
    "negative channel": (lambda: tessera.upscale(IMAGE, background=(-1, 0, 0)), ValueError, "0 to 255"),
    "colour that is not text": (lambda: tessera.upscale(IMAGE, background="\udc80"), ValueError, "utf-8"),
    "float channel": (lambda: tessera.upscale(IMAGE, background=(0.5, 0, 0)), TypeError, "integer"),
    "number as colour": (lambda: tessera.upscale(IMAGE, background=0xFF0000), TypeError, "#RRGGBB"),
    "no jobs": (lambda: tessera.upscale(IMAGE, jobs=0), ValueError, "jobs must be from 1 to 256"),
    "too many jobs": (lambda: tessera.upscale(IMAGE, jobs=257), ValueError, "jobs must be from 1 to 256"),
    "jobs as text": (lambda: tessera.upscale(IMAGE, jobs="2"), TypeError, "jobs must be an integer"),
    "wrap as a number": (lambda: tessera.upscale(IMAGE, wrap=1), TypeError, "wrap must be True or False"),
    "grid of 0": (lambda: tessera.upscale(IMAGE, grid=0), ValueError, "whole numbers from 1"),
    "negative grid": (lambda: tessera.upscale(IMAGE, grid=(4, -2)), ValueError, "whole numbers from 1"),
    "grid of three sizes": (lambda: tessera.upscale(IMAGE, grid=(1, 2, 3)), ValueError, "got 3 values"),
    "grid as text": (lambda: tessera.upscale(IMAGE, grid="16x16"), TypeError, "grid must be None"),
    "float grid": (lambda: tessera.upscale(IMAGE, grid=(2.5, 2)), TypeError, "each grid size must be an integer"),
    "settings as a dict": (lambda: tessera.upscale(IMAGE, settings={}), TypeError, "tessera.ScaleSettings"),
    "positional background": (lambda: tessera.upscale(IMAGE, 2, (0, 0, 0)), TypeError,
                              "incompatible function arguments"),
    "CMYK image": (lambda: tessera.upscale(Image.new("CMYK", (2, 2))), ValueError, 'convert it to "RGB"'),
    "16-bit image": (lambda: tessera.upscale(Image.new("I;16", (2, 2))), ValueError, "mode"),
    "byte words": (lambda: tessera.upscale_words(IMAGE), TypeError, "uint32"),
    "signed words": (lambda: tessera.upscale_words(WORDS.astype(np.int32)), TypeError, "uint32"),
    "words as a list": (lambda: tessera.upscale_words([[0]]), TypeError, "uint32 numpy array"),
    "words of three dimensions": (lambda: tessera.upscale_words(WORDS[None]), ValueError, "(height, width)"),
    "empty words": (lambda: tessera.upscale_words(WORDS[:, :0]), ValueError, "empty"),
    "too many words": (lambda: tessera.upscale_words(np.broadcast_to(np.uint32(0), (8193, 8192)), 2),
                       ValueError, "limit"),
    "words factor 7": (lambda: tessera.upscale_words(WORDS, 7), ValueError, "factor must be 2, 3, 4 or 5"),
    "float row end": (lambda: tessera.upscale_words(WORDS, row_end=1.5), TypeError, "row_end must be an integer"),
    "words settings": (lambda: tessera.upscale_words(WORDS, settings=1), TypeError, "tessera.ScaleSettings"),
    "text setting": (lambda: tessera.ScaleSettings(luma_weight="x"), TypeError, "luma_weight"),
    "weight not a number": (lambda: tessera.ScaleSettings(luma_weight=float("nan")), ValueError,
                            "luma_weight must be a finite number from 0 to 1e100, got nan"),
    "infinite tolerance": (lambda: tessera.ScaleSettings(same_colour_tolerance=float("inf")), ValueError,
                           "same_colour_tolerance"),
    "negative ratio": (lambda: tessera.ScaleSettings(dominant_ratio=-0.5), ValueError, "dominant_ratio"),
    "ratio past the bound": (lambda: tessera.ScaleSettings(steep_ratio=1.1e100), ValueError, "steep_ratio"),
    "negative weight set later": (lambda: setattr(tessera.ScaleSettings(), "luma_weight", -1.0), ValueError,
                                  "luma_weight"),
    "nan ratio set later": (lambda: setattr(tessera.ScaleSettings(), "steep_ratio", float("nan")), ValueError,
                            "steep_ratio"),
    "colour key of 16-bit samples": (lambda: tessera.upscale(keyed("RGB", (256, 0, 0))), ValueError,
                                     "(red, green, blue) from 0 to 255"),
    "colour key of two values": (lambda: tessera.upscale(keyed("RGB", (1, 2))), ValueError, "got (1, 2)"),
    "grey key as text": (lambda: tessera.upscale(keyed("L", "0")), ValueError, "a grey level"),
}


@pytest.mark.parametrize("case", CASES)
def test_wrong_arguments_raise_a_clear_error(case):
    call, error, message = CASES[case]
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value)
