#!/usr/bin/python3
"""Prints a data file with diroze through a label printer driver and checks the dots.

driver_print_check.py DIROZE QUEUE DATAFILE (--label WxH | --preset NAME)
                      [--codepage N] [--dpi N] [--printer-ini FILE]
                      [--lpoptions TEXT] [--timeout S] [--png DIR]

Runs `DIROZE DATAFILE -print` with LPDEST=QUEUE in a fresh HOME (--label
writes a one-label preset of W x H mm there; --preset uses a preset of the
installed defaults; --printer-ini puts FILE there as the user's
printer.ini; --lpoptions TEXT, lines split by \\n, is the user's
~/.cups/lpoptions), waits for the job the sink of scripts/start-services.sh
writes into /var/spool/diroze-sink/QUEUE, reads its dots back with
driver_raster.py as its pages lie (the medium the job asked the spooler for,
its margins from the queue's PPD), then runs `DIROZE DATAFILE -pdf:FILE`
the same way, and checks:
- each label's raster is its page at the expected resolution (+-1 dot),
  and the page is the PDF's page;
- every symbol of the data file is found and decodes to its data: linear
  kinds with zbarimg and zxing-cpp, the 2D kinds with zxing-cpp;
- along a dot row through it every bar and space is a whole number of
  modules, each module a whole number of dots (the gain of a bar is its
  width less the nearest whole number of modules; it must be 0);
- its quiet zone is light, paper the driver does not print counted as
  light: 10 modules each side of a linear symbol along that row, 4 round a
  QR symbol, 2 round Data Matrix and PDF417;
- its left edge (and a 2D symbol's top) lies within 0.25 mm of the PDF's,
  moved by the queue's printer.ini OffsetX/OffsetY in whole dots; its far
  edges follow from the whole-dot module the checks above measure.
Prints one table row per symbol and exits with 1 when a check failed, 2 when
the job could not be printed or read, 3 when a queue, the sink or a tool is
missing. The resolution is the queue's Resolution as the user's lpoptions
and the PPD set it, or --dpi for a driver that has only one.
"""
import argparse
import configparser
import fcntl
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import numpy as np
    import zxingcpp
except ImportError as e:
    print(f'driver_print_check: {e} (Debian\'s python3-numpy and python3-zxing-cpp)')
    sys.exit(3)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import driver_raster  # noqa: E402

SINK = '/var/spool/diroze-sink'
SCALE = 3  # the PDF's pages are read at this many times the printer's dpi
LINEAR = {'EAN', 'C128', 'GS1', 'C39', 'ITF14', 'UPCA', 'UPCE'}
QUIET = {'QR': 4, 'DM': 2, 'GS1DM': 2, 'PDF417': 2}
PRESET = '''<?xml version="1.0" encoding="UTF-8"?>
<diroze><predvolby><predvolba nazev="driver-check" vybrana="true">
<papir format="66" na-sirku="false" sirka="{w}" vyska="{h}" okraj-x="1" okraj-y="1"/>
<stitek pocet-x="1" pocet-y="1" mezera-x="0" mezera-y="0" okraj-x="1" okraj-y="1"/>
<pismo font="Arial" velikost="6" mezera-x="0"/>
</predvolba></predvolby></diroze>
'''


def stop(message):
    """The job could not be printed or read: exit 2 with why."""
    print(message, file=sys.stderr)
    sys.exit(2)


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


def job_dpi(queue, given, env):
    """The queue's Resolution as the user's lpoptions and the PPD set it."""
    options = subprocess.run(['lpoptions', '-p', queue, '-l'], env=env, capture_output=True, text=True).stdout
    m = re.search(r'^Resolution/[^:]*:.*\*(\d+)dpi', options, re.M)
    if m:
        return int(m.group(1))
    if given:
        return given
    stop(f'driver_print_check: {queue} has no default Resolution; give --dpi')


def setup(args, home):
    """The environment and command line of diroze in a fresh HOME."""
    config = os.path.join(home, 'config')
    os.makedirs(os.path.join(config, 'diroze'))
    os.makedirs(os.path.join(home, '.cups'))
    command = [args.diroze, os.path.abspath(args.data)]
    if args.printer_ini:
        shutil.copy(args.printer_ini, os.path.join(config, 'diroze', 'printer.ini'))
    if args.lpoptions:
        with open(os.path.join(home, '.cups', 'lpoptions'), 'w') as f:
            f.write(args.lpoptions.replace('\\n', '\n') + '\n')
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
    return env, command


