"""Statistics over results: the spread of saved sets (``errors``), merged
sums and mean basis functions (``merge``, ``mean_g``) and the misfit of
each data set of a finished fit (``misfit``): the same numbers as the
``yosta-tools`` subcommands of those names."""

import os
from dataclasses import dataclass

import numpy as np

from . import _yosta
from .files import GFile, GsvFile, OutFile, read_gsv, read_out

__all__ = ["Spread", "errors", "merge", "mean_g", "states", "Misfit", "misfit"]


@dataclass
class Spread:
    """Mean, standard deviation over the saved sets (n - 1 in the
    denominator) and standard error of the mean, one row per basis function."""
    r: np.ndarray
    mean: np.ndarray
    sd: np.ndarray
    se: np.ndarray
    nsets: int
    source: str = ""


def _gsv(source):
    if isinstance(source, GsvFile):
        return source
    return read_gsv(source)


def errors(source):
    """The spread of the saved sets of a ``.gsv`` file (a path or a GsvFile), or
    of the final states of several ``.g`` files given as a list of paths.

    Fewer than 2 sets raise InputError, as ``yosta-tools errors`` refuses them."""
    if isinstance(source, (list, tuple)):
        source = states(source)
    s = _gsv(source)
    d = _yosta.spread(s.path, int(s.nsaved), int(s.collect_count), np.asarray(s.r, np.float32),
                      np.asarray(s.S1, np.float32), np.asarray(s.S2, np.float32))
    return Spread(r=d["r"], mean=d["mean"], sd=d["sd"], se=d["se"], nsets=d["nsets"], source=d["source"])


def _as_gsv(d):
    return GsvFile(r=d["r"], S1=d["S1"], S2=d["S2"], nsaved=d["nsaved"], collect_count=d["collect_count"],
                   path=d["path"])


def merge(paths, output=None):
    """Adds the sums, sums of squares and counts of several ``.gsv`` files (the
    same grid, else InputError naming the file); writes ``output`` when given."""
    merged = _as_gsv(_yosta.merge_gsv([os.fspath(p) for p in paths]))
    if output is not None:
        merged.write(output)
    return merged


def mean_g(paths, output=None):
    """The mean basis functions of several ``.g`` files (a start file when written)."""
    d = _yosta.mean_g([os.fspath(p) for p in paths])
    g = GFile(r=d["r"], g=d["g"], generated=d["generated"], accepted=d["accepted"], path=d["path"])
    if output is not None:
        g.write(output)
    return g


def states(paths):
    """The final states of several ``.g`` files as saved sets (one set a file)."""
    return _as_gsv(_yosta.gsv_of_states([os.fspath(p) for p in paths]))


@dataclass
class Misfit:
    """How far the model of a finished fit lies from one data set: the RMS and
    mean of model - corrected data over the fitted points, and the RMS of the
    corrected data. ``rms`` is the sigma that gives the set a chi-squared of 1
    per point."""
    points: int
    q_first: float
    q_last: float
    rms: float
    mean: float
    rms_data: float


def misfit(source):
    """The misfit of every data set of a ``.out`` file (a path or an OutFile)."""
    out = source if isinstance(source, OutFile) else read_out(source)
    result = []
    for s in out.sets:
        model = np.asarray(s.compared, np.float64)
        data = np.asarray(s.data, np.float64)
        diff = model - data
        result.append(Misfit(points=len(diff), q_first=float(s.Q[0]), q_last=float(s.Q[-1]),
                             rms=float(np.sqrt(np.mean(diff * diff))), mean=float(np.mean(diff)),
                             rms_data=float(np.sqrt(np.mean(data * data)))))
    return result
