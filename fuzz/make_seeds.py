#!/usr/bin/env python3
"""Writes the seed corpora of the library's fuzz targets.

The seeds are small programs and tables that reach the deep paths at once:
whole one-shot and streaming jobs, each conversion mode, bad handles, and
parameter tables of every segment type; small pictures of each format and
colour kind the tool reads; tone tables in both of the tool's forms. The
byte layouts follow the readers in api_sequence.cpp, tone_table.cpp and
tone_json.cpp; run this after changing those.

    python3 fuzz/make_seeds.py [--voved build/tools/voved/voved]

The JPEG seeds are written by the voved tool itself (from PPM seeds), so
they are made only when its path is given. jpeg_progressive, a 16 x 8
progressive JPEG, was written once with libjpeg's simple progression and is
kept as it is.
"""
import json
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# ---- api_sequence ---------------------------------------------------------

ALLOC, EXTENSION, FREE, HISTOGRAM, FEED, MARGE, CALCULATE, CORRECTION, \
    CORRECT_PICTURE, INIT, CORRECTION2, DRIVE, TERMINATE, ALIAS, FAIL = range(15)

# Handle choices: slots 0-3, aliases 4-5, null 6, dead 7, garbage 8, never
# allocated 9.
NULL, DEAD, GARBAGE, NEVER = 6, 7, 8, 9
# Layout choices: BGR, RGB, 5-5-5, a code no reader accepts.
BGR, RGB, W555, UNKNOWN = b'\x00', b'\x01', b'\x02', b'\x06'
# Step choices: the layout's own size, 4 bytes, the layout's size backwards,
# or any 16-bit step.
NATURAL, FOUR, BACKWARDS = b'\x00', b'\x02', b'\x03'


def raw_step(step):
    return b'\x06' + struct.pack('<h', step)


def u16(v):
    return struct.pack('<H', v & 0xFFFF)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def style(kind=0, low=12, high=238, cast_red=0, cast_blue=0, grain=8, seed=3):
    return bytes([kind, low, high, cast_red & 0xFF, cast_blue & 0xFF, grain, seed])


def alloc(slot):
    return bytes([ALLOC, slot])


def extension(h, mode, table=0, model=0):
    # table 0: none, 1: the built-in valid table; model 0: none.
    return bytes([EXTENSION, h]) + u32(mode) + bytes([table, model]) + u32(0)


def extension_with_model(h, mode, flags):
    return bytes([EXTENSION, h]) + u32(mode) + bytes([0, 3]) + u16(flags) + u32(0)


def feed(h, width, lines, layout=RGB, step=NATURAL, look=None):
    return bytes([FEED, h]) + layout + step + u16(width) + bytes([lines - 1]) + (look or style())


def calculate(h):
    return bytes([CALCULATE, h]) + u32(0)


def correct_picture(h, width, lines, layout=RGB, step=NATURAL, look=None):
    return bytes([CORRECT_PICTURE, h]) + layout + step + u16(width) + bytes([lines - 1, 1]) + \
        (look or style())


def init(h, width, lines, mode, output_width=0, scale=0):
    return bytes([INIT, h]) + u16(width) + u16(lines) + u16(output_width) + u16(scale) + u16(mode)


def drive(h, lines, layout=RGB, step=NATURAL, hue=0, level=0, look=None):
    # Count choice 2: the conversion's image width.
    return bytes([DRIVE, h]) + layout + step + bytes([2, lines - 1]) + u16(hue) + u16(level) + \
        (look or style())


def terminate(h):
    return bytes([TERMINATE, h])


def free(h):
    return bytes([FREE, h])


def marge(target, source):
    return bytes([MARGE, target, source])


def histogram(h, count, layout=RGB, step=NATURAL):
    # Count choice 1: a raw 16-bit count; pixels from the picture generator.
    return bytes([HISTOGRAM, h]) + layout + step + b'\x01' + u16(count) + bytes([0]) + style() + \
        bytes([0]) + bytes([0]) + u32(0)


def correction2(h, count, layout=RGB, step=NATURAL, hue=0, level=0, where=2):
    return bytes([CORRECTION2, h]) + layout + step + b'\x01' + u16(count) + bytes([0]) + style() + \
        bytes([0]) + bytes([where]) + u16(hue) + u16(level)