def diroze(command, env):
    run = subprocess.run(command, env=env, capture_output=True, text=True, timeout=120)
    if run.returncode:
        stop(f'driver_print_check: diroze exited with {run.returncode}: {run.stderr.strip()}')


def job_ids(queue):
    out = subprocess.run(['lpstat', '-W', 'all', '-o', queue], capture_output=True, text=True).stdout
    return {int(m.group(1)) for m in re.finditer(rf'^{re.escape(queue)}-(\d+) ', out, re.M)}


def print_job(args, env, command):
    """The bytes of the job diroze prints, once the sink has all of them,
    and the medium the spooler was asked for (a PPD size or Custom.WxH)."""
    spool = os.path.join(SINK, args.queue)
    before, ids = set(glob.glob(os.path.join(spool, 'job-*.bin'))), job_ids(args.queue)
    diroze(command + ['-print'], env)
    deadline = time.monotonic() + args.timeout
    while not (new := set(glob.glob(os.path.join(spool, 'job-*.bin'))) - before):
        if time.monotonic() > deadline:
            stop(f'driver_print_check: no job reached {spool} within {args.timeout} s '
                     f'(is the sink of scripts/start-services.sh running? lpstat -o {args.queue})')
        time.sleep(0.5)
    path = min(new, key=lambda p: int(re.search(r'job-(\d+)', p).group(1)))
    jobs = sorted(job_ids(args.queue) - ids)
    if len(jobs) != 1:
        stop(f'driver_print_check: {len(jobs)} new jobs on {args.queue}, not one')
    attrs = subprocess.run(['ipptool', '-tv', f'ipp://localhost/jobs/{jobs[0]}', 'get-job-attributes.test'],
                           capture_output=True, text=True).stdout
    m = re.search(r'^\s*(?:PageSize|media) \([^)]*\) = (\S+)', attrs, re.M)
    return path, open(path, 'rb').read(), m.group(1) if m else None


def pdf_pages(command, env, directory, dpi):
    """diroze's -pdf file of the same sheet, a gray image a page at SCALE
    times dpi (fine enough for a reader where the PDF's modules are not
    whole dots)."""
    pdf = os.path.join(directory, 'sheet.pdf')
    diroze(command + [f'-pdf:{pdf}'], env)
    subprocess.run(['pdftoppm', '-r', str(dpi * SCALE), '-gray', pdf, os.path.join(directory, 'pdf')], check=True)
    pages = []
    for pgm in sorted(glob.glob(os.path.join(directory, 'pdf-*.pgm'))):
        raw = open(pgm, 'rb').read()
        m = re.match(rb'P5\s+(\d+)\s+(\d+)\s+255\s', raw)
        pages.append(np.frombuffer(raw[m.end():], np.uint8).reshape(int(m.group(2)), int(m.group(1))))
    return pages


def offsets(ini, queue):
    """printer.ini's OffsetX, OffsetY of the queue in millimetres."""
    parser = configparser.ConfigParser()
    parser.optionxform = str
    if ini:
        parser.read(ini)
    section = parser[queue] if parser.has_section(queue) else {}
    return float(section.get('OffsetX', 0)), float(section.get('OffsetY', 0))


def size_faults(kind, dots, widths, page, dpi):
    """How the raster's dots across and lines differ from the page's at dpi:
    ZPL prints its ^PW dots across and the page's lines, Brother QL the
    imageable lines, DYMO the imageable dots in whole bytes and at most the
    imageable lines (it stops at the last dark one)."""
    w, h, (left, bottom, right, top) = page
    d = dpi / 72
    across, lines = {'zpl': (w * d, h * d), 'dymo': ((right - left) * d, (top - bottom) * d),
                     'ql': (None, (top - bottom) * d)}[kind]
    faults = []
    got = widths.pop(0) if kind == 'zpl' else dots.shape[1] if kind == 'dymo' else None
    if across is not None and not -1 <= got - across <= (8 if kind == 'dymo' else 1):
        faults.append(f'{got} dots across, not {across:.1f}')
    if not -1 <= dots.shape[0] - lines <= 1 and not (kind == 'dymo' and dots.shape[0] < lines):
        faults.append(f'{dots.shape[0]} lines, not {lines:.1f}')
    return faults


def zbar(dots, dpi, directory, name):
    png = os.path.join(directory, f'{name}.png')
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


