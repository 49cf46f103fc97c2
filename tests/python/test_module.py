"""The module's interface: the raw word entry, alpha, settings, memory layouts, PIL images and
threads."""
import os
import sys
import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest
from PIL import Image

import tessera
from conftest import DATA, FACTORS, SHEET, colours_of, rgba, words_of

SPRITE = rgba(DATA / "cdda_uc_crow_32.png")  # transparent background, outlines at every angle


def test_version_is_the_projects():
    assert tessera.__version__ == os.environ["TESSERA_VERSION"]


@pytest.mark.parametrize("factor", FACTORS)
def test_words_are_left_as_the_opaque_entry_leaves_them(factor):
    image = SPRITE[..., :3]
    words = tessera.upscale_words(words_of(image), factor)
    assert words.dtype == np.uint32 and words.shape == (32 * factor, 32 * factor)
    np.testing.assert_array_equal(colours_of(words), tessera.upscale(image, factor))
    assert set(np.unique(words >> 24)) == {0, 255}  # blended cells carry alpha 0


@pytest.mark.parametrize("factor", FACTORS)
def test_alpha_words_are_the_alpha_aware_enlargement(factor):
    words = tessera.upscale_words(words_of(SPRITE), factor, alpha=True)
    np.testing.assert_array_equal(words, words_of(tessera.upscale(SPRITE, factor)))


def test_transparent_sprites_keep_a_smoothed_outline_without_halo():
    sprite = np.zeros((12, 12, 4), np.uint8)
    sprite[..., :3] = np.random.default_rng(5).integers(0, 256, (12, 12, 3))  # colour bits of transparency
    for row in range(2, 10):
        sprite[row, 2:row + 1] = (200, 40, 90, 255)  # a triangle: one diagonal outline
    result = tessera.upscale(sprite, 4)
    alpha = result[..., 3]
    assert np.any((alpha > 0) & (alpha < 255))
    np.testing.assert_array_equal(result[alpha > 0][:, :3], np.broadcast_to((200, 40, 90), (np.sum(alpha > 0), 3)))
    assert np.all(result[alpha == 0] == 0)


@pytest.mark.parametrize("row_end, rows", [(None, 32), (-3, 0), (0, 0), (1, 1), (31, 31), (10**30, 32)])
def test_row_end_enlarges_the_first_rows_as_the_whole_image_does(row_end, rows):
    words = words_of(SPRITE)
    for alpha in (False, True):
        whole = tessera.upscale_words(words, 3, alpha=alpha)
        part = tessera.upscale_words(words, 3, alpha=alpha, row_end=row_end)
        assert part.shape == (rows * 3, 96)
        np.testing.assert_array_equal(part, whole[:rows * 3])


def test_background_colours_may_be_given_as_text_or_numbers():
    expected = tessera.upscale(SPRITE, 3, background="#FF8000")
    for background in ("ff8000", (255, 128, 0), [255, 128, 0], np.array([255, 128, 0])):
        np.testing.assert_array_equal(tessera.upscale(SPRITE, 3, background=background), expected)
    assert not np.array_equal(expected, tessera.upscale(SPRITE, 3, background="#000000"))


def test_default_settings_are_the_editors():
    defaults = tessera.ScaleSettings()
    assert (defaults.luma_weight, defaults.same_colour_tolerance, defaults.dominant_ratio,
            defaults.steep_ratio) == (1.0, 30.0, 3.6, 2.2)
    assert eval(repr(defaults), {"ScaleSettings": tessera.ScaleSettings}) == defaults
    np.testing.assert_array_equal(tessera.upscale(SPRITE, 4, settings=defaults), tessera.upscale(SPRITE, 4))


@pytest.mark.parametrize("field, value", [("luma_weight", 20.0), ("same_colour_tolerance", 200.0),
                                          ("dominant_ratio", 1.0), ("steep_ratio", 1.0)])
def test_each_setting_reaches_the_scaler(field, value):
    image = SPRITE[..., :3]
    settings = tessera.ScaleSettings(**{field: value})
    changed = tessera.upscale(image, 4, settings=settings)
    assert not np.array_equal(changed, tessera.upscale(image, 4))
    np.testing.assert_array_equal(colours_of(tessera.upscale_words(words_of(image), 4, settings=settings)), changed)


def test_settings_at_their_bounds_are_kept_and_used():
    settings = tessera.ScaleSettings(0.0, 0.0, 0.0, 1e100)
    settings.luma_weight = 1e100
    assert (settings.luma_weight, settings.same_colour_tolerance, settings.dominant_ratio,
            settings.steep_ratio) == (1e100, 0.0, 0.0, 1e100)
    image = SPRITE[..., :3]
    np.testing.assert_array_equal(colours_of(tessera.upscale_words(words_of(image), 4, settings=settings)),
                                  tessera.upscale(image, 4, settings=settings))