def prepared(h=0, width=160, lines=40, mode=0x8000):
    return alloc(h) + feed(h, width, lines) + extension(h, mode) + calculate(h)


API_SEEDS = {
    'one_shot': prepared() + correct_picture(0, 160, 40) + free(0),
    'one_shot_555_backwards': prepared() + correct_picture(0, 120, 12, W555, BACKWARDS) + free(0),
    'tone_table_and_correction': alloc(0) + feed(0, 160, 40) + extension(0, 0xA000, table=1) +
    calculate(0) + correct_picture(0, 160, 8, BGR, FOUR) + free(0),
    'merged_statistics': alloc(0) + alloc(1) + feed(0, 100, 20) + feed(1, 100, 20) +
    marge(0, 1) + marge(0, 1) + extension(0, 0x8000) + calculate(0) + free(0),
    'stream_sharpen': prepared() + init(0, 160, 12, 0x0001) + drive(0, 12, level=1) +
    terminate(0) + free(0),
    'stream_sharpen_enlarge': prepared() + init(0, 60, 6, 0x0001, output_width=40, scale=100) +
    drive(0, 6) + terminate(0) + free(0),
    'stream_sharpen_reduce': prepared() + init(0, 90, 9, 0x0005, output_width=30, scale=300) +
    drive(0, 9, hue=146) + terminate(0) + free(0),
    'stream_sharpen_correct': prepared() + init(0, 160, 7, 0x8001) + drive(0, 7, level=-1) +
    terminate(0) + free(0),
    'stream_denoise_correct': prepared() + init(0, 160, 9, 0xC000) + drive(0, 9) +
    terminate(0) + free(0),
    'stream_denoise_three_lines': prepared() + init(0, 64, 3, 0x4000) + drive(0, 3, BGR, FOUR) +
    terminate(0) + free(0),
    'stream_tone': prepared() + init(0, 100, 5, 0x8004) + drive(0, 5, hue=90) + terminate(0) +
    free(0),
    'stream_pass_through_table': alloc(0) + feed(0, 160, 40) + extension(0, 0xA000, table=1) +
    calculate(0) + init(0, 160, 4, 0xA000) + drive(0, 4) + terminate(0) + free(0),
    'stream_out_of_order': prepared() + init(0, 50, 5, 0x4001) + correction2(0, 50) +
    correction2(0, 40, W555) + drive(0, 5) + correction2(0, 50) + init(0, 50, 5, 0x0004) +
    correction2(0, 51) + free(0),
    'bad_handles': alloc(0) + bytes([ALIAS, 0]) + free(4) + free(0) + calculate(0) +
    marge(0, 0) + marge(DEAD, GARBAGE) + extension(NULL, 0x8000) + histogram(NEVER, 10) +
    correction2(DEAD, 10) + terminate(GARBAGE) + free(NEVER),
    'allocation_failures': bytes([FAIL, 1]) + alloc(0) + alloc(0) + feed(0, 80, 30) +
    extension(0, 0xE001) + bytes([FAIL, 2]) + calculate(0) + bytes([FAIL, 3]) +
    init(0, 80, 6, 0x4001) + bytes([FAIL, 1]) + correct_picture(0, 80, 3) + free(0),
    'plug_in_flags': alloc(0) + feed(0, 160, 40) + extension_with_model(0, 0xE000, 0x100A) +
    calculate(0) + correct_picture(0, 160, 4) + free(0),
    'odd_runs': alloc(0) + histogram(0, 0) + histogram(0, 40000, RGB, raw_step(-2)) +
    histogram(0, 7, UNKNOWN) + prepared(1) + correct_picture(1, 1, 3) + free(0) + free(1),
}

# ---- tone_table -------------------------------------------------------------


def decimal(mantissa, exponent):
    m = mantissa & 0xFFFFFF
    return bytes([(m >> 16) & 0xFF, (m >> 8) & 0xFF, m & 0xFF, exponent & 0xFF])