def dark_box(dots, box):
    """top, left, bottom, right (inclusive) of the dark dots in a reader's box
    of a 2D symbol, 3 dots round it looked at."""
    (x0, x1), (y0, y1) = box
    ys, xs = np.nonzero(dots[max(y0 - 3, 0):y1 + 4, max(x0 - 3, 0):x1 + 4])
    return (ys.min() + max(y0 - 3, 0), xs.min() + max(x0 - 3, 0),
            ys.max() + max(y0 - 3, 0), xs.max() + max(x0 - 3, 0))


def symbol_box(dots, box, linear):
    """left, top, right, bottom (exclusive) of a symbol in dots: a 2D
    symbol's dark dots; a linear one's first to last bar along its middle
    row, as high as those two bars run unbroken."""
    if not linear:
        top, left, bottom, right = dark_box(dots, box)
        return left, top, right + 1, bottom + 1
    (x0, x1), (y0, y1) = box
    y = (y0 + y1) // 2
    lo = max(x0 - 2, 0)
    xs = np.flatnonzero(dots[y, lo:x1 + 3]) + lo
    ends = []
    for x in (xs.min(), xs.max()):
        column = dots[:, x]
        top = y - np.argmin(column[y::-1]) + 1 if not column[:y + 1].all() else 0
        bottom = y + np.argmin(column[y:]) if not column[y:].all() else len(column)
        ends.append((top, bottom))
    return xs.min(), min(t for t, _ in ends), xs.max() + 1, max(b for _, b in ends)


def check_matrix(dots, box):
    """The same for a 2D symbol: runs along its rows; the quiet zone is the
    narrowest light margin round its dark dots, up to 8 modules looked at."""
    top, left, bottom, right = dark_box(dots, box)
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