def read_only(array):
    array.flags.writeable = False
    return array


LAYOUTS = {
    "Fortran order": np.asfortranarray,
    "flipped": lambda image: image[::-1, ::-1],
    "every other column": lambda image: np.repeat(image, 2, axis=1)[:, ::2],
    "channels of a wider array": lambda image: np.dstack([image, image])[..., :image.shape[2]],
    "read-only": read_only,
}


@pytest.mark.parametrize("channels", (3, 4))
@pytest.mark.parametrize("layout", LAYOUTS)
def test_any_memory_layout_is_enlarged_and_left_unchanged(layout, channels):
    image = LAYOUTS[layout](SPRITE[..., :channels].copy())
    before = image.copy()
    np.testing.assert_array_equal(tessera.upscale(image, 3), tessera.upscale(np.ascontiguousarray(image), 3))
    np.testing.assert_array_equal(image, before)


@pytest.mark.parametrize("arrange", [np.asfortranarray, lambda words: words.astype(">u4"), read_only])
def test_words_in_any_layout_are_enlarged_and_left_unchanged(arrange):
    words = words_of(SPRITE)
    arranged = arrange(words.copy())
    np.testing.assert_array_equal(tessera.upscale_words(arranged, 2), tessera.upscale_words(words, 2))
    np.testing.assert_array_equal(arranged, words)


def test_objects_with_an_array_interface_are_read_as_arrays():
    class Pixels:
        def __init__(self, array):
            self.array = array
            self.__array_interface__ = array.__array_interface__

    np.testing.assert_array_equal(tessera.upscale(Pixels(SPRITE), 2), tessera.upscale(SPRITE, 2))


def palette_image(transparent):
    image = Image.fromarray(SPRITE[..., :3]).quantize(16)
    if transparent:
        image.info["transparency"] = int(np.asarray(image)[0, 0])
    return image


PIL_IMAGES = {
    "L": (lambda: Image.fromarray(SPRITE).convert("L"), "RGB"),
    "LA": (lambda: Image.fromarray(SPRITE).convert("LA"), "RGBA"),
    "P": (lambda: palette_image(False), "RGB"),
    "P with a transparent index": (lambda: palette_image(True), "RGBA"),
    "RGB": (lambda: Image.fromarray(SPRITE[..., :3]), "RGB"),
    "RGBA": (lambda: Image.fromarray(SPRITE), "RGBA"),
    "RGBA from a file": (lambda: Image.open(DATA / "cdda_uc_crow_32.png"), "RGBA"),
}


@pytest.mark.parametrize("kind", PIL_IMAGES)
def test_pil_images_are_enlarged_after_pillows_conversion(kind):
    make, mode = PIL_IMAGES[kind]
    image = make()
    expected = tessera.upscale(np.asarray(image.convert(mode)), 3)
    np.testing.assert_array_equal(tessera.upscale(image, 3), expected)


def test_two_threads_enlarge_at_once_with_the_results_of_one():
    calls = [(SPRITE, 5, 1), (rgba(DATA / "cdda_mshock_streetlight_64x80.png")[..., :3], 4, 2)]
    expected = [tessera.upscale(image, factor, jobs=jobs) for image, factor, jobs in calls]

    def enlarge(index):
        image, factor, jobs = calls[index]
        return all(np.array_equal(tessera.upscale(image, factor, jobs=jobs), expected[index]) for _ in range(30))

    with ThreadPoolExecutor(2) as pool:
        assert all(pool.map(enlarge, [0, 1]))


SHEET_RGB = np.ascontiguousarray(rgba(SHEET)[..., :3])


@pytest.mark.parametrize("enlarge", [lambda: tessera.upscale(SHEET_RGB, 2),
                                     lambda words=words_of(SHEET_RGB): tessera.upscale_words(words, 2)])
def test_other_threads_run_while_an_image_is_enlarged(enlarge):
    entered = threading.Event()
    finished = []

    def worker():
        entered.set()
        enlarge()
        finished.append(True)

    interval = sys.getswitchinterval()
    # Now a thread that holds the interpreter lock keeps it until it lets go of it itself.
    sys.setswitchinterval(100)
    try:
        thread = threading.Thread(target=worker)
        thread.start()
        entered.wait()
        # This thread runs again once the worker lets go of the lock: inside the call when the
        # call releases it, otherwise only once the call is over.
        ran_during_the_call = not finished
        thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert ran_during_the_call
