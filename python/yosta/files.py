"""The result files (.g, .gsv, .out) and the data files, as numpy arrays.

Reading and writing go through the program's own readers and writers: a file
these functions accept is a file the program accepts, and a refused file
raises :class:`yosta.InputError` naming the file, line, item and value.
"""

import os
import re
from dataclasses import dataclass, field

import numpy as np

from . import _yosta

__all__ = ["GFile", "GsvFile", "OutFile", "DataSetCurves", "read_g", "write_g", "read_gsv", "write_gsv",
           "read_out", "read_data", "write_data"]


@dataclass
class GFile:
    """A ``.g`` file: the basis functions of one state of the walk.

    ``r`` has one value per r point; ``g`` one row per basis function (the
    stored values: g(r) - 1 when the coefficients depend on Q).
    """
    r: np.ndarray
    g: np.ndarray
    generated: int = 0
    accepted: int = 0
    path: str = ""

    def write(self, path):
        """Writes the file as the program writes it (a start file of a further run)."""
        write_g(path, self)


@dataclass
class GsvFile:
    """A ``.gsv`` file: sums (``S1``) and sums of squares (``S2``) of the saved sets."""
    r: np.ndarray
    S1: np.ndarray
    S2: np.ndarray
    nsaved: int = 0
    collect_count: int = 0
    path: str = ""

    def write(self, path):
        write_gsv(path, self)

    def mean(self):
        """The mean of the saved sets, one row per basis function."""
        return self.S1 / max(self.nsaved, 1)


@dataclass
class DataSetCurves:
    """One data set of a ``.out`` file over its fitted points.

    ``fit`` is the model, ``broadened`` the model broadened by the resolution
    (None without), ``data`` the corrected data and ``background`` the fitted
    background."""
    Q: np.ndarray
    fit: np.ndarray
    data: np.ndarray
    background: np.ndarray
    broadened: object = None

    @property
    def compared(self):
        """The model as compared with the data (broadened when the resolution is on)."""
        return self.broadened if self.broadened is not None else self.fit


@dataclass
class OutFile:
    """A ``.out`` file: every data set with its fit, the basis functions as
    plotted (g(r), 1 added when the coefficients depend on Q) and the partial
    S(Q)s (``Q_partial`` empty when the file has none)."""
    title: str
    sets: list
    r: np.ndarray
    g: np.ndarray
    Q_partial: np.ndarray = field(default_factory=lambda: np.zeros(0, np.float32))
    partial_sq: np.ndarray = field(default_factory=lambda: np.zeros((0, 0), np.float32))
    path: str = ""


def read_g(path):
    """Reads a ``.g`` file into a :class:`GFile` (``r``, ``g`` one row per basis function)."""
    d = _yosta.read_g(os.fspath(path))
    return GFile(r=d["r"], g=d["g"], generated=d["generated"], accepted=d["accepted"], path=d["path"])


def write_g(path, g):
    """Writes a :class:`GFile` (or anything with ``r``, ``g`` and the move counts) as a ``.g`` file."""
    _yosta.write_g(os.fspath(path), int(getattr(g, "generated", 0)), int(getattr(g, "accepted", 0)),
                   np.asarray(g.r, np.float32), np.atleast_2d(np.asarray(g.g, np.float32)))


def read_gsv(path):
    """Reads a ``.gsv`` file into a :class:`GsvFile`."""
    d = _yosta.read_gsv(os.fspath(path))
    return GsvFile(r=d["r"], S1=d["S1"], S2=d["S2"], nsaved=d["nsaved"], collect_count=d["collect_count"],
                   path=d["path"])


def write_gsv(path, s):
    """Writes a :class:`GsvFile` as a ``.gsv`` file."""
    _yosta.write_gsv(os.fspath(path), int(s.nsaved), int(s.collect_count), np.asarray(s.r, np.float32),
                     np.atleast_2d(np.asarray(s.S1, np.float32)), np.atleast_2d(np.asarray(s.S2, np.float32)))


def read_out(path):
    """Reads a ``.out`` file into an :class:`OutFile`."""
    d = _yosta.read_out(os.fspath(path))
    sets = [DataSetCurves(Q=s["Q"], fit=s["fit"], data=s["data"], background=s["background"],
                          broadened=s["broadened"]) for s in d["sets"]]
    return OutFile(title=d["title"], sets=sets, r=d["r"], g=d["g"], Q_partial=d["Q_partial"],
                   partial_sq=d["partial_sq"], path=d["path"])


_unit = re.compile(r"\(.*?\)")


def _heading_names(path, width):
    """Column names from the heading line of a file in the program's layout, when it names every column."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            f.readline()
            heading = f.readline()
    except OSError:
        return None
    names = [_unit.sub("", n) for n in heading.split("|")[0].split()]
    names = [re.sub(r"\W", "_", n) for n in names if n]
    if len(names) != width or len(set(names)) != width or not all(n and not n[0].isdigit() for n in names):
        return None
    return names


def _named(rows, names):
    rows = np.asarray(rows, np.float64)
    out = np.zeros(rows.shape[0], dtype=[(n, np.float64) for n in names])
    for j, n in enumerate(names):
        out[n] = rows[:, j]
    return out


def read_data(path, names=None):
    """Reads a data file (the program's layout, or plain columns with ``#`` comments).

    Returns a numpy structured array, one record a point, with named fields:
    ``names`` when given, else the heading's names when it names every column
    (``Q``, ``F``, ``w_AA`` ...), else ``Q``, ``F`` and ``c1``, ``c2`` ...
    Numbers the program would refuse raise InputError.
    """
    d = _yosta.read_table(os.fspath(path))
    rows = d["rows"]
    width = rows.shape[1]
    if names is None:
        names = _heading_names(path, width) if d["program_layout"] else None
    if names is None:
        names = ["Q", "F"][:width] + [f"c{i}" for i in range(1, width - 1)]
    if len(names) != width:
        raise ValueError(f"{path}: {width} columns, {len(names)} names given")
    return _named(rows, names)


def write_data(path, data, title="", heading=None):
    """Writes points in the program's data-file layout.

    ``data`` is a structured array (its field names make the heading) or a
    two-dimensional array of rows (Q first). The file is replaced whole.
    """
    if data.dtype.names:
        names = data.dtype.names
        rows = np.column_stack([np.asarray(data[n], np.float64) for n in names])
    else:
        rows = np.atleast_2d(np.asarray(data, np.float64))
        names = ["Q", "F"][:rows.shape[1]] + [f"c{i}" for i in range(1, rows.shape[1] - 1)]
    if heading is None:
        heading = " ".join(names)
    _yosta.write_data_file(os.fspath(path), title, heading, rows)
    return os.fspath(path)
