#!/usr/bin/python3
"""The dots a label printer would print, read back from its driver's bytes.

driver_raster.py decode JOB.bin OUT.png [DPI]   one PNG per label: OUT.png,
                                                OUT-2.png, ...
driver_raster.py runs JOB.bin ROW [LABEL]       dark/light run lengths along
                                                dot row ROW of a label
driver_raster.py page JOB.bin OUT.png DPI PPD MEDIA   as decode, but each label
                                                as its page lies (see page_dots)

As a module: labels(data) gives one numpy uint8 array per label (1 = dark
dot, row 0 the first line the printer gets); runs(row) the run lengths of a
row; driver(data) which driver made them; media(ppd, name) and page_dots()
turn a label into the page it was printed on. What is understood, with the byte layout each CUPS driver sends:

- ZPL (CUPS's Zebra driver): per label `~DGR:CUPS.GRF,total,bytes-per-row,`
  hex data, then `^XA ... ^XGR:CUPS.GRF ... ^XZ`. The hex data is run-length
  compressed: G..Y repeat the next hex digit 1..19 times, g..z add 20..400,
  `,` ends the row with zeros, `!` with ones, `:` repeats the row before.
- DYMO (CUPS's DYMO driver): ESC commands; `ESC D n` bytes a line, SYN and
  n bytes a line, `ESC f 1 n` n blank lines, `ESC E` ends a label.
- Brother QL (ptouch-driver): `ESC i` commands, raster lines `g 0 n` and n
  PackBits bytes (or `G lo hi` for the 2-byte length) of 90 bytes, `Z` a
  blank line, FF or control-Z ends a label. The head's first byte is the
  label's right edge, so each line is turned round to read left to right.
Anything else fails with the offset, so a changed driver is noticed.
"""
import math
import re
import sys
import zlib
import struct

import numpy as np


def _bits(rows, width_bytes):
    raw = np.frombuffer(b''.join(rows), dtype=np.uint8).reshape(-1, width_bytes)
    return np.unpackbits(raw, axis=1)


def _zpl_rows(hexdata, width_bytes):
    digits = width_bytes * 2
    rows, row, count = [], [], 0
    for ch in hexdata:
        if 'G' <= ch <= 'Y':
            count += ord(ch) - ord('G') + 1
        elif 'g' <= ch <= 'z':
            count += (ord(ch) - ord('g') + 1) * 20
        elif ch == ':':
            rows.append(rows[-1] if rows else bytes(width_bytes))
            continue
        elif ch in ',!':
            row += ['0' if ch == ',' else 'F'] * (digits - len(row))
        elif ch in '0123456789ABCDEF':
            row += [ch] * max(count, 1)
            count = 0
        elif ch in '\r\n':
            continue
        else:
            raise ValueError(f'ZPL graphic: unexpected {ch!r}')
        if len(row) > digits:
            raise ValueError('ZPL graphic: a row longer than its width')
        if len(row) == digits:
            rows.append(bytes.fromhex(''.join(row)))
            row = []
    return rows


def zpl_labels(data):
    text = data.decode('ascii')
    found = re.findall(r'~DG[^,]*,(\d+),(\d+),([^~^]*)', text)
    if not found or text.count('^XG') != len(found):
        raise ValueError('ZPL: no ~DG graphic, or not one ^XG for each')
    labels = []
    for total, width, hexdata in found:
        rows = _zpl_rows(hexdata, int(width))
        if len(rows) * int(width) != int(total):
            raise ValueError(f'ZPL graphic: {len(rows)} rows of {width} bytes, not {total} bytes')
        labels.append(_bits(rows, int(width)))
    return labels


