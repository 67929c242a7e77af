"""Draws the control's pictures in the standard 16-colour palette: the icon
(32 x 32, resource 216) and the toolbox bitmap (19 x 19, resource 101).

    make-art.py OUTPUT_DIR    writes Vexa.ico and VexCtl3.bmp there

The pictures are computed, not stored: a blue disc (the network) with a white
"V" and a green arrow pointing down into a tray (the fetched file)."""
import os
import struct
import sys

# The standard VGA palette, in its usual order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_BLUE, GREY, GREEN, BLUE, WHITE, SILVER = 0, 4, 8, 10, 12, 15, 7
TRANSPARENT = None


def picture(size):
    """Returns size x size palette indices (None = transparent), top row first."""
    s = float(size)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u, v = (x + 0.5) / s, (y + 0.5) / s
            colour = TRANSPARENT
            # The tray at the bottom.
            if 0.12 <= u <= 0.88 and 0.80 <= v <= 0.92:
                colour = GREY if (0.18 <= u <= 0.82 and v <= 0.86) else BLACK
            # The disc.
            du, dv = u - 0.5, v - 0.42
            r2 = du * du + dv * dv
            if r2 <= 0.40 * 0.40:
                colour = DARK_BLUE if r2 >= 0.36 * 0.36 else BLUE
                # The "V": two strokes meeting at the bottom centre.
                for side in (-1, 1):
                    # distance from the stroke from (0.5 + side*0.22, 0.18) to (0.5, 0.62)
                    x0, y0, x1, y1 = 0.5 + side * 0.22, 0.18, 0.5, 0.62
                    t = max(0.0, min(1.0, ((u - x0) * (x1 - x0) + (v - y0) * (y1 - y0)) /
                                     ((x1 - x0) ** 2 + (y1 - y0) ** 2)))
                    px, py = x0 + t * (x1 - x0), y0 + t * (y1 - y0)
                    if (u - px) ** 2 + (v - py) ** 2 <= 0.055 ** 2:
                        colour = WHITE
            # The arrow into the tray.
            if 0.44 <= u <= 0.56 and 0.62 <= v <= 0.74:
                colour = GREEN
            if 0.62 <= v <= 0.84 and abs(u - 0.5) <= (0.84 - v) * 0.9 and v >= 0.72:
                colour = GREEN
            row.append(colour)
        rows.append(row)
    return rows


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def pack_4bpp(rows, background):
    """Bottom-up 4-bit rows, each padded to 4 bytes."""
    out = b""
    for row in reversed(rows):
        nibbles = [background if c is None else c for c in row]
        if len(nibbles) % 2:
            nibbles.append(0)
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, len(nibbles), 2))
        out += data + b"\0" * (-len(data) % 4)
    return out


def pack_mask(rows):
    """Bottom-up 1-bit AND mask: 1 where transparent."""
    out = b""
    for row in reversed(rows):
        data = bytearray((len(row) + 7) // 8)
        for i, c in enumerate(row):
            if c is None:
                data[i // 8] |= 0x80 >> (i % 8)
        out += bytes(data) + b"\0" * (-len(data) % 4)
    return out


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def write_icon(path, size):
    rows = picture(size)
    pixels = pack_4bpp(rows, BLACK)
    mask = pack_mask(rows)
    image = info_header(size, size * 2, len(pixels) + len(mask)) + palette_bytes() + pixels + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)


def write_bitmap(path, size):
    # Toolbox bitmaps have no mask: transparent pixels are the button face.
    rows = picture(size)
    pixels = pack_4bpp(rows, SILVER)
    offset = 14 + 40 + 64
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(file_header + info_header(size, size, len(pixels)) + palette_bytes() + pixels)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, "Vexa.ico"), 32)
    write_bitmap(os.path.join(out, "VexCtl3.bmp"), 19)


if __name__ == "__main__":
    main()
