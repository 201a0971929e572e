#!/usr/bin/python3
"""Prints a data file with diroze through a label printer driver and checks the dots.

driver_print_check.py DIROZE QUEUE DATAFILE (--label WxH | --preset NAME)
                      [--codepage N] [--dpi N] [--printer-ini FILE] [--timeout S] [--png DIR]

Runs `DIROZE DATAFILE -print` with LPDEST=QUEUE in a fresh HOME (--label
writes a one-label preset of W x H mm there; --preset uses a preset of the
installed defaults; --printer-ini puts FILE there as the user's
printer.ini), waits for the job the sink of scripts/start-services.sh
writes into /var/spool/diroze-sink/QUEUE, reads its dots back with
driver_raster.py and checks every symbol of the data file:
- it is found and decodes to its data: linear kinds with zbarimg and
  zxing-cpp, the 2D kinds with zxing-cpp;
- along a dot row through it every bar and space is a whole number of
  modules, each module a whole number of dots (the gain of a bar is its
  width less the nearest whole number of modules; it must be 0);
- its quiet zone is light: 10 modules each side of a linear symbol along
  that row, 4 round a QR symbol, 2 round Data Matrix and PDF417.
Prints one table row per symbol and exits with 1 when a check failed, 2 when
the job could not be printed or read. The resolution is the queue's default
Resolution, or --dpi for a driver that has only one.
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
import zxingcpp

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import driver_raster  # noqa: E402

SINK = '/var/spool/diroze-sink'
LINEAR = {'EAN', 'C128', 'GS1', 'C39', 'ITF14', 'UPCA', 'UPCE'}
QUIET = {'QR': 4, 'DM': 2, 'GS1DM': 2, 'PDF417': 2}
PRESET = '''<?xml version="1.0" encoding="UTF-8"?>
<diroze><predvolby><predvolba nazev="driver-check" vybrana="true">
<papir format="66" na-sirku="false" sirka="{w}" vyska="{h}" okraj-x="1" okraj-y="1"/>
<stitek pocet-x="1" pocet-y="1" mezera-x="0" mezera-y="0" okraj-x="1" okraj-y="1"/>
<pismo font="Arial" velikost="6" mezera-x="0"/>
</predvolba></predvolby></diroze>
'''


def symbols(path, codepage):
    """(kind, data as a reader gives it back) for each label with a barcode."""
    text = open(path, 'rb').read().decode('utf-8' if codepage == 65001 else f'cp{codepage}')
    found = []
    for line in text.splitlines():
        field = re.split(r'(?<!\\);', line)[0]
        if not field or field.startswith('@'):
            continue
        kind, sep, data = field.partition(':')
        if not sep:
            kind, data = 'EAN', field.zfill(13 if len(field) > 8 else 8)
        data = re.sub(r'\\(x[0-9A-Fa-f]{2}|G|;|\\)', lambda m: {
            'G': '\x1d', ';': ';', '\\': '\\'}.get(m.group(1)) or chr(int(m.group(1)[1:], 16)), data)
        found.append((kind.upper(), data))
    return found


def gtin_check(digits):
    total = sum(int(c) * (3 if i % 2 == 0 else 1) for i, c in enumerate(reversed(digits)))
    return str(-total % 10)


def upca_of_upce(digits):
    """The UPC-A number (without its check digit) a UPC-E number stands for."""
    ns, d = digits[0], digits[1:7]
    body = {'0': d[:2] + d[5] + '0000' + d[2:5], '1': d[:2] + d[5] + '0000' + d[2:5],
            '2': d[:2] + d[5] + '0000' + d[2:5], '3': d[:3] + '00000' + d[3:5],
            '4': d[:4] + '00000' + d[4]}.get(d[5], d[:5] + '0000' + d[5])
    return ns + body


def same(kind, want, got):
    """Whether a reader's text is the data, allowing what the kind adds:
    the check digit, leading zeros, UPC-E read as its UPC-A number."""
    if kind in ('GS1', 'GS1DM'):
        return re.sub(r'[()\x1d]', '', want) == re.sub(r'[()\x1d]', '', got)
    if kind in ('UPCA', 'UPCE', 'ITF14'):
        size = {'UPCA': 11, 'UPCE': 7, 'ITF14': 13}[kind]
        whole = want if len(want) > size else want + gtin_check(upca_of_upce(want) if kind == 'UPCE' else want)
        if kind == 'UPCE' and len(got) > 8:
            whole = upca_of_upce(whole) + whole[7]
        return got.lstrip('0') == whole.lstrip('0')
    return want == got


def job_dpi(queue, given):
    options = subprocess.run(['lpoptions', '-p', queue, '-l'], capture_output=True, text=True).stdout
    m = re.search(r'^Resolution/[^:]*:.*\*(\d+)dpi', options, re.M)
    if m:
        return int(m.group(1))
    if given:
        return given
    sys.exit(f'driver_print_check: {queue} has no default Resolution; give --dpi')


def print_job(args):
    """The bytes of the job diroze prints, once the sink has all of them."""
    spool = os.path.join(SINK, args.queue)
    before = set(glob.glob(os.path.join(spool, 'job-*.bin')))
    with tempfile.TemporaryDirectory() as home:
        config = os.path.join(home, 'config')
        os.makedirs(os.path.join(config, 'diroze'))
        command = [args.diroze, os.path.abspath(args.data), '-print']
        if args.printer_ini:
            shutil.copy(args.printer_ini, os.path.join(config, 'diroze', 'printer.ini'))
        if args.label:
            w, h = args.label.lower().split('x')
            with open(os.path.join(config, 'diroze', 'diroze.xml'), 'w') as f:
                f.write(PRESET.format(w=w, h=h))
        else:
            command.append(f'-preset:{args.preset}')
        if args.codepage != 852:
            command.append(f'-codePage:{args.codepage}')
        env = dict(os.environ, LPDEST=args.queue, PRINTER=args.queue, HOME=home,
                   XDG_CONFIG_HOME=config, QT_QPA_PLATFORM='offscreen')
        run = subprocess.run(command, env=env, capture_output=True, text=True, timeout=120)
        if run.returncode:
            sys.exit(f'driver_print_check: diroze exited with {run.returncode}: {run.stderr.strip()}')
    deadline = time.monotonic() + args.timeout
    while not (new := set(glob.glob(os.path.join(spool, 'job-*.bin'))) - before):
        if time.monotonic() > deadline:
            sys.exit(f'driver_print_check: no job reached {spool} within {args.timeout} s '
                     f'(is the sink of scripts/start-services.sh running? lpstat -o {args.queue})')
        time.sleep(0.5)
    path = min(new, key=lambda p: int(re.search(r'job-(\d+)', p).group(1)))
    return path, open(path, 'rb').read()


def zbar(dots, dpi, directory, n):
    png = os.path.join(directory, f'label-{n}.png')
    driver_raster.write_png(dots, png, dpi)
    out = subprocess.run(['zbarimg', '-q', png], capture_output=True).stdout
    return png, [line.split(':', 1)[1] for line in out.decode('utf-8', 'replace').splitlines()]


def module_and_gains(dark, light):
    """The module in dots from the narrowest bar and space (one module each,
    the bar wider by the gain, the space narrower), and each run's gain."""
    m = (min(dark) + min(light)) / 2
    g = (min(dark) - min(light)) / 2
    bars = [b - m * round((b - g) / m) for b in dark]
    spaces = [s - m * round((s + g) / m) for s in light]
    return m, bars, spaces


