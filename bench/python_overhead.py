#!/usr/bin/env python3
"""The time the Python layer adds to a run: the bundled example for N moves
(default 3 million) by `yosta --seed S --max-moves N` and by yosta.Fit (set-up,
run, save), alternately, ROUNDS times each; prints every pair and the median
ratio of the Python time to the program's time.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py [--moves N] [--rounds R] [--yosta build/yosta]

The Python time is measured two ways: inside the interpreter (Fit set-up, run
and save: what the Python layer adds to the walk) and as a whole process
(interpreter start and the import of numpy and yosta as well, paid once per
session).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
top = os.path.dirname(here)

INNER = """
import sys, time
start = time.perf_counter()
import yosta
t0 = time.perf_counter()
fit = yosta.Fit("binary.dat")
fit.run(moves=int(sys.argv[1]), seed=int(sys.argv[2]))
fit.save("py")
t1 = time.perf_counter()
print(t1 - t0, t1 - start)
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--moves", type=int, default=3_000_000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--seed", type=int, default=4242)
    parser.add_argument("--yosta", default=os.path.join(top, "build", "yosta"))
    args = parser.parse_args()
    args.yosta = os.path.abspath(args.yosta)
    work = tempfile.mkdtemp(prefix="yosta_overhead_")
    try:
        for name in ("binary.dat", "binary_F1.dat", "binary_F2.dat", "binary_F3.dat"):
            shutil.copy(os.path.join(top, "examples", name), work)
        program, inner, whole = [], [], []
        for k in range(args.rounds):
            start = time.perf_counter()
            subprocess.run([args.yosta, "--seed", str(args.seed), "--max-moves", str(args.moves), "binary.dat"],
                           cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            program.append(time.perf_counter() - start)
            start = time.perf_counter()
            done = subprocess.run([sys.executable, "-c", INNER, str(args.moves), str(args.seed)], cwd=work,
                                  capture_output=True, text=True, check=True)
            whole.append(time.perf_counter() - start)
            run_and_save, _ = (float(x) for x in done.stdout.split())
            inner.append(run_and_save)
            same = open(os.path.join(work, "binary.g"), "rb").read() == open(os.path.join(work, "py.g"), "rb").read()
            print(f"round {k + 1}: program {program[-1]:.3f} s, Python set-up+run+save {inner[-1]:.3f} s, "
                  f"Python process {whole[-1]:.3f} s, same .g: {same}")
        ratio_inner = statistics.median(i / p for i, p in zip(inner, program))
        ratio_whole = statistics.median(w / p for w, p in zip(whole, program))
        print(f"median ratio to the program: set-up+run+save {ratio_inner:.4f}, whole process {ratio_whole:.4f} "
              f"({args.moves} moves, {args.rounds} rounds, load {os.getloadavg()[0]:.1f})")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