def dymo_labels(data):
    labels, rows, width, i = [], [], None, 0
    while i < len(data):
        c = data[i]
        if c == 0x16:
            rows.append(data[i + 1:i + 1 + width])
            i += 1 + width
        elif c == 0x1b:
            cmd = data[i + 1]
            if cmd == ord('D'):
                width = data[i + 2]
                i += 3
            elif cmd == ord('f'):
                rows += [bytes(width)] * data[i + 3]
                i += 4
            elif cmd == ord('L'):
                i += 4
            elif cmd == ord('q'):
                i += 3
            elif cmd == ord('E'):
                labels.append(_bits(rows, width))
                rows = []
                i += 2
            elif cmd in b'\x1b@ehi':
                i += 1 if cmd == 0x1b else 2
            else:
                raise ValueError(f'DYMO: unknown ESC {cmd:#x} at {i}')
        else:
            raise ValueError(f'DYMO: unexpected byte {c:#x} at {i}')
    return labels


def _packbits(data, i, n):
    out, end = bytearray(), i + n
    while i < end:
        k = struct.unpack('b', data[i:i + 1])[0]
        if k >= 0:
            out += data[i + 1:i + 2 + k]
            i += 2 + k
        elif k != -128:
            out += data[i + 1:i + 2] * (1 - k)
            i += 2
        else:
            i += 1
    return bytes(out)


def ql_labels(data, width=90):
    labels, rows, packed, i = [], [], False, 0
    escapes = {ord('S'): 0, ord('z'): 10, ord('K'): 1, ord('A'): 1, ord('M'): 1,
               ord('d'): 2, ord('R'): 1, ord('a'): 1, ord('U'): 15}
    while i < len(data):
        c = data[i]
        if c == 0 and not rows and not labels:
            i += 1
        elif c == 0x1b and data[i + 1] == ord('@'):
            i += 2
        elif c == 0x1b and data[i + 1] == ord('i') and data[i + 2] in escapes:
            i += 3 + escapes[data[i + 2]]
        elif c == ord('M'):
            packed = data[i + 1] == 2
            i += 2
        elif c in b'gG':
            n = data[i + 2] | data[i + 1] << 8 if c == ord('g') else data[i + 1] | data[i + 2] << 8
            line = _packbits(data, i + 3, n) if packed else data[i + 3:i + 3 + n]
            if len(line) != width:
                raise ValueError(f'QL: a raster line of {len(line)} bytes at {i}')
            rows.append(line)
            i += 3 + n
        elif c == ord('Z'):
            rows.append(bytes(width))
            i += 1
        elif c in b'\x0c\x1a':
            labels.append(_bits(rows, width)[:, ::-1] if rows else np.zeros((0, width * 8), np.uint8))
            rows = []
            i += 1
        else:
            raise ValueError(f'QL: unexpected byte {c:#x} at {i}')
    return labels


def labels(data):
    """One array of dots per label, whichever driver made the bytes."""
    return {'zpl': zpl_labels, 'dymo': dymo_labels, 'ql': ql_labels}[driver(data)](data)


def driver(data):
    """'zpl', 'dymo' or 'ql': the driver whose bytes data are."""
    if data.lstrip().startswith(b'~DG'):
        return 'zpl'
    if data.startswith(b'\x1b\x1b'):
        return 'dymo'
    if data.startswith(b'\0') or data.startswith(b'\x1b@'):
        return 'ql'
    raise ValueError('not a job of the ZPL, DYMO or Brother QL driver')


def media(ppd, name):
    """(width, height, (left, bottom, right, top)) in points: a job's medium
    and its imageable area, from the queue's PPD. name is a PPD size name or
    Custom.WxH (points, or an mm/cm/in suffix), whose margins are HWMargins."""
    text = open(ppd, encoding='latin-1').read()

    def numbers(key, size=r'\S*?'):
        m = re.search(rf'^\*{key}\s*{size}(?:/[^:]*)?:\s*"?([-\d. ]+)"?\s*$', text, re.M)
        if not m:
            raise ValueError(f'{ppd}: no {key} {size}'.strip())
        return [float(v) for v in m.group(1).split()]
    custom = re.fullmatch(r'Custom\.([\d.]+)x([\d.]+)(mm|cm|in|)', name)
    if custom:
        unit = {'mm': 72 / 25.4, 'cm': 72 / 2.54, 'in': 72, '': 1}[custom.group(3)]
        w, h = float(custom.group(1)) * unit, float(custom.group(2)) * unit
        left, bottom, right, top = numbers('HWMargins')
        return w, h, (left, bottom, w - right, h - top)
    w, h = numbers('PaperDimension', re.escape(name))
    return w, h, tuple(numbers('ImageableArea', re.escape(name)))


