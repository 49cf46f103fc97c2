"""tessera-scale and tessera.upscale_frames on animations, checked with Pillow as the independent
reader: every frame of the animated PNG or WebP written equals the still enlargement of the frame
Pillow composites from the input, with delays and loop count kept, and damaged or oversized
animations refused."""
import os
import struct
import subprocess

import numpy as np
import pytest
from PIL import Image, ImageSequence

import tessera

PALETTE = [(0, 0, 0), (240, 180, 40), (40, 90, 200), (220, 40, 40)] + [(9, 9, 9)] * 252
CLEAR, END = 256, 257


def lzw_literals(indices):
    """GIF image data with minimum code size 8, every index a literal 9-bit code: a clear code
    every 254 codes keeps the decoder's table from growing a bit."""
    codes = [CLEAR]
    for start in range(0, len(indices), 254):
        codes += list(indices[start:start + 254]) + [CLEAR]
    codes.append(END)
    bits = sum(code << (9 * i) for i, code in enumerate(codes))
    data = bits.to_bytes((9 * len(codes) + 7) // 8, "little")
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255))
    return bytes([8]) + blocks + b"\0"


def gif(size, frames, loop=0):
    """A GIF of frames (x, y, indices, delay in 1/100 s, disposal, transparent index or None)."""
    out = b"GIF89a" + struct.pack("<HHBBB", size, size, 0xF7, 0, 0)
    out += bytes(channel for colour in PALETTE for channel in colour)
    out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01" + struct.pack("<H", loop) + b"\0"
    for x, y, indices, delay, disposal, transparent in frames:
        flags = disposal << 2 | (transparent is not None)
        out += b"\x21\xf9\x04" + struct.pack("<BHB", flags, delay, transparent or 0) + b"\0"
        height, width = indices.shape
        out += b"\x2c" + struct.pack("<HHHHB", x, y, width, height, 0)
        out += lzw_literals(indices.flatten().tolist())
    return out + b"\x3b"


def block(height, width, index):
    return np.full((height, width), index, dtype=np.uint8)


def run(path, *options):
    environment = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    return subprocess.run([os.environ["TESSERA_SCALE"], "--quiet", *options, str(path)], env=environment,
                          capture_output=True, text=True, check=False)


def frames_of(path):
    """Each composited frame as RGBA and its duration, as Pillow shows them."""
    with Image.open(path) as image:
        return [(np.asarray(frame.convert("RGBA")), frame.info["duration"])
                for frame in ImageSequence.Iterator(image)], image.info.get("loop")


def still(frame, opaque):
    big = tessera.upscale(frame[..., :3] if opaque else frame, 4)
    return big if not opaque else np.dstack([big, np.full(big.shape[:2], 255, np.uint8)])


# Each disposal method, a transparent index, sub-rectangles: the sprite sits on a first frame with
# a transparent hole, so the whole animation is enlarged alpha-aware.
DISPOSALS = [
    (0, 0, np.pad(block(12, 12, 1), 2, constant_values=2), 10, 1, 0),  # kept
    (3, 3, block(6, 6, 3), 20, 3, None),                              # restored to what was before
    (8, 2, block(5, 4, 3), 30, 2, 0),  # cleared to transparent (Pillow agrees when there is a transparent index)
    (4, 8, np.array([[3, 0, 3], [0, 3, 0]], np.uint8), 40, 1, 0),     # transparent index keeps the canvas
]


def test_gif_disposals_and_transparency(tmp_path):
    source = tmp_path / "walk.gif"
    source.write_bytes(gif(16, DISPOSALS, loop=0))
    result = run(source)
    assert result.returncode == 0, result.stderr
    written, loop = frames_of(tmp_path / "walk@4x.png")
    expected, _ = frames_of(source)
    assert loop == 0
    assert [duration for _, duration in written] == [duration for _, duration in expected] == [100, 200, 300, 400]
    for index, ((frame, _), (pixels, _)) in enumerate(zip(written, expected)):
        assert np.array_equal(frame, still(pixels, opaque=False)), f"frame {index}"


def sprite_frames():
    """Four 16 x 16 frames of a sprite moving over a transparent canvas, alpha only 0 or 255."""
    frames = []
    for index in range(4):
        frame = Image.new("RGBA", (16, 16), (0, 0, 0, 0))
        frame.paste((200, 40 * index, 30, 255), (index * 3, 2, index * 3 + 5, 9))
        frame.paste((20, 90, 200, 255), (1, 11, 15, 14))
        frames.append(frame)
    return frames


