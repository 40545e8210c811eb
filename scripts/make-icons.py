#!/usr/bin/python3
# Draws the program icon and the key icon from the shape lists below and writes res/*.ico.
# Needs only Debian's python3-pil; run it again after changing a shape, then commit the .ico files.
import io
import os
import struct
import sys

from PIL import Image, ImageDraw

# Shapes are drawn in order on a 100 x 100 canvas. A stroke width is in canvas units but never
# thinner than one output pixel, so outlines stay visible at 16 pixels. An item with "min" is
# only drawn at that pixel size or larger (fine detail that would only blur small images).
#   ("poly", fill, outline, width, [points])
#   ("rrect", fill, outline, width, (x0, y0, x1, y1), radius)
#   ("ellipse", fill, outline, width, (x0, y0, x1, y1))
#   ("line", colour, width, [points])
#   ("arc", colour, width, (x0, y0, x1, y1), start, end)

FOLDER_EDGE = "#7a5200"
MAIN_SHAPES = [
    # folder back with its tab
    ("poly", "#e9a90c", FOLDER_EDGE, 3.5, [(5, 16), (36, 16), (43, 25), (95, 25), (95, 86), (5, 86)]),
    # paper peeking out of the folder
    ("poly", "#ffffff", "#8c8c8c", 2, [(12, 28), (88, 28), (88, 40), (12, 40)]),
    # folder front
    ("poly", "#ffd43b", FOLDER_EDGE, 3.5, [(5, 36), (95, 36), (95, 86), (5, 86)]),
    ("line", "#ffe98a", 3, [(9, 41), (91, 41)], 32),
    # zipper: dark track down the front, light teeth, and the pull at the top
    ("poly", "#3d3d3d", None, 0, [(31, 36), (43, 36), (43, 86), (31, 86)]),
    *[("poly", "#d9d9d9", None, 0, [(31 + (i % 2) * 6, 40 + i * 6), (37 + (i % 2) * 6, 40 + i * 6),
                                    (37 + (i % 2) * 6, 43 + i * 6), (31 + (i % 2) * 6, 43 + i * 6)], 24)
      for i in range(8)],
    ("line", "#d9d9d9", 2.5, [(37, 39), (37, 84)], 0, 23),
    ("rrect", "#c0c0c0", "#2b2b2b", 2.5, (30, 30, 44, 48), 3),
    ("rrect", "#2b2b2b", None, 0, (34.5, 37, 39.5, 44), 1, 32),
    # padlock: shackle, then the body over its ends, then the keyhole
    ("arc", "#2e3b4e", 13, (55, 40, 85, 72), 180, 360),
    ("arc", "#a9b6c6", 6, (58.5, 43.5, 81.5, 68.5), 180, 360, 32),
    ("poly", "#2e3b4e", None, 0, [(55, 56), (62, 56), (62, 62), (55, 62)]),
    ("poly", "#2e3b4e", None, 0, [(78, 56), (85, 56), (85, 62), (78, 62)]),
    ("rrect", "#3f6fb5", "#1c2f4f", 3.5, (50, 58, 92, 94), 5),
    ("line", "#7fa6dd", 3, [(55, 64), (87, 64)], 32),
    ("ellipse", "#101a2b", None, 0, (66, 68, 76, 78)),
    ("poly", "#101a2b", None, 0, [(69, 74), (73, 74), (74.5, 87), (67.5, 87)]),
]

KEY_GOLD = "#f4c430"
KEY_EDGE = "#7a5600"
KEY_SHAPES = [
    # the bit's two teeth, then the shaft over their roots, running to the lower right
    ("poly", KEY_GOLD, KEY_EDGE, 4.5, [(64, 62), (53, 73), (63, 83), (74, 72)]),
    ("poly", KEY_GOLD, KEY_EDGE, 4.5, [(80, 78), (69, 89), (76, 96), (87, 85)]),
    ("poly", KEY_GOLD, KEY_EDGE, 4.5, [(42, 30), (30, 42), (84, 96), (96, 84)]),
    ("line", "#fff2b0", 3.5, [(44, 37), (88, 81)], 32),
    # bow (the ring) at the upper left over the shaft's end, with its hole
    ("ellipse", KEY_GOLD, KEY_EDGE, 4.5, (2, 2, 52, 52)),
    ("ellipse", "#fff2b0", None, 0, (10, 8, 32, 22), 32),
    ("ellipse", (0, 0, 0, 0), KEY_EDGE, 4.5, (17, 17, 33, 33)),
]

SUPER = 8  # supersampling factor: shapes are drawn this much larger, then averaged down


def _colour(value):
    if isinstance(value, tuple):
        return value
    value = value.lstrip("#")
    return tuple(int(value[i:i + 2], 16) for i in (0, 2, 4)) + (255,)