def page_dots(dots, kind, page, dpi):
    """A label's dots as its page lies: dot (0, 0) the page's top-left
    corner, ceil(size * dpi / 72) dots each way, strips the driver does not
    print light. page is media()'s answer. The drivers send the imageable
    area only: ZPL and DYMO from its top-left corner (DYMO stops at the
    last dark line), Brother QL those lines set against the far end of its
    head (720 dots, the first byte there), short of it by the right margin
    and by the fraction of a dot the imageable width has over whole dots."""
    w, h, (left, bottom, right, top) = page
    d = dpi / 72
    out = np.zeros((math.ceil(h * d - 1e-6), math.ceil(w * d - 1e-6)), np.uint8)
    x0, y0 = round(left * d), round((h - top) * d)
    iw, ih = math.ceil((right - left) * d - 1e-6), math.ceil((top - bottom) * d - 1e-6)
    col = dots.shape[1] - round((w - right) * d) - int((right - left) * d) if kind == 'ql' else 0
    area = dots[:ih, col:col + iw]
    area = area[:out.shape[0] - y0, :out.shape[1] - x0]
    out[y0:y0 + area.shape[0], x0:x0 + area.shape[1]] = area
    return out


def runs(row):
    """[(dark, length), ...] along a row of dots, from its left end."""
    edges = np.flatnonzero(np.diff(row)) + 1
    bounds = np.concatenate(([0], edges, [len(row)]))
    return [(int(row[a]), int(b - a)) for a, b in zip(bounds[:-1], bounds[1:])]


def write_png(dots, path, dpi):
    """A 1-bit PNG, dark dots black, with its resolution recorded."""
    h, w = dots.shape
    packed = np.packbits(1 - dots, axis=1)
    raw = b''.join(b'\0' + r.tobytes() for r in packed)

    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body
                + struct.pack('>I', zlib.crc32(kind + body)))
    ppm = round(dpi / 0.0254)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n'
                + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 1, 0, 0, 0, 0))
                + chunk(b'pHYs', struct.pack('>IIB', ppm, ppm, 1))
                + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))


def main(argv):
    if len(argv) >= 3 and argv[0] == 'decode':
        pages = labels(open(argv[1], 'rb').read())
        stem = argv[2][:-4] if argv[2].endswith('.png') else argv[2]
        for n, dots in enumerate(pages, 1):
            path = f'{stem}.png' if n == 1 else f'{stem}-{n}.png'
            write_png(dots, path, float(argv[3]) if len(argv) > 3 else 203)
            print(f'{path}: {dots.shape[1]} x {dots.shape[0]} dots')
    elif len(argv) >= 3 and argv[0] == 'runs':
        pages = labels(open(argv[1], 'rb').read())
        dots = pages[int(argv[3]) - 1 if len(argv) > 3 else 0]
        print(' '.join(f'{"#" if d else "."}{n}' for d, n in runs(dots[int(argv[2])])))
    elif len(argv) == 6 and argv[0] == 'page':
        data, dpi = open(argv[1], 'rb').read(), float(argv[3])
        page = media(argv[4], argv[5])
        stem = argv[2][:-4] if argv[2].endswith('.png') else argv[2]
        for n, dots in enumerate(labels(data), 1):
            path = f'{stem}.png' if n == 1 else f'{stem}-{n}.png'
            dots = page_dots(dots, driver(data), page, dpi)
            write_png(dots, path, dpi)
            print(f'{path}: {dots.shape[1]} x {dots.shape[0]} dots')
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main(sys.argv[1:])