def tone_table(weight, low, mid, zones):
    """zones: [(zoneLimit, [(scoreLimit, gamma100, [segment bytes...]), ...]), ...]"""
    entries = [e for _, es in zones for e in es]
    body = bytes([weight, low, mid, len(zones)])
    body += bytes(len(es) for _, es in zones)
    body += bytes(len(e[2]) for e in entries)
    body += bytes(limit for limit, _ in zones)
    for score, gamma, _ in entries:
        body += bytes([score, gamma])
    for _, _, segments in entries:
        for s in segments:
            body += s
    length = 2 + len(body) + 1
    table = u16(length) + body
    return table + bytes([sum(table) & 0xFF])


def gamma_segment(share):
    return bytes([share, 1])


def knee_segment(share, knee):
    return bytes([share, 2, knee])


def polynomial_segment(share, coefficients):
    return bytes([share, 3]) + b''.join(decimal(m, e) for m, e in coefficients)


# Steering byte: bits 0-1 the picture family, bit 2 with the colour
# correction; then seven bytes that shift the picture.
def tone_seed(family, correct, table, shift=b'\x00' * 7):
    return bytes([family | (4 if correct else 0)]) + shift + table


SMOOTH = [(0, 0), (12, -1), (-4, -3), (0, 0), (0, 0), (0, 0)]  # 1.2 x - 0.0004 x^2
TONE_SEEDS = {
    'gamma': tone_seed(0, False, tone_table(10, 60, 180, [(255, [(255, 80, [gamma_segment(255)])])])),
    'gamma_corrected': tone_seed(0, True, tone_table(10, 60, 180,
                                                     [(255, [(255, 125, [gamma_segment(255)])])])),
    'knee': tone_seed(1, False, tone_table(20, 50, 170, [(255, [(255, 70, [knee_segment(255, 64)])])])),
    'polynomial': tone_seed(2, True, tone_table(5, 40, 200, [
        (255, [(255, 100, [polynomial_segment(255, SMOOTH)])])])),
    'zones_and_entries': tone_seed(3, False, tone_table(10, 64, 192, [
        (200, [(30, 90, [gamma_segment(20), knee_segment(255, 40)]),
               (255, 110, [gamma_segment(255)])]),
        (255, [(50, 80, [knee_segment(60, 100), polynomial_segment(255, SMOOTH)]),
               (255, 120, [])]),
    ])),
    'bad_checksum': bytes([8]) + b'\x00' * 7 + tone_table(10, 60, 180, [
        (255, [(255, 80, [gamma_segment(255)])])])[:-1] + b'\x00',
    'truncated': bytes([16]) + b'\x00' * 7 + u16(200) + bytes([10, 60, 180, 3, 9, 9, 9]),
}


def write(directory, seeds):
    os.makedirs(directory, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(directory, name), 'wb') as f:
            f.write(data)


# ---- image_readers -----------------------------------------------------------


def pixels(width, height, channels, depth=8):
    """Rows of a smooth colour picture, `channels` samples per pixel."""
    rows = []
    for y in range(height):
        row = b''
        for x in range(width):
            for c in range(channels):
                v = (x * 37 + y * 53 + c * 71) % 256
                row += struct.pack('>H', v * 257) if depth == 16 else bytes([v])
        rows.append(row)
    return rows


def pnm(kind, width, height, maxval=255):
    channels = 3 if kind in ('P3', 'P6') else 1
    depth = 16 if maxval > 255 else 8
    head = f'{kind}\n# seed\n{width} {height}\n{maxval}\n'.encode()
    rows = pixels(width, height, channels, depth)
    if kind in ('P5', 'P6'):
        return head + b''.join(rows)
    values = []
    for row in rows:
        step = 2 if depth == 16 else 1
        values += [str(int.from_bytes(row[i:i + step], 'big')) for i in range(0, len(row), step)]
    return head + ' '.join(values).encode() + b'\n'


def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + \
        struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(width, height, colour_type, depth=8, palette=None, extra=b''):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    if colour_type == 3:
        rows = [bytes((x + y) % len(palette) for x in range(width)) for y in range(height)]
    else:
        rows = pixels(width, height, channels, depth)
    raw = b''.join(b'\x00' + row for row in rows)
    out = b'\x89PNG\r\n\x1a\n'
    out += png_chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, depth, colour_type, 0, 0, 0))
    if palette:
        out += png_chunk(b'PLTE', b''.join(bytes(c) for c in palette))
    out += extra
    out += png_chunk(b'IDAT', zlib.compress(raw))
    return out + png_chunk(b'IEND', b'')