def check_linear(dots, box):
    """Module, bar gains, space errors and the two quiet zones in modules."""
    (x0, x1), (y0, y1) = box
    row = driver_raster.runs(dots[(y0 + y1) // 2])
    starts = np.cumsum([0] + [n for _, n in row])
    inside = [i for i, (d, _) in enumerate(row) if d and x0 - 2 <= starts[i] <= x1 + 2]
    first, last = inside[0], inside[-1]
    dark = [n for d, n in row[first:last + 1] if d]
    light = [n for d, n in row[first:last + 1] if not d]
    m, bars, spaces = module_and_gains(dark, light)
    quiet = [row[first - 1][1] if first else 0, row[last + 1][1] if last + 1 < len(row) else 0]
    return m, bars, spaces, [q / m for q in quiet]


def check_matrix(dots, box):
    """The same for a 2D symbol: runs along its rows; the quiet zone is the
    narrowest light margin round its dark dots, up to 8 modules looked at."""
    (x0, x1), (y0, y1) = box
    ys, xs = np.nonzero(dots[max(y0 - 3, 0):y1 + 4, max(x0 - 3, 0):x1 + 4])
    top, left = ys.min() + max(y0 - 3, 0), xs.min() + max(x0 - 3, 0)
    bottom, right = ys.max() + max(y0 - 3, 0), xs.max() + max(x0 - 3, 0)
    dark, light = [], []
    for y in range(top, bottom + 1):
        row = driver_raster.runs(dots[y, left:right + 1])
        dark += [n for d, n in row if d]
        light += [n for d, n in row[1:-1] if not d]
    m, bars, spaces = module_and_gains(dark, light)
    reach = int(8 * m)
    margin = 0
    while margin < reach:
        a, b = top - margin - 1, bottom + margin + 1
        c, e = left - margin - 1, right + margin + 1
        if a < 0 or c < 0 or b >= dots.shape[0] or e >= dots.shape[1]:
            break
        if dots[a, c:e + 1].any() or dots[b, c:e + 1].any() or dots[a:b + 1, c].any() or dots[a:b + 1, e].any():
            break
        margin += 1
    return m, bars, spaces, [margin / m]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('diroze')
    parser.add_argument('queue')
    parser.add_argument('data')
    layout = parser.add_mutually_exclusive_group(required=True)
    layout.add_argument('--label', help='one label of W x H mm a page, e.g. 50.8x25.4')
    layout.add_argument('--preset')
    parser.add_argument('--codepage', type=int, default=852)
    parser.add_argument('--dpi', type=int)
    parser.add_argument('--printer-ini')
    parser.add_argument('--timeout', type=float, default=60)
    parser.add_argument('--png', help='keep the labels as PNG files in this directory')
    args = parser.parse_args()

    want = symbols(args.data, args.codepage)
    dpi = job_dpi(args.queue, args.dpi)
    path, data = print_job(args)
    try:
        pages = driver_raster.labels(data)
    except ValueError as e:
        sys.exit(f'driver_print_check: {path}: {e}')
    directory = args.png or tempfile.mkdtemp()
    os.makedirs(directory, exist_ok=True)
    found = []
    for n, dots in enumerate(pages, 1):
        png, zbar_texts = zbar(dots, dpi, directory, n)
        for r in zxingcpp.read_barcodes(((1 - dots) * 255).astype(np.uint8)):
            p = r.position
            xs = [p.top_left.x, p.top_right.x, p.bottom_left.x, p.bottom_right.x]
            ys = [p.top_left.y, p.top_right.y, p.bottom_left.y, p.bottom_right.y]
            found.append((n, png, r.text, zbar_texts, dots, ((min(xs), max(xs)), (min(ys), max(ys)))))

    failed = False
    print(f'{path}: {len(pages)} label(s) at {dpi} dpi')
    print(f'{"kind":7} {"data":24} {"dots/mod":>8} {"zbar":>4} {"zxing":>5} '
          f'{"gain min/mean/max":>18} {"quiet (modules)":>15}  result')
    for kind, text in want:
        match = next((f for f in found if same(kind, text, f[2])), None)
        if not match:
            failed = True
            print(f'{kind:7} {text[:24]!s:24} {"":>8} {"":>4} {"no":>5} {"":>18} {"":>15}  FAIL: not read')
            continue
        found.remove(match)
        n, png, _, zbar_texts, dots, box = match
        linear = kind in LINEAR
        by_zbar = any(same(kind, text, z) for z in zbar_texts)
        m, bars, spaces, quiet = (check_linear if linear else check_matrix)(dots, box)
        need = 10 if linear else QUIET[kind]
        faults = []
        if linear and not by_zbar:
            faults.append('zbarimg does not read it')
        if m != int(m):
            faults.append(f'module {m} dots is not whole')
        if any(bars) or any(spaces):
            faults.append(f'{sum(1 for b in bars if b)} bars, {sum(1 for s in spaces if s)} spaces off the module grid')
        if min(quiet) < need:
            faults.append(f'quiet zone {min(quiet):.1f} < {need} modules')
        failed |= bool(faults)
        gains = f'{min(bars):+.0f}/{np.mean(bars):+.2f}/{max(bars):+.0f}'
        print(f'{kind:7} {text[:24]!s:24} {m:8g} {"yes" if by_zbar else "no":>4} {"yes":>5} '
              f'{gains:>18} {"/".join(f"{q:.1f}" for q in quiet):>15}  '
              f'{"FAIL: " + "; ".join(faults) if faults else "ok"} ({os.path.basename(png)})')
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
