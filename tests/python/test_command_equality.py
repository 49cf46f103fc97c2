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
