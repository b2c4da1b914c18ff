#!/usr/bin/env python3
"""Compare fitted water partials with the published intermolecular partials.

Usage:
  compare_water.py [options] FIT.g [FIT.g ...]
  compare_water.py [options] --direct [--qmin 0.2 --qmax 30]

A fit is one or more root.g files of yosta (nr; the move counts; then r and the basis
functions O-O, O-H, H-H as g(r) - 1). Several files of the same r grid are averaged
point by point first (the mean of independent solutions). --direct instead inverts the
three neutron contrasts (water/yosta/{H2O,D2O,HDO}.dat) point by point in Q and
transforms the partial structure factors with a Lorch window.

Printed: one markdown table row of the RMS difference of g(r) from the published
partials (water/reference/soper2013_dist_funcs, intermolecular only) over 2.2-8.0 A,
per partial and over all three (root of the mean square of the three), then the
intramolecular figures: the O-H bond and intramolecular H-H peak positions (centroid of
r^2 g(r) over the window) and neighbour numbers (H per O, H per H), and the first r
where g_OO reaches 0.5. Only the Python standard library is used.
"""

import argparse
import math
import os
import sys

RHO = 0.100          # atoms per cubic Angstrom
C_O, C_H = 1.0 / 3.0, 2.0 / 3.0
NAMES = ("OO", "OH", "HH")
# Faber-Ziman neutron weights (barn) of H2O, D2O, HDO for O-O, O-H, H-H.
WEIGHTS = {
    "H2O": (0.037416, -0.096433, 0.062134),
    "D2O": (0.037416, 0.172053, 0.197788),
    "HDO": (0.037416, 0.037810, 0.009552),
}
# Windows of the intramolecular peaks (Angstrom): the O-H bond (0.97) ends before the
# hydrogen bond (1.5 on); the H-H pair of a molecule (1.55) before the
# intermolecular H-H shell (1.85 on).
OH_WINDOW = (0.80, 1.25)
HH_WINDOW = (1.30, 1.85)


class Fail(Exception):
    pass


def numbers(line, path, lineno):
    out = []
    for item in line.split():
        try:
            x = float(item)
        except ValueError:
            raise Fail(f"{path}: line {lineno}: item '{item}' is not a number")
        if not math.isfinite(x):
            raise Fail(f"{path}: line {lineno}: item '{item}' is not finite")
        out.append(x)
    return out


def read_g(path, nbasis=3):
    """r and the first nbasis basis functions as g(r) (the file holds g - 1)."""
    try:
        with open(path) as f:
            lines = f.read().splitlines()
    except OSError as e:
        raise Fail(f"{path}: cannot read: {e.strerror}")
    if len(lines) < 4:
        raise Fail(f"{path}: too short for a .g file ({len(lines)} lines)")
    nr = numbers(lines[0], path, 1)
    if not nr or nr[0] != int(nr[0]) or nr[0] < 2:
        raise Fail(f"{path}: line 1: '{lines[0].strip()}' is not a number of r points")
    nr = int(nr[0])
    if len(lines) < nr + 2:
        raise Fail(f"{path}: {len(lines)} lines, {nr + 2} expected from line 1")
    r, g = [], [[] for _ in range(nbasis)]
    for j in range(nr):
        v = numbers(lines[j + 2], path, j + 3)
        if len(v) < nbasis + 1:
            raise Fail(f"{path}: line {j + 3}: {len(v)} values, {nbasis + 1} expected (r and the basis functions)")
        r.append(v[0])
        for p in range(nbasis):
            g[p].append(v[p + 1] + 1.0)
    return r, g


def mean_of(fits):
    r0 = fits[0][0]
    for r, _ in fits[1:]:
        if len(r) != len(r0) or any(abs(a - b) > 1e-4 for a, b in zip(r, r0)):
            raise Fail("the .g files to average have different r grids")
    g = [[sum(f[1][p][j] for f in fits) / len(fits) for j in range(len(r0))] for p in range(len(fits[0][1]))]
    return r0, g


def read_reference(path):
    r, g = [], [[], [], []]
    with open(path) as f:
        for lineno, line in enumerate(f, 1):
            if line.startswith("#") or not line.strip():
                continue
            v = numbers(line, path, lineno)
            r.append(v[0])
            for p in range(3):
                g[p].append(v[1 + 2 * p])
    return r, g


def interp(xs, ys, x):
    if x <= xs[0]:
        return ys[0]
    if x >= xs[-1]:
        return ys[-1]
    lo, hi = 0, len(xs) - 1
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if xs[mid] <= x:
            lo = mid
        else:
            hi = mid
    t = (x - xs[lo]) / (xs[hi] - xs[lo])
    return ys[lo] + t * (ys[hi] - ys[lo])


def rms_table(r, g, ref, rlo, rhi):
    """RMS of g - g_ref on the reference points in [rlo, rhi], per partial and overall."""
    rr, gr = ref
    pts = [i for i, x in enumerate(rr) if rlo - 1e-9 <= x <= rhi + 1e-9]
    if r[-1] < rhi:
        raise Fail(f"the fit ends at r = {r[-1]:.2f} A, before {rhi} A")
    out = []
    for p in range(3):
        s = sum((interp(r, g[p], rr[i]) - gr[p][i]) ** 2 for i in pts)
        out.append(math.sqrt(s / len(pts)))
    out.append(math.sqrt(sum(x * x for x in out) / 3.0))
    return out