# Pillow writes each later frame as the rectangle that changed; blend "over" with partial alpha
# is left out, as Pillow composites it as a paste through a mask rather than as a browser does.
# Blend: 0 source, 1 over; disposal: 0 none, 1 background, 2 previous.
@pytest.mark.parametrize("blend, disposal", [(0, 0), (1, 1), (1, 2)])
def test_animated_png_blend_and_dispose(tmp_path, blend, disposal):
    frames = sprite_frames()
    source = tmp_path / "walk.png"
    frames[0].save(source, save_all=True, append_images=frames[1:], duration=[50, 60, 70, 80], loop=2,
                   blend=blend, disposal=disposal)
    result = run(source)
    assert result.returncode == 0, result.stderr
    written, loop = frames_of(tmp_path / "walk@4x.png")
    expected, _ = frames_of(source)
    assert loop == 2 and [duration for _, duration in written] == [50, 60, 70, 80]
    for index, ((frame, _), (pixels, _)) in enumerate(zip(written, expected)):
        assert np.array_equal(frame, still(pixels, opaque=False)), f"frame {index}"


def test_webp_output_keeps_every_frame_delay_and_loop(tmp_path):
    pytest.importorskip("PIL.WebPImagePlugin")
    source = tmp_path / "walk.gif"
    source.write_bytes(gif(16, DISPOSALS, loop=5))
    result = run(source, "-o", str(tmp_path / "walk.WEBP"))
    assert result.returncode == 0, result.stderr
    with Image.open(tmp_path / "walk.WEBP") as image:
        assert image.format == "WEBP"
    written, loop = frames_of(tmp_path / "walk.WEBP")
    expected, _ = frames_of(source)
    # The GIF repeats 5 times after the first showing; a WebP counts every play.
    assert loop == 6 and [duration for _, duration in written] == [100, 200, 300, 400]
    for index, ((frame, _), (pixels, _)) in enumerate(zip(written, expected)):
        assert np.array_equal(frame, still(pixels, opaque=False)), f"frame {index}"
    # A still image named .webp is a lossless WebP of its enlargement.
    Image.fromarray(expected[0][0]).save(tmp_path / "still.png")
    assert run(tmp_path / "still.png", "-o", str(tmp_path / "still.webp")).returncode == 0
    with Image.open(tmp_path / "still.webp") as image:
        assert image.format == "WEBP"
        assert np.array_equal(np.asarray(image.convert("RGBA")), still(expected[0][0], opaque=False))


def test_upscale_frames_gives_the_commands_frames(tmp_path):
    """Frames read by Pillow, enlarged in Python and saved as an APNG, as the module's help shows."""
    source = tmp_path / "walk.gif"
    source.write_bytes(gif(16, DISPOSALS))
    assert run(source).returncode == 0
    command, _ = frames_of(tmp_path / "walk@4x.png")
    with Image.open(source) as animation:
        frames = [frame.copy() for frame in ImageSequence.Iterator(animation)]
    big = tessera.upscale_frames(frames, 4)
    assert all(isinstance(frame, Image.Image) and frame.mode == "RGBA" for frame in big)
    big[0].save(tmp_path / "python.png", save_all=True, append_images=big[1:],
                duration=[frame.info["duration"] for frame in frames], loop=0)
    saved, _ = frames_of(tmp_path / "python.png")
    assert [duration for _, duration in saved] == [duration for _, duration in command]
    for index, ((mine, _), (theirs, _)) in enumerate(zip(saved, command)):
        assert np.array_equal(mine, theirs), f"frame {index}"