def exif_with_model(model):
    """TIFF bytes whose IFD0 holds the camera model."""
    text = model.encode() + b'\x00'
    ifd = struct.pack('<H', 1) + struct.pack('<HHII', 0x0110, 2, len(text), 26) + \
        struct.pack('<I', 0)
    return b'II*\x00' + struct.pack('<I', 8) + ifd + text


def jpeg_seeds(voved):
    """JPEGs written by the tool from PPM and PGM seeds, one with EXIF data."""
    seeds = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name, data in (('colour', pnm('P6', 16, 8)), ('grey', pnm('P5', 8, 8))):
            src = os.path.join(tmp, name + '.ppm' if name == 'colour' else name + '.pgm')
            dst = os.path.join(tmp, name + '.jpg')
            with open(src, 'wb') as f:
                f.write(data)
            subprocess.run([voved, 'correct', src, '-o', dst, '--quality', '50'], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(dst, 'rb') as f:
                seeds['jpeg_' + name] = f.read()
    tiff = exif_with_model('Seed Camera flags=0x0010')
    app1 = b'Exif\x00\x00' + tiff
    segment = b'\xff\xe1' + struct.pack('>H', len(app1) + 2) + app1
    seeds['jpeg_exif'] = seeds['jpeg_colour'][:2] + segment + seeds['jpeg_colour'][2:]
    return seeds


IMAGE_SEEDS = {
    'ppm_binary': pnm('P6', 5, 3),
    'pgm_binary': pnm('P5', 5, 3),
    'ppm_plain': pnm('P3', 3, 2),
    'pgm_plain': pnm('P2', 3, 2),
    'ppm_16bit': pnm('P6', 3, 2, 65535),
    'ppm_sample_above_maxval': pnm('P6', 2, 2, 1000),
    'png_rgb': png(5, 3, 2),
    'png_rgba': png(4, 4, 6),
    'png_grey': png(4, 3, 0),
    'png_grey_alpha': png(3, 3, 4),
    'png_16bit': png(3, 2, 2, 16),
    'png_palette': png(4, 2, 3, palette=[(255, 0, 0), (0, 128, 255), (30, 30, 30)]),
    'png_exif': png(4, 2, 2, extra=png_chunk(b'eXIf', exif_with_model('Seed PNG camera'))),
}

# ---- tone_json -------------------------------------------------------------------
# Byte 0: even for the JSON form, odd for the binary form; bit 1 asks for the
# colour correction too.


def tone_json_seeds():
    with open(os.path.join(HERE, '..', 'samples', 'tone-table.json'), 'rb') as f:
        sample = f.read()
    small = json.dumps({
        'shadowWeight': 10, 'shadowBandEnd': 60, 'midBandEnd': 180,
        'zones': [{'highlightBelow': 255, 'entries': [
            {'scoreBelow': 255, 'gamma': 0.8, 'segments': [
                {'shadowShareBelow': 40, 'curve': 'knee', 'knee': 64},
                {'shadowShareBelow': 255, 'curve': 'gamma'}]}]}]}).encode()
    return {
        'json_sample': b'\x00' + sample,
        'json_small': b'\x02' + small,
        'json_broken': b'\x00' + small[:40],
        'binary_gamma': b'\x01' + TONE_SEEDS['gamma'][8:],
        'binary_polynomial': b'\x03' + TONE_SEEDS['polynomial'][8:],
        'binary_zones': b'\x01' + TONE_SEEDS['zones_and_entries'][8:],
    }


write(os.path.join(HERE, 'corpus', 'api_sequence'), API_SEEDS)
write(os.path.join(HERE, 'corpus', 'tone_table'), TONE_SEEDS)
images = dict(IMAGE_SEEDS)
if '--voved' in sys.argv:
    images.update(jpeg_seeds(sys.argv[sys.argv.index('--voved') + 1]))
write(os.path.join(HERE, 'corpus', 'image_readers'), images)
write(os.path.join(HERE, 'corpus', 'tone_json'), tone_json_seeds())
