"""A fit in memory: the program's walk, driven from Python."""

import os
import random
import sys
import tempfile
import time
from dataclasses import dataclass

import numpy as np

from . import _yosta
from .files import write_data
from .parameters import Parameters

__all__ = ["Fit", "Progress", "DataSetState"]

# Moves made between two returns to the interpreter: a few milliseconds of
# walk, so that Ctrl-C, the time limit and the progress callback come quickly
# and cost nothing measurable.
PORTION = 16384


@dataclass
class Progress:
    """What a progress callback receives after each portion of moves."""
    moves: int          # moves made by this call of run()
    total: object       # moves asked for (None when only a time was given)
    seconds: float      # time used by this call of run()
    limit: object       # seconds asked for (None when only moves were given)
    generated: int      # the walk's move counters (a continued run counts on)
    accepted: int
    cost: float         # chi-squared plus penalties of the current model

    @property
    def fraction(self):
        """The part of the run done, 0..1."""
        parts = []
        if self.total:
            parts.append(self.moves / self.total)
        if self.limit:
            parts.append(self.seconds / self.limit)
        return min(1.0, max(parts)) if parts else 0.0


@dataclass
class DataSetState:
    """One data set of a fit over its fitted points: the data as read (offset
    applied), the fit (the model as compared: broadened with the resolution),
    the model before broadening, the corrected data (beta F + background), the
    background, the error of every point, the corrections (beta, a0, a1, a2),
    chi-squared and the number of fitted points."""
    data_file: str
    Q: np.ndarray
    data: np.ndarray
    fit: np.ndarray
    model: np.ndarray
    corrected: np.ndarray
    background: np.ndarray
    error: np.ndarray
    corrections: tuple
    chi2: float
    points: float