def find(pages, dpi, directory):
    """(label, text, zbar's texts, dots, reader's box) of every symbol read
    on the labels' dots, or on the PDF's gray pages when directory is None."""
    found = []
    for n, image in enumerate(pages, 1):
        if directory:
            dots, zbar_texts = image, zbar(image, dpi, directory, f"label-{n}")[1]
            image = ((1 - dots) * 255).astype(np.uint8)
        else:
            dots, zbar_texts = (image < 128).astype(np.uint8), []
        for r in zxingcpp.read_barcodes(image, try_downscale=False):
            p = r.position
            xs = [p.top_left.x, p.top_right.x, p.bottom_left.x, p.bottom_right.x]
            ys = [p.top_left.y, p.top_right.y, p.bottom_left.y, p.bottom_right.y]
            found.append((n, r.text, zbar_texts, dots, ((min(xs), max(xs)), (min(ys), max(ys)))))
    return found


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
    parser.add_argument('--lpoptions', help='the user\'s ~/.cups/lpoptions text (\\n between lines)')
    parser.add_argument('--timeout', type=float, default=60)
    parser.add_argument('--png', help='keep the labels as PNG files in this directory')
    args = parser.parse_args()
    ppd = f'/etc/cups/ppd/{args.queue}.ppd'
    for need, what in ((os.path.isdir(os.path.join(SINK, args.queue)), f'no sink spool for {args.queue}'),
                       (os.path.isfile(ppd), f'no queue {args.queue} ({ppd})'),
                       (all(shutil.which(t) for t in ('zbarimg', 'pdftoppm', 'ipptool', 'lpstat')),
                        'zbarimg, pdftoppm, ipptool or lpstat is missing')):
        if not need:
            print(f'driver_print_check: {what} (scripts/start-services.sh sets them up)')
            sys.exit(3)

    want = symbols(args.data, args.codepage)
    shift_mm = offsets(args.printer_ini, args.queue)
    directory = args.png or tempfile.mkdtemp()
    os.makedirs(directory, exist_ok=True)
    with tempfile.TemporaryDirectory() as home, open('/tmp/diroze-driver-queues.lock', 'a') as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        env, command = setup(args, home)
        dpi = job_dpi(args.queue, args.dpi, env)
        path, data, medium = print_job(args, env, command)
        pdf = pdf_pages(command, env, directory, dpi)
    try:
        kind, labels = driver_raster.driver(data), driver_raster.labels(data)
        page = driver_raster.media(ppd, medium or '')
    except (ValueError, KeyError) as e:
        stop(f'driver_print_check: {path}: {e}')
    widths = [int(w) for w in re.findall(rb'\^PW(\d+)', data)]
    pages = [driver_raster.page_dots(dots, kind, page, dpi) for dots in labels]
    shift = [round(v / 25.4 * dpi) for v in shift_mm]
    mm = 25.4 / dpi

    failed = False
    print(f'{path}: {len(labels)} label(s) at {dpi} dpi on {medium} '
          f'({page[0] / 72 * 25.4:.2f} x {page[1] / 72 * 25.4:.2f} mm), printer.ini offset '
          f'{shift_mm[0]:+g}/{shift_mm[1]:+g} mm = {shift[0]:+d}/{shift[1]:+d} dots')
    faults = [] if len(pdf) == len(labels) else [f'the PDF has {len(pdf)} pages, the job {len(labels)} labels']
    for n, (dots, true, sheet) in enumerate(zip(labels, pages, pdf), 1):
        faults += [f'label {n}: {f}' for f in size_faults(kind, dots, widths, page, dpi)]
        if any(abs(t - s / SCALE) > 1 for t, s in zip(true.shape, sheet.shape)):
            faults.append(f'label {n}: the page is {true.shape[1]} x {true.shape[0]} dots, the PDF\'s '
                          f'{sheet.shape[1] / SCALE:.1f} x {sheet.shape[0] / SCALE:.1f}')
    size = (lambda a, k=1: f'{a[0].shape[1] / k:g} x {a[0].shape[0] / k:g}' if a else '-')
    print(f'raster {size(labels)} dots, page {size(pages)}, PDF {size(pdf, SCALE)}  '
          f'{"FAIL: " + "; ".join(faults[:3]) if faults else "ok"}')
    failed |= bool(faults)
    found, in_pdf = find(pages, dpi, directory), find(pdf, dpi, None)
    print(f'{"kind":7} {"data":24} {"dots/mod":>8} {"zbar":>4} {"zxing":>5} '
          f'{"gain min/mean/max":>18} {"quiet (modules)":>15} {"off PDF l/t mm":>23}  result')
    for kind_name, text in want:
        match = next((f for f in found if same(kind_name, text, f[1])), None)
        if not match:
            failed = True
            print(f'{kind_name:7} {text[:24]!s:24} {"":>8} {"":>4} {"no":>5} {"":>18} {"":>15} {"":>23}  FAIL: not read')
            continue
        found.remove(match)
        n, _, zbar_texts, dots, box = match
        linear = kind_name in LINEAR
        by_zbar = any(same(kind_name, text, z) for z in zbar_texts)
        try:
            m, bars, spaces, quiet = (check_linear if linear else check_matrix)(dots, box)
        except (ValueError, IndexError):
            failed = True
            print(f'{kind_name:7} {text[:24]!s:24} {"":>8} {"":>4} {"yes":>5} {"":>18} {"":>15} {"":>23}  '
                  f'FAIL: no bars and spaces to measure (label-{n}.png)')
            continue
        need = 10 if linear else QUIET[kind_name]
        faults = []
        if linear and not by_zbar:
            faults.append('zbarimg does not read it')
        if m != int(m):
            faults.append(f'module {m} dots is not whole')
        if any(bars) or any(spaces):
            faults.append(f'{sum(1 for b in bars if b)} bars, {sum(1 for s in spaces if s)} spaces off the module grid')
        if min(quiet) < need:
            faults.append(f'quiet zone {min(quiet):.1f} < {need} modules')
        twin = next((f for f in in_pdf if f[0] == n and same(kind_name, text, f[1])), None)
        if twin:
            printed, drawn = symbol_box(dots, box, linear), symbol_box(twin[3], twin[4], linear)
            # The corner: its far edges follow from the whole-dot module, and
            # the top of a linear symbol is cut where the driver prints nothing.
            off = [(p - d / SCALE - s) * mm for p, d, s in zip(printed[:2], drawn[:2], shift)]
            if linear:
                off = off[:1]
            where = '/'.join(f'{v:+.2f}' for v in off)
            if max(map(abs, off)) > 0.25:
                faults.append('more than 0.25 mm off where the PDF has it')
        else:
            where = 'not in PDF'
            faults.append('not read on the PDF\'s page')
        failed |= bool(faults)
        gains = f'{min(bars):+.0f}/{np.mean(bars):+.2f}/{max(bars):+.0f}'
        print(f'{kind_name:7} {text[:24]!s:24} {m:8g} {"yes" if by_zbar else "no":>4} {"yes":>5} '
              f'{gains:>18} {"/".join(f"{q:.1f}" for q in quiet):>15} {where:>23}  '
              f'{"FAIL: " + "; ".join(faults) if faults else "ok"} (label-{n}.png)')
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
