#!/usr/bin/env python3
"""Neighbour numbers and centroids of peaks of fitted g(r)s.

Usage:
  peak_figures.py --rho RHO --window P:LO:HI:CONC [--window ...] FIT.g [FIT.g ...]

A fit is one or more root.g files of yosta (basis functions as g(r) - 1, Q-dependent-
coefficient mode); several files on the same r grid are averaged point by point first.
For each window (basis function P counted from 1, r from LO to HI Angstrom, CONC the
concentration of the neighbour species) it prints the neighbour number
4 pi RHO CONC sum g r^2 dr and the centroid sum r^3 g / sum r^2 g, on the grid points
inside the window. Example, benzene (C-C, C-H, H-H; 0.08104 atoms per cubic Angstrom):

  peak_figures.py --rho 0.08104 --window 2:0.85:1.25:0.5 --window 1:1.2:1.6:0.5 bz.g
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_water as cw  # noqa: E402  (reader and averaging of root.g files)


def window(text):
    parts = text.split(":")
    try:
        p, lo, hi, conc = int(parts[0]), float(parts[1]), float(parts[2]), float(parts[3])
    except (ValueError, IndexError):
        raise argparse.ArgumentTypeError(f"'{text}' is not P:LO:HI:CONC")
    if p < 1 or not lo < hi or conc <= 0:
        raise argparse.ArgumentTypeError(f"'{text}': need P >= 1, LO < HI and CONC > 0")
    return p, lo, hi, conc


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("fits", nargs="+", help="root.g files (averaged when several)")
    ap.add_argument("--rho", type=float, required=True, help="number density, atoms per cubic Angstrom")
    ap.add_argument("--window", type=window, action="append", required=True, help="P:LO:HI:CONC")
    args = ap.parse_args(argv)
    nbasis = max(w[0] for w in args.window)
    fits = [cw.read_g(path, nbasis) for path in args.fits]
    r, g = cw.mean_of(fits)
    for p, lo, hi, conc in args.window:
        dr = r[1] - r[0]
        s0 = sum(v * x * x for x, v in zip(r, g[p - 1]) if lo <= x <= hi)
        s1 = sum(v * x ** 3 for x, v in zip(r, g[p - 1]) if lo <= x <= hi)
        n = 4.0 * 3.141592653589793 * args.rho * conc * s0 * dr
        centroid = s1 / s0 if s0 != 0 else float("nan")
        print(f"basis function {p}, {lo:g}-{hi:g} A: {n:.3f} neighbours, centroid {centroid:.3f} A")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except cw.Fail as e:
        print(f"peak_figures: {e}", file=sys.stderr)
        sys.exit(1)