def window_figures(r, y, lo, hi, c_neighbour):
    """Neighbour number 4 pi rho c int g r^2 dr and centroid of g r^2 over [lo, hi]."""
    dr = r[1] - r[0]
    s0 = s1 = 0.0
    for x, v in zip(r, y):
        if lo <= x <= hi:
            s0 += v * x * x
            s1 += v * x * x * x
    n = 4.0 * math.pi * RHO * c_neighbour * s0 * dr
    return n, (s1 / s0 if s0 != 0 else float("nan"))


def first_rise(r, y, level=0.5, start=1.5):
    for j in range(1, len(r)):
        if r[j] >= start and y[j] >= level:
            x0, x1, y0, y1 = r[j - 1], r[j], y[j - 1], y[j]
            return x0 + (level - y0) / (y1 - y0) * (x1 - x0) if y1 != y0 else x1
    return float("nan")


def read_set(path):
    q, f = [], []
    with open(path) as fh:
        lines = fh.read().splitlines()
    n = int(numbers(lines[0].split()[0], path, 1)[0])
    for j in range(n):
        v = numbers(lines[j + 2], path, j + 3)
        q.append(v[0])
        f.append(v[1])
    return q, f


def solve3(a, b):
    """Solution of the 3x3 system a x = b (Cramer's rule)."""
    def det(m):
        return (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
                - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
                + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]))
    d = det(a)
    out = []
    for c in range(3):
        m = [row[:] for row in a]
        for i in range(3):
            m[i][c] = b[i]
        out.append(det(m) / d)
    return out


def direct_inversion(datadir, qmin, qmax, dr=0.01, rmax=10.0):
    sets = {name: read_set(os.path.join(datadir, name + ".dat")) for name in WEIGHTS}
    q = sets["H2O"][0]
    order = list(WEIGHTS)
    w = [list(WEIGHTS[name]) for name in order]
    keep = [k for k, x in enumerate(q) if qmin - 1e-9 <= x <= qmax + 1e-9]
    qs = [q[k] for k in keep]
    partial = [[], [], []]
    for k in keep:
        s = solve3(w, [sets[name][1][k] for name in order])
        for p in range(3):
            partial[p].append(s[p])
    dq = qs[1] - qs[0]
    lorch = [math.sin(math.pi * x / qmax) / (math.pi * x / qmax) for x in qs]
    r = [dr * (j + 1) for j in range(int(rmax / dr))]
    g = [[], [], []]
    for x in r:
        sines = [qq * math.sin(qq * x) * m * dq for qq, m in zip(qs, lorch)]
        for p in range(3):
            integral = sum(s * v for s, v in zip(sines, partial[p]))
            g[p].append(1.0 + integral / (2.0 * math.pi ** 2 * RHO * x))
    return r, g


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    default_data = os.path.normpath(os.path.join(here, "..", "..", "shared", "realdata"))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("fits", nargs="*", help="root.g files (averaged when several)")
    ap.add_argument("--realdata", default=os.environ.get("YOSTA_REALDATA", default_data),
                    help="folder of the measured data (default ../shared/realdata)")
    ap.add_argument("--label", default=None, help="first column of the table row")
    ap.add_argument("--direct", action="store_true", help="direct inversion of the neutron sets")
    ap.add_argument("--qmin", type=float, default=0.2)
    ap.add_argument("--qmax", type=float, default=30.0)
    ap.add_argument("--rmin", type=float, default=2.2)
    ap.add_argument("--rmax", type=float, default=8.0)
    ap.add_argument("--header", action="store_true", help="print the table header first")
    args = ap.parse_args(argv)
    if not args.fits and not args.direct:
        ap.error("give root.g files or --direct")
    ref = read_reference(os.path.join(args.realdata, "water", "reference", "soper2013_dist_funcs"))
    if args.direct:
        r, g = direct_inversion(os.path.join(args.realdata, "water", "yosta"), args.qmin, args.qmax)
        label = args.label or f"direct inversion + Lorch, Q {args.qmin:g}-{args.qmax:g}"
    else:
        r, g = mean_of([read_g(p) for p in args.fits])
        label = args.label or " + ".join(os.path.basename(p) for p in args.fits)
    t = rms_table(r, g, ref, args.rmin, args.rmax)
    if args.header:
        print("| fit | OO | OH | HH | all |")
        print("|---|---|---|---|---|")
    print(f"| {label} | {t[0]:.3f} | {t[1]:.3f} | {t[2]:.3f} | {t[3]:.3f} |")
    n_oh, r_oh = window_figures(r, g[1], *OH_WINDOW, C_H)
    n_hh, r_hh = window_figures(r, g[2], *HH_WINDOW, C_H)
    print(f"O-H bond {OH_WINDOW[0]}-{OH_WINDOW[1]} A: {n_oh:.3f} H per O at {r_oh:.3f} A; "
          f"H-H {HH_WINDOW[0]}-{HH_WINDOW[1]} A: {n_hh:.3f} H per H at {r_hh:.3f} A; "
          f"g_OO reaches 0.5 at {first_rise(r, g[0]):.3f} A")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except Fail as e:
        print(f"compare_water: {e}", file=sys.stderr)
        sys.exit(1)
