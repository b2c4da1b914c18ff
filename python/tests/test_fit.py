"""The fit from Python: the same walk and result files as the program, runs
in portions, interruption, several fits in one process, the interpreter
released during the walk, and the arrays of the model."""

import os
import signal
import threading
import time

import numpy as np
import pytest

import yosta
from conftest import EXAMPLES, copy_example, run_program, same_bytes

FIXED = ("binary_fixed.dat", "fixed_F1.dat", "fixed_F2.dat", "fixed_F3.dat")


def variant(folder, kind):
    """The example (Q-dependent coefficients) or a variant of it, as a file in `folder`."""
    if kind == "fixed":
        copy_example(folder, FIXED)
        return os.path.join(folder, "binary_fixed.dat")
    copy_example(folder)
    path = os.path.join(folder, "binary.dat")
    if kind == "example":
        return path
    p = yosta.Parameters.read(path)
    if kind == "resolution":
        p.resolution_on = True
        for s in p.sets:
            s.wavelength, s.res_u, s.res_v, s.res_w = 0.2, 0.0, 0.0, 0.3
    elif kind == "gaussian":
        p.smoothing_type = 3
        p.nranges = 2
        p.ranges[0].width, p.ranges[0].rch = 0.46, 7.5
        p.ranges[1].width, p.ranges[1].rch = 0.46, 16.0
    elif kind == "targets":
        p.save_targets = True
        p.nsave = 3
        for s in p.sets:
            s.target_chi2 = 2.0
    p.root = kind
    return p.write(os.path.join(folder, kind + ".dat"))


@pytest.mark.parametrize("kind,moves", [("example", 40000), ("fixed", 40000), ("resolution", 15000),
                                        ("gaussian", 15000), ("targets", 40000)])
def test_same_files_as_the_program(tmp_path, kind, moves):
    prog = variant(str(tmp_path / "program"), kind)
    mine = variant(str(tmp_path / "python"), kind)
    run_program(["--seed", 4242, "--max-moves", moves, os.path.basename(prog)], cwd=os.path.dirname(prog))
    fit = yosta.Fit(mine)
    assert fit.run(moves=moves, seed=4242) == moves
    written = fit.save()
    root = yosta.Parameters.read(prog).root
    for path in written:
        ext = os.path.splitext(path)[1]
        assert same_bytes(os.path.join(os.path.dirname(prog), root + ext), path), f"{kind}: {ext} differs"
    assert len(written) == (3 if kind == "targets" else 2)


def test_portions_interruption_and_readouts_leave_the_walk_unchanged(example):
    """run(a), an interrupted run, reading every array, then the rest, is the walk of one run."""
    straight = yosta.Fit(os.path.join(example, "binary.dat"))
    straight.run(moves=1500000, seed=99)
    pieces = yosta.Fit(os.path.join(example, "binary.dat"))
    made = pieces.run(moves=30001, seed=99)
    pieces.sets, pieces.g, pieces.partial_sq(), pieces.coordination
    timer = threading.Timer(0.05, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        pieces.run(moves=10**9)
    timer.join()
    made = pieces.counters["moves_made"]
    assert 30001 < made < 1500000
    pieces.sets
    assert pieces.run(moves=1500000 - made) == 1500000 - made
    assert np.array_equal(straight.g, pieces.g)
    assert straight.counters == pieces.counters
    a, b = straight.sets, pieces.sets
    for x, y in zip(a, b):
        assert np.array_equal(x.fit, y.fit) and x.chi2 == y.chi2


def test_two_fits_in_one_process_do_not_share_state(tmp_path):
    """Two fits made alternately, each with its own seed, give the walks they give alone."""
    a_dir = copy_example(str(tmp_path / "a"))
    b_dir = copy_example(str(tmp_path / "b"), FIXED)
    alone_a = yosta.Fit(os.path.join(a_dir, "binary.dat"))
    alone_a.run(moves=40000, seed=5)
    alone_b = yosta.Fit(os.path.join(b_dir, "binary_fixed.dat"))
    alone_b.run(moves=40000, seed=6)
    a = yosta.Fit(os.path.join(a_dir, "binary.dat"))
    b = yosta.Fit(os.path.join(b_dir, "binary_fixed.dat"))
    a.run(moves=20000, seed=5)
    b.run(moves=20000, seed=6)
    a.run(moves=20000)
    b.run(moves=20000)
    assert np.array_equal(a.g, alone_a.g) and np.array_equal(b.g, alone_b.g)
    assert not np.array_equal(a.g, b.g)


def test_the_interpreter_is_released_during_the_walk(example):
    fit = yosta.Fit(os.path.join(example, "binary.dat"))
    ticks = []
    stop = threading.Event()

    def count():
        while not stop.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.001)

    # The portion is sized from a short one so that it lasts about half a
    # second however fast the build is: a fixed count ran under 0.05 s once
    # the walk got faster, and the test then proved nothing.
    start = time.monotonic()
    fit._core.advance(50000)
    rate = 50000 / max(time.monotonic() - start, 1e-4)
    moves = int(min(max(rate * 0.5, 50000), 50_000_000))

    # One portion: without the release no tick could come while it runs.
    counter = threading.Thread(target=count)
    counter.start()
    time.sleep(0.01)
    before = len(ticks)
    start = time.monotonic()
    fit._core.advance(moves)
    end = time.monotonic()
    stop.set()
    counter.join()
    during = [t for t in ticks[before:] if start < t < end]
    assert end - start > 0.05
    assert len(during) >= 5, f"{len(during)} ticks of the other thread during {end - start:.2f} s"


