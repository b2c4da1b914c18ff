"""YOSTA from Python: partial pair-distribution functions g(r) fitted to
measured total structure factors F(Q) by the program's Monte Carlo walk.

>>> import yosta
>>> fit = yosta.Fit("examples/binary.dat")
>>> fit.run(moves=300000, seed=12345)
>>> fit.save("binary")
>>> fit.r, fit.g              # r points; one row per basis function

The parameter file as an object (:class:`Parameters`), the result and data
files (:func:`read_g`, :func:`read_gsv`, :func:`read_out`, :func:`read_data`
and the writers), statistics (:func:`errors`, :func:`merge`, :func:`misfit`),
:mod:`yosta.weights`, :func:`import_data`, :func:`ensemble` and, with
matplotlib, :mod:`yosta.plot`. Bad input raises :class:`InputError`.
"""

import os as _os

from . import _yosta
from ._yosta import InputError
from .parameters import Parameters
from .files import (GFile, GsvFile, OutFile, DataSetCurves, read_g, write_g, read_gsv, write_gsv, read_out,
                    read_data, write_data)
from .stats import Spread, Misfit, errors, merge, mean_g, misfit, states
from .fit import Fit, Progress, DataSetState
from .ensemble import ensemble, EnsembleResult
from . import weights

__version__ = _yosta.version

__all__ = ["InputError", "Parameters", "Fit", "Progress", "DataSetState", "GFile", "GsvFile", "OutFile",
           "DataSetCurves", "read_g", "write_g", "read_gsv", "write_gsv", "read_out", "read_data", "write_data",
           "import_data", "Spread", "Misfit", "errors", "merge", "mean_g", "misfit", "states", "weights", "ensemble",
           "EnsembleResult"]


def import_data(input, output=None, dq=0.0, shift=False, rebin=1, q_range=None, error=None, sq=False, scale=1.0,
                grid_like=None, qdep=False):
    """Measured F(Q) or S(Q) onto the program's Q grid, as ``yosta-tools import``
    does: ``dq`` the grid step (0: from the first and last Q), ``shift`` for bin
    centres, ``rebin`` to average neighbours, ``q_range`` (qmin, qmax),
    ``error`` a constant error column, ``sq`` when the input holds S(Q)
    (``scale`` (S - 1) is written), ``grid_like`` a data file whose grid to
    use, ``qdep`` when the columns after F are coefficients.

    With ``output`` the file is written (and what it holds returned); without,
    the points are returned only. Returns a structured array (``Q``, ``F``,
    then ``error`` or ``c1``, ``c2``...)."""
    d = _yosta.import_data(_os.fspath(input), "" if output is None else _os.fspath(output), float(dq), bool(shift),
                           int(rebin), list(q_range) if q_range is not None else [],
                           None if error is None else float(error), bool(sq), float(scale),
                           "" if grid_like is None else _os.fspath(grid_like), bool(qdep))
    rows = d["rows"]
    width = rows.shape[1]
    extra = ["error"] if (width == 3 and not qdep) else [f"c{i}" for i in range(1, width - 1)]
    from .files import _named
    return _named(rows, ["Q", "F"][:width] + extra)


def __getattr__(name):
    # yosta.plot imports matplotlib: only when asked for.
    if name == "plot":
        import importlib
        return importlib.import_module(".plot", __name__)
    raise AttributeError(f"module 'yosta' has no attribute {name!r}")