def test_upscale_frames_chooses_one_mode_for_the_sequence():
    opaque = np.full((6, 6, 3), 90, np.uint8)
    opaque_rgba = np.dstack([opaque, np.full((6, 6), 255, np.uint8)])
    translucent = opaque_rgba.copy()
    translucent[2, 3, 3] = 0
    # One translucent frame makes every frame alpha-aware, RGB frames included.
    mixed = tessera.upscale_frames([opaque, translucent], 2)
    assert [frame.shape for frame in mixed] == [(12, 12, 4)] * 2
    assert np.array_equal(mixed[1], tessera.upscale(translucent, 2))
    # Opaque RGBA frames, or a background, give RGB.
    assert [frame.shape for frame in tessera.upscale_frames([opaque, opaque_rgba], 2)] == [(12, 12, 3)] * 2
    flat = tessera.upscale_frames([translucent], 2, background="#FF00FF")
    assert np.array_equal(flat[0], tessera.upscale(translucent, 2, background="#FF00FF"))
    # Wrap and grid hold for every frame as for one image.
    patterned = np.random.default_rng(7).integers(0, 2, (6, 6, 3), dtype=np.uint8) * 200
    edged = tessera.upscale_frames([patterned, opaque], 2, wrap=True, grid=(4, 3))
    assert np.array_equal(edged[0], tessera.upscale(patterned, 2, wrap=True, grid=(4, 3)))
    assert not np.array_equal(edged[0], tessera.upscale(patterned, 2))
    with pytest.raises(ValueError, match="grid"):
        tessera.upscale_frames([opaque], 2, grid=0)
    with pytest.raises(ValueError, match="frame 1"):
        tessera.upscale_frames([opaque, opaque[:5]], 2)
    with pytest.raises(ValueError, match="at least one"):
        tessera.upscale_frames([], 2)


def test_animated_webp_opaque(tmp_path):
    pytest.importorskip("PIL.WebPImagePlugin")
    frames = [Image.new("RGB", (12, 12), (30, 60, 90)) for _ in range(3)]
    for index, frame in enumerate(frames):
        frame.paste((200, 50 * index, 40), (index * 3, 2, index * 3 + 4, 9))
    source = tmp_path / "glow.webp"
    frames[0].save(source, save_all=True, append_images=frames[1:], duration=[50, 70, 90], loop=3, lossless=True)
    result = run(source, "-f", "4")
    assert result.returncode == 0, result.stderr
    written, loop = frames_of(tmp_path / "glow@4x.png")
    expected, _ = frames_of(source)
    assert loop == 3 and [duration for _, duration in written] == [50, 70, 90]
    for (frame, _), (pixels, _) in zip(written, expected):
        assert np.array_equal(frame, still(pixels, opaque=True))


def test_still_background_is_stored_once(tmp_path):
    """16 frames of 64 x 64, a sprite moving over a still background: far below 16 whole frames."""
    rng = np.random.default_rng(7)
    background = rng.integers(1, 3, (64, 64), dtype=np.uint8)
    moves = [(4 * step, 20, block(8, 8, 3), 8, 1, None) for step in range(15)]
    source = tmp_path / "loop.gif"
    source.write_bytes(gif(64, [(0, 0, background, 8, 1, None)] + moves))
    assert run(source).returncode == 0
    animated = (tmp_path / "loop@4x.png").stat().st_size
    frames, _ = frames_of(tmp_path / "loop@4x.png")
    assert len(frames) == 16
    Image.fromarray(frames[-1][0]).save(tmp_path / "one.png")
    assert animated < 4 * (tmp_path / "one.png").stat().st_size


def damaged_apng(tmp_path):
    """An animated PNG whose second frame control repeats the first one's sequence number."""
    frames = sprite_frames()
    frames[0].save(tmp_path / "good.png", save_all=True, append_images=frames[1:])
    data = bytearray((tmp_path / "good.png").read_bytes())
    second = data.index(b"fcTL", data.index(b"fcTL") + 1)
    data[second + 4:second + 8] = bytes(4)
    return bytes(data)


@pytest.mark.parametrize("damage, name", [("truncated", "bad.gif"), ("too large", "bad.gif"),
                                          ("sequence", "bad.png")])
def test_refused_whole(tmp_path, damage, name):
    if damage == "truncated":
        data = gif(16, DISPOSALS)
        data = data[:len(data) - 12]  # inside the last frame's image data
    elif damage == "too large":
        data = gif(1024, [(0, 0, block(1, 1, 1), 1, 1, None)] * 40)  # 40 frames of 2^20 pixels
    else:
        data = damaged_apng(tmp_path)
    source = tmp_path / name
    source.write_bytes(data)
    result = run(source)
    assert result.returncode == 1
    assert result.stderr.count("\n") == 1 and name in result.stderr, result.stderr
    assert not (tmp_path / "bad@4x.png").exists()