class Fit:
    """The walk of one parameter file, as ``yosta`` makes it.

    ``parameters`` is a parameter file's path or a :class:`Parameters`
    object; relative data-file and root names are taken from the file's
    folder (the current folder for parameters made from text). ``data`` may
    give data sets as arrays instead of files: a dict from the set's index
    (from 0) to a structured array or an array of rows in the layout of a
    data file (Q, F and the further columns the set's records call for).

    The set-up reads the data and prepares the model exactly as the program
    does; bad input raises :class:`yosta.InputError` with the program's
    message. ``run`` makes moves, ``save`` writes the result files. With the
    same parameter file, seed and number of moves, ``save`` writes ``.g`` and
    ``.out`` files identical byte for byte to those of
    ``yosta --seed S --max-moves N``.
    """

    def __init__(self, parameters, data=None):
        if not isinstance(parameters, Parameters):
            parameters = Parameters.read(parameters)
        self.parameters = parameters.copy()
        p = self.parameters
        if data:
            with tempfile.TemporaryDirectory(prefix="yosta_data_") as folder:
                for index, points in data.items():
                    if not 0 <= index < p.nsets:
                        raise IndexError(f"data set {index}: the parameters have {p.nsets} data sets")
                    path = os.path.join(folder, f"set{index + 1}.dat")
                    write_data(path, points, title=f"data set {index + 1} given as an array")
                    p.sets[index].data_file = path
                self._core = _yosta.FitCore(p.path or "parameters", p.text(), p.folder)
        else:
            self._core = _yosta.FitCore(p.path or "parameters", p.text(), p.folder)
        self.seed = None

    # --- the walk ---------------------------------------------------------
    def run(self, moves=None, seconds=None, seed=None, progress=None, progress_every=0.5):
        """Makes moves until ``moves`` moves or ``seconds`` seconds (whichever
        comes first) or until every requested target set has been taken;
        without either, for the parameter file's run time.

        ``seed`` (1..2147483646) restarts the generator; the first run without
        one takes a seed from the system and keeps it in ``self.seed``; a
        later run without one continues the walk where it stopped (``run(a)``
        then ``run(b)`` is the same walk as ``run(a + b)``).

        The interpreter is released while the walk runs, so other threads go
        on. ``progress`` is called with a :class:`Progress` about every
        ``progress_every`` seconds, or is ``"bar"`` for a progress bar (in
        Jupyter, or on the terminal). Ctrl-C stops the walk between two moves,
        with the model consistent, and raises KeyboardInterrupt; ``run`` may be
        called again to go on. Returns the number of moves made."""
        if seed is not None:
            self._core.seed(int(seed))
            self.seed = int(seed)
        elif self.seed is None:
            self.seed = random.SystemRandom().randrange(1, 2147483646)
            self._core.seed(self.seed)
        if moves is None and seconds is None:
            seconds = 60.0 * float(self.parameters.run_time)
        if moves is not None and moves < 0:
            raise ValueError("moves must not be negative")
        bar = None
        if progress == "bar":
            bar = _Bar()
            progress = bar.update
        start = time.monotonic()
        last_report = start
        made = 0
        try:
            while True:
                portion = PORTION if moves is None else min(PORTION, moves - made)
                if portion <= 0:
                    break
                step = self._core.advance(portion)
                made += step
                now = time.monotonic()
                done = step < portion or (seconds is not None and now - start >= seconds)
                if progress is not None and (done or now - last_report >= progress_every):
                    last_report = now
                    progress(self._progress(made, moves, now - start, seconds))
                if done:
                    break
            if progress is not None and made == moves:
                progress(self._progress(made, moves, time.monotonic() - start, seconds))
        finally:
            if bar is not None:
                bar.close()
        return made

    def _progress(self, made, moves, used, seconds):
        c = self._core.counters()
        return Progress(moves=made, total=moves, seconds=used, limit=seconds, generated=c["generated"],
                        accepted=c["accepted"], cost=c["cost"])

    def save(self, root=None):
        """Writes ``root.g``, ``root.out`` and, with target saving, ``root.gsv``
        as the program's save writes them (each file replaced whole). Without
        a root, the parameter file's root (in the file's folder). Returns the
        paths written."""
        root = os.fspath(root) if root is not None else self._core.root
        self._core.save(root)
        paths = [root + ".g", root + ".out"]
        if self.parameters.save_targets:
            paths.insert(1, root + ".gsv")
        return paths

    # --- the model --------------------------------------------------------
    @property
    def r(self):
        """The r points (Angstrom), read-only."""
        return self._core.r()

    @property
    def g(self):
        """The basis functions, one row per basis function (a read-only copy;
        g(r) - 1 when the coefficients depend on Q, as the .g file holds them)."""
        return self._core.g()

    @property
    def sets(self):
        """Every data set as a :class:`DataSetState` of the current model."""
        return [DataSetState(**self._core.data_set(i)) for i in range(self._core.nsets)]

    @property
    def chi2(self):
        """Chi-squared of every data set for the current model."""
        return np.array([s.chi2 for s in self.sets])

    def partial_sq(self):
        """(Q, S) with the partial structure factors of the basis functions, one row each."""
        return self._core.partial_sq()

    @property
    def coordination(self):
        """The coordination numbers of the coordination constraints, in file order."""
        return np.array(self._core.coordination(), np.float32)

    @property
    def counters(self):
        """generated, accepted, moves_made (by this Fit), cost, nsaved (target sets taken)."""
        return self._core.counters()

    @property
    def targets_complete(self):
        """True when target saving is on and every requested set has been taken."""
        return self._core.targets_complete

    @property
    def setup_text(self):
        """What the set-up wrote on the console."""
        return self._core.setup_text

    def __repr__(self):
        c = self._core.counters()
        return f"Fit({self.parameters.path or self.parameters.title!r}: {c['generated']} moves, {c['accepted']} accepted)"


class _Bar:
    """A progress bar: an HTML bar in Jupyter, a text line on a terminal."""

    def __init__(self):
        self._handle = None
        try:
            from IPython import get_ipython
            if get_ipython() is not None and "IPKernelApp" in get_ipython().config:
                from IPython.display import display, HTML
                self._html = HTML
                self._handle = display(HTML(self._text(0.0, "")), display_id=True)
        except ImportError:
            pass

    @staticmethod
    def _text(fraction, label):
        return f'<progress value="{fraction:.3f}" max="1" style="width:60%"></progress> {label}'

    def update(self, p):
        label = f"{p.moves} moves, {p.accepted} accepted, cost {p.cost:.6g}, {p.seconds:.1f} s"
        if self._handle is not None:
            self._handle.update(self._html(self._text(p.fraction, label)))
        else:
            width = 30
            full = int(round(p.fraction * width))
            sys.stderr.write("\r[" + "#" * full + "." * (width - full) + "] " + label)
            sys.stderr.flush()

    def close(self):
        if self._handle is None:
            sys.stderr.write("\n")
