#!/usr/bin/env python3
"""Scans one setting of a parameter file and plots chi-squared against it.

    python3 examples/scan_sigma.py [PARAMETER_FILE] [--values 0.002,0.003,...]
        [--moves N] [--seed S] [--set K] [-o scan_sigma.png]

For every value the standard deviation (`sigma`) of data set K (from 1; 0 for
every set) is set, the fit is run from the same start and seed, and the
chi-squared per point of every data set and the accepted fraction of moves are
recorded. A sigma too small makes the walk stiff (few moves accepted, noise
fitted); too large lets it drift (chi-squared per point well below 1 of the
noise). Default: the bundled example, five values around its 0.003.
"""

import argparse
import os
import sys

import numpy as np

here = os.path.dirname(os.path.abspath(__file__))
try:
    import yosta
except ImportError:  # run from the source tree with a build in build/
    sys.path.insert(0, os.path.join(here, "..", "build", "python"))
    import yosta


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("parameters", nargs="?", default=os.path.join(here, "binary.dat"))
    parser.add_argument("--values", default="0.0015,0.002,0.003,0.0045,0.006")
    parser.add_argument("--moves", type=int, default=300000)
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--set", type=int, default=0, help="data set from 1; 0 for every set")
    parser.add_argument("-o", "--output", default="scan_sigma.png")
    args = parser.parse_args()

    values = [float(v) for v in args.values.split(",")]
    base = yosta.Parameters.read(args.parameters)
    chi2, accepted = [], []
    for value in values:
        p = base.copy()
        for k, s in enumerate(p.sets):
            if args.set in (0, k + 1):
                s.sigma = value
        fit = yosta.Fit(p)
        fit.run(moves=args.moves, seed=args.seed)
        sets = fit.sets
        chi2.append([s.chi2 / s.points for s in sets])
        c = fit.counters
        accepted.append(c["accepted"] / max(c["generated"], 1))
        print(f"sigma {value:<8g} chi-squared per point " + " ".join(f"{x:8.4g}" for x in chi2[-1]) +
              f"   accepted {accepted[-1]:.3f}")

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    chi2 = np.array(chi2)
    figure, (left, right) = plt.subplots(1, 2, figsize=(9, 3.8))
    for k in range(chi2.shape[1]):
        left.plot(values, chi2[:, k], "o-", label=f"set {k + 1}")
    left.axhline(1.0, color="0.6", lw=0.8)
    left.set_xscale("log")
    left.set_yscale("log")
    left.set_xlabel("sigma")
    left.set_ylabel("chi-squared per point")
    left.legend()
    right.plot(values, accepted, "o-k")
    right.set_xscale("log")
    right.set_xlabel("sigma")
    right.set_ylabel("accepted fraction of moves")
    figure.suptitle(f"{base.title.strip()}: {args.moves} moves, seed {args.seed}")
    figure.tight_layout()
    figure.savefig(args.output, dpi=110)
    print("wrote", args.output)


if __name__ == "__main__":
    main()
