"""The module enlarges exactly as tessera-scale does, byte for byte, on the test images."""
import numpy as np
import pytest
from PIL import Image

import tessera
from conftest import FACTORS, SHEET, SPRITES, command_output, rgba

BACKGROUND = "#3366CC"


@pytest.fixture(scope="module")
def opaque_sprites(tmp_path_factory):
    """The test sprites without their alpha channel (the colour of transparent pixels kept)."""
    folder = tmp_path_factory.mktemp("opaque")
    for path in SPRITES:
        Image.fromarray(rgba(path)[..., :3]).save(folder / path.name)
    return sorted(folder.glob("*.png"))


def assert_opaque_result(result, written, name):
    assert result.dtype == np.uint8 and result.shape == written.shape[:2] + (3,), name
    assert np.all(written[..., 3] == 255), name
    np.testing.assert_array_equal(result, written[..., :3], err_msg=name)


@pytest.mark.parametrize("factor", FACTORS)
def test_rgb_input_gives_the_opaque_enlargement(factor, opaque_sprites, tmp_path):
    written = command_output(opaque_sprites, tmp_path, factor)
    for path in opaque_sprites:
        assert_opaque_result(tessera.upscale(rgba(path)[..., :3], factor), written[path.name], path.name)


@pytest.mark.parametrize("factor", FACTORS)
def test_a_background_flattens_rgba_input_first(factor, tmp_path):
    written = command_output(SPRITES, tmp_path, factor, "--background", BACKGROUND)
    for path in SPRITES:
        result = tessera.upscale(rgba(path), factor, background=BACKGROUND)
        assert_opaque_result(result, written[path.name], path.name)


@pytest.mark.parametrize("options, keywords", [
    (["--wrap"], {"wrap": True}),
    (["--grid", "16x8"], {"grid": (16, 8)}),
    (["--grid", "12", "--wrap"], {"grid": 12, "wrap": True}),
])
def test_wrap_and_grid_give_the_commands_pixels(options, keywords, tmp_path):
    written = command_output(SPRITES, tmp_path, 3, *options)
    for path in SPRITES:
        np.testing.assert_array_equal(tessera.upscale(rgba(path), 3, **keywords), written[path.name],
                                      err_msg=path.name)


def test_bands_on_several_threads_give_the_same_pixels(tmp_path):
    written = command_output([SHEET], tmp_path, 2, "--background", BACKGROUND)[SHEET.name]
    sheet = rgba(SHEET)
    for jobs in (1, 3):
        assert_opaque_result(tessera.upscale(sheet, 2, background=BACKGROUND, jobs=jobs), written, f"jobs={jobs}")


@pytest.mark.parametrize("factor", FACTORS)
def test_rgba_input_keeps_its_transparency_as_the_command_does(factor, tmp_path):
    written = command_output(SPRITES, tmp_path, factor)
    for path in SPRITES:
        result = tessera.upscale(rgba(path), factor)
        assert result.dtype == np.uint8 and result.shape == written[path.name].shape, path.name
        np.testing.assert_array_equal(result, written[path.name], err_msg=path.name)


def keyed_sprite():
    """The crow's colours with its transparent pixels magenta, the colour the keys below mark."""
    pixels = rgba(SPRITES[0])
    colours = pixels[..., :3].copy()
    colours[pixels[..., 3] < 128] = (255, 0, 255)
    return colours


def saved_with_transparency(mode, transparency):
    def save(path):
        image = Image.fromarray(keyed_sprite())
        image = image.quantize(32) if mode == "P" else image.convert(mode)
        if callable(transparency):
            image.save(path, transparency=transparency(image))
        else:
            image.save(path, transparency=transparency)
    return save


def magenta_index(image):
    return image.palette.colors[(255, 0, 255)]


def alphas_by_entry(image):
    """Magenta transparent, every other entry half transparent except the last ones."""
    return bytes(0 if index == magenta_index(image) else 128 for index in range(20))


TRANSPARENT_FILES = {
    "RGB with a colour key": saved_with_transparency("RGB", (255, 0, 255)),
    "grey with a colour key": saved_with_transparency("L", 105),  # magenta's grey level
    "palette with a transparent index": saved_with_transparency("P", magenta_index),
    "palette with entry alphas": saved_with_transparency("P", alphas_by_entry),
}


@pytest.mark.parametrize("kind", TRANSPARENT_FILES)
def test_transparency_of_pil_images_is_the_commands(kind, tmp_path):
    path = tmp_path / "keyed.png"
    TRANSPARENT_FILES[kind](path)
    (tmp_path / "out").mkdir()
    written = command_output([path], tmp_path / "out", 3)[path.name]
    with Image.open(path) as image:
        result = tessera.upscale(image, 3)
    assert np.any(written[..., 3] == 0), "the file marks no pixel transparent"
    np.testing.assert_array_equal(result, written)