def test_progress_seconds_and_targets(example):
    fit = yosta.Fit(os.path.join(example, "binary.dat"))
    seen = []
    made = fit.run(seconds=0.3, seed=3, progress=seen.append, progress_every=0.05)
    assert made > 0 and len(seen) >= 2
    assert seen[-1].moves == made and seen[-1].seconds >= 0.3
    assert all(a.moves < b.moves for a, b in zip(seen, seen[1:]))
    assert seen[-1].generated == fit.counters["generated"]


def test_arrays_of_the_model(example):
    fit = yosta.Fit(os.path.join(example, "binary.dat"))
    fit.run(moves=20000, seed=8)
    r, g = fit.r, fit.g
    assert g.shape == (3, len(r)) and r[0] > 0 and np.all(np.diff(r) > 0)
    with pytest.raises(ValueError):
        g[0, 0] = 1.0  # read-only
    fit.save(os.path.join(example, "py"))
    saved = yosta.read_g(os.path.join(example, "py.g"))
    assert np.array_equal(saved.r, r) and np.array_equal(saved.g, g)
    out = yosta.read_out(os.path.join(example, "py.out"))
    for state, curves in zip(fit.sets, out.sets):
        assert np.array_equal(state.Q, curves.Q)
        assert np.array_equal(state.fit, curves.fit)
        assert np.array_equal(state.corrected, curves.data)
        assert np.array_equal(state.background, curves.background)
        assert np.all(state.error > 0) and state.chi2 > 0
    Q, S = fit.partial_sq()
    assert np.array_equal(Q, out.Q_partial) and np.array_equal(S, out.partial_sq)


def test_data_given_as_arrays(example):
    """Data sets given as arrays walk as the same data read from files."""
    from_files = yosta.Fit(os.path.join(example, "binary.dat"))
    from_files.run(moves=20000, seed=12)
    p = yosta.Parameters.read(os.path.join(example, "binary.dat"))
    arrays = {i: yosta.read_data(os.path.join(example, f"binary_F{i + 1}.dat")) for i in range(3)}
    for s in p.sets:
        s.data_file = "nowhere.dat"
    from_arrays = yosta.Fit(p, data=arrays)
    from_arrays.run(moves=20000, seed=12)
    assert np.array_equal(from_files.g, from_arrays.g)


@pytest.mark.parametrize("edit,message,item,value", [
    (lambda p: setattr(p.sets[0], "data_file", "missing.dat"), "Cannot open file", None, None),
    (lambda p: setattr(p.zero[0], "partial", 7), "Zero constraint 1: basis function must be between 1 and 3",
     "Zero constraint 1: basis function must be between 1 and 3", "7"),
    (lambda p: setattr(p, "density", 0.0), "Number density must be positive", "Number density must be positive",
     "0"),
])
def test_bad_input_raises_input_error(example, edit, message, item, value):
    p = yosta.Parameters.read(os.path.join(example, "binary.dat"))
    edit(p)
    with pytest.raises(yosta.InputError) as caught:
        yosta.Fit(p)
    text = str(caught.value)
    if message:
        assert message in text
    assert caught.value.file is not None
    if item:
        assert caught.value.item == item and caught.value.value == value


def test_ensemble_members_are_the_fits_of_their_seeds(example):
    path = os.path.join(example, "binary.dat")
    e = yosta.ensemble(path, 3, moves=3000, seed=5, jobs=2, folder=os.path.join(example, "ens"))
    assert len(set(e.seeds)) == 3 and e.members.shape == (3, 3, len(e.r))
    for k, seed in enumerate(e.seeds):
        alone = yosta.Fit(path)
        alone.run(moves=3000, seed=seed)
        assert np.array_equal(e.members[k], alone.g)
        assert np.array_equal(yosta.read_g(os.path.join(example, "ens", f"member_{k + 1:03d}.g")).g, alone.g)
    assert np.allclose(e.sd, e.members.std(axis=0, ddof=1)) and np.all(e.sd.max(axis=1) > 0)