def render(shapes, size):
    """One RGBA image of the shapes at size x size pixels."""
    canvas = size * SUPER
    scale = canvas / 100.0
    image = Image.new("RGBA", (canvas, canvas), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)

    def pt(p):
        return (p[0] * scale, p[1] * scale)

    def box(b):
        return [b[0] * scale, b[1] * scale, b[2] * scale, b[3] * scale]

    def stroke(w):
        return int(round(max(w * scale, SUPER))) if w else 0

    for shape in shapes:
        kind = shape[0]
        if kind == "poly":
            _, fill, outline, width, points, *rest = shape
            if rest and size < rest[0]:
                continue
            draw.polygon([pt(p) for p in points], fill=_colour(fill),
                         outline=_colour(outline) if outline else None, width=stroke(width) if outline else 0)
        elif kind == "rrect":
            _, fill, outline, width, b, radius, *rest = shape
            if rest and size < rest[0]:
                continue
            draw.rounded_rectangle(box(b), radius=radius * scale, fill=_colour(fill),
                                   outline=_colour(outline) if outline else None, width=stroke(width) if outline else 0)
        elif kind == "ellipse":
            _, fill, outline, width, b, *rest = shape
            if rest and size < rest[0]:
                continue
            if fill and _colour(fill)[3] == 0:
                # a hole: clear what lies below, then draw its rim
                draw.ellipse(box(b), fill=(0, 0, 0, 0))
                fill = None
            draw.ellipse(box(b), fill=_colour(fill) if fill else None,
                         outline=_colour(outline) if outline else None, width=stroke(width) if outline else 0)
        elif kind == "line":
            _, colour, width, points, *rest = shape
            low = rest[0] if rest else 0
            high = rest[1] if len(rest) > 1 else 10 ** 6
            if size < low or size > high:
                continue
            draw.line([pt(p) for p in points], fill=_colour(colour), width=stroke(width))
        elif kind == "arc":
            _, colour, width, b, start, end, *rest = shape
            if rest and size < rest[0]:
                continue
            draw.arc(box(b), start, end, fill=_colour(colour), width=stroke(width))
        else:
            raise ValueError(kind)
    return image.resize((size, size), Image.BOX)


def _mask_rows(image):
    """AND mask: 1 where the pixel is transparent; rows bottom-up, padded to 32 bits."""
    width, height = image.size
    alpha = image.getchannel("A").load()
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            if alpha[x, y] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def _opaque_rgb(image):
    """RGB with transparent pixels black, as the AND mask expects under them."""
    rgb = Image.new("RGB", image.size, (0, 0, 0))
    solid = image.getchannel("A").point(lambda a: 255 if a >= 128 else 0)
    rgb.paste(image.convert("RGB"), mask=solid)
    return rgb, solid


def bmp_image(image, bits):
    """The image as an icon bitmap (BITMAPINFOHEADER, colour table, XOR rows, AND mask)."""
    width, height = image.size
    stride = ((width * bits + 31) // 32) * 4
    palette = b""
    pixels = bytearray()
    if bits == 32:
        data = image.load()
        for y in range(height - 1, -1, -1):
            for x in range(width):
                r, g, b, a = data[x, y]
                pixels += bytes((b, g, r, a))
    elif bits == 24:
        rgb, _ = _opaque_rgb(image)
        data = rgb.load()
        for y in range(height - 1, -1, -1):
            row = bytearray()
            for x in range(width):
                r, g, b = data[x, y]
                row += bytes((b, g, r))
            pixels += row + bytes(stride - len(row))
    else:
        colours = 1 << bits
        rgb, solid = _opaque_rgb(image)
        # index 0 stays black for the transparent pixels; the picture gets the others
        quant = rgb.quantize(colors=colours - 1, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        pal = quant.getpalette()[:3 * (colours - 1)]
        pal += [0] * (3 * (colours - 1) - len(pal))
        table = [(0, 0, 0)] + [tuple(pal[i:i + 3]) for i in range(0, len(pal), 3)]
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in table)
        qdata = quant.load()
        sdata = solid.load()
        for y in range(height - 1, -1, -1):
            indices = [qdata[x, y] + 1 if sdata[x, y] else 0 for x in range(width)]
            row = bytearray()
            if bits == 8:
                row += bytes(indices)
            else:
                for x in range(0, width, 2):
                    row.append((indices[x] << 4) | (indices[x + 1] if x + 1 < width else 0))
            pixels += row + bytes(stride - len(row))
    mask = _mask_rows(image)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, len(pixels) + len(mask), 0, 0,
                         (1 << bits) if bits <= 8 else 0, 0)
    return header + palette + bytes(pixels) + mask


def png_image(image):
    buffer = io.BytesIO()
    image.save(buffer, "PNG", optimize=True)
    return buffer.getvalue()


def write_ico(path, shapes, entries):
    """entries: (size, bits, as_png) in the order they go into the directory."""
    images = []
    for size, bits, as_png in entries:
        picture = render(shapes, size)
        data = png_image(picture) if as_png else bmp_image(picture, bits)
        images.append((size, bits, data))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, bits, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits,
                                 len(data), offset)
        offset += len(data)
        body += data
    with open(path, "wb") as handle:
        handle.write(directory + body)


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    res = os.path.join(root, "res")
    main_entries = [(s, b, s == 256 and b == 32) for b in (32, 24, 8, 4) for s in (256, 48, 32, 24, 16)]
    key_entries = [(256, 32, True)] + [(s, b, False) for b in (32, 8, 4) for s in (48, 32, 24, 16)]
    write_ico(os.path.join(res, "kolbrin.ico"), MAIN_SHAPES, main_entries)
    write_ico(os.path.join(res, "key.ico"), KEY_SHAPES, key_entries)
    if len(sys.argv) > 1:
        # preview sheet: every size of both icons side by side, magnified 4 times for small ones
        sheet = Image.new("RGBA", (1100, 560), (255, 255, 255, 255))
        x = 10
        for size in (16, 24, 32, 48):
            for row, shapes in enumerate((MAIN_SHAPES, KEY_SHAPES)):
                im = render(shapes, size)
                big = im.resize((size * 4, size * 4), Image.NEAREST)
                sheet.alpha_composite(big, (x, 10 + row * 200))
                sheet.alpha_composite(im, (x, 10 + row * 200 + size * 4 + 5))
            x += size * 4 + 10
        for row, shapes in enumerate((MAIN_SHAPES, KEY_SHAPES)):
            sheet.alpha_composite(render(shapes, 256).resize((180, 180), Image.LANCZOS), (x, 10 + row * 200))
        sheet.save(sys.argv[1])


if __name__ == "__main__":
    main()
