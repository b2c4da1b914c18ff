"""Pictures with matplotlib: a fit (every data set with its model, background
and residual), the basis functions, an ensemble or saved-set band, and the
partial S(Q)s, labelled with the user's names of the basis functions.

Each function draws into a new figure (or into ``axes`` when given) and
returns the figure; ``figure.savefig(name)`` writes it.
"""

import numpy as np
import matplotlib.pyplot as plt

from .files import OutFile, read_out

__all__ = ["fit", "basis", "band", "partial_sq"]


def _names(names, n):
    names = list(names) if names is not None else []
    return names[:n] + [f"basis function {i + 1}" for i in range(len(names), n)]


def _out(source):
    """An OutFile from a path, an OutFile, or a Fit (its current model)."""
    if isinstance(source, OutFile):
        return source
    if hasattr(source, "sets") and hasattr(source, "_core"):
        return None
    return read_out(source)


def fit(source, labels=None, offset=None, title=None):
    """Every data set of ``source`` (a Fit, an OutFile or a ``.out`` path): the
    corrected data, the model as compared and the background, with the
    residual below, offset by ``offset`` per set (default: from the data).
    ``labels`` names the data sets."""
    out = _out(source)
    if out is None:
        curves = [(s.Q, s.corrected, s.fit, s.background) for s in source.sets]
        title = title or source.parameters.title
    else:
        curves = [(s.Q, s.data, s.compared, s.background) for s in out.sets]
        title = title or out.title
    labels = list(labels) if labels is not None else [f"set {i + 1}" for i in range(len(curves))]
    if offset is None:
        offset = 1.2 * max(float(np.ptp(d)) for _, d, _, _ in curves) if curves else 1.0
    figure, axes = plt.subplots(1, 1, figsize=(7, 2.2 + 1.6 * len(curves)))
    for i, (Q, data, model, background) in enumerate(curves):
        shift = -i * offset
        axes.plot(Q, data + shift, ".", ms=2, color="0.3", label="data" if i == 0 else None)
        axes.plot(Q, model + shift, "-", lw=1.2, color="C3", label="fit" if i == 0 else None)
        axes.plot(Q, data - model + shift - 0.35 * offset, "-", lw=0.8, color="C0",
                  label="residual (shifted)" if i == 0 else None)
        if np.any(background != 0):
            axes.plot(Q, background + shift, "--", lw=0.8, color="C2", label="background" if i == 0 else None)
        axes.text(Q[-1], shift + 0.1 * offset, labels[i] if i < len(labels) else "", ha="right", va="bottom")
    axes.set_xlabel("Q (1/Å)")
    axes.set_ylabel("F(Q), offset per set")
    axes.set_title(title)
    axes.legend(loc="lower right", fontsize="small")
    figure.tight_layout()
    return figure


def basis(source, names=None, add_one=None, offset=1.0, title=None):
    """The basis functions of ``source`` (a Fit, a GFile, an OutFile or a path
    of a ``.g`` or ``.out`` file), each shifted by ``offset`` from the last,
    labelled with ``names``. ``add_one`` shows g(r) when the stored values are
    g(r) - 1 (the default for a Fit with Q-dependent coefficients)."""
    if isinstance(source, str) and source.endswith(".g"):
        from .files import read_g
        source = read_g(source)
    elif isinstance(source, str):
        source = read_out(source)
    r, g = np.asarray(source.r), np.asarray(source.g, np.float64)
    if add_one is None:
        add_one = hasattr(source, "parameters") and bool(source.parameters.qdep_coefficients)
    if add_one:
        g = g + 1.0
    names = _names(names, g.shape[0])
    figure, axes = plt.subplots(figsize=(7, 4.5))
    for i, row in enumerate(g):
        axes.plot(r, row + i * offset, lw=1.2, label=names[i])
    axes.set_xlabel("r (Å)")
    axes.set_ylabel("g(r), offset" if offset else "g(r)")
    if title:
        axes.set_title(title)
    axes.legend(fontsize="small")
    figure.tight_layout()
    return figure


def band(result, names=None, add_one=False, sds=2.0, offset=1.0, reference=None, title=None, axes=None,
         color=None, label=None):
    """The mean of an ensemble (:class:`yosta.EnsembleResult`) or of saved sets
    (:class:`yosta.Spread`) with a band of ``sds`` standard deviations, one
    curve per basis function shifted by ``offset``. ``reference`` is an
    optional (r, rows) pair drawn as black lines (published partials, the
    truth). Draw a second band into the same ``axes`` to compare two."""
    r = np.asarray(result.r)
    mean, sd = np.asarray(result.mean, np.float64), np.asarray(result.sd, np.float64)
    if add_one:
        mean = mean + 1.0
    names = _names(names, mean.shape[0])
    figure = None
    if axes is None:
        figure, axes = plt.subplots(figsize=(7, 5))
    else:
        figure = axes.figure
    for i in range(mean.shape[0]):
        c = color or f"C{i}"
        shift = i * offset
        axes.fill_between(r, mean[i] - sds * sd[i] + shift, mean[i] + sds * sd[i] + shift, color=c, alpha=0.3, lw=0)
        axes.plot(r, mean[i] + shift, color=c, lw=1.2,
                  label=(f"{label}: " if label else "") + names[i] if (color is None or i == 0) else None)
    if reference is not None:
        ref_r, rows = reference
        for i, row in enumerate(np.atleast_2d(rows)):
            axes.plot(ref_r, np.asarray(row) + i * offset, "k-", lw=0.8, label="reference" if i == 0 else None)
    axes.set_xlabel("r (Å)")
    axes.set_ylabel(f"g(r) ± {sds:g} sd, offset" if offset else f"g(r) ± {sds:g} sd")
    if title:
        axes.set_title(title)
    axes.legend(fontsize="small")
    figure.tight_layout()
    return figure


def partial_sq(source, names=None, offset=1.0, title=None):
    """The partial structure factors (Q-dependent coefficients only) of a Fit,
    an OutFile or a ``.out`` path, labelled with ``names``."""
    out = _out(source)
    if out is None:
        Q, S = source.partial_sq()
    else:
        Q, S = out.Q_partial, out.partial_sq
    if len(Q) == 0:
        raise ValueError("no partial S(Q)s: the fit's coefficients do not depend on Q")
    names = _names(names, S.shape[0])
    figure, axes = plt.subplots(figsize=(7, 4.5))
    for i, row in enumerate(S):
        axes.plot(Q, row + i * offset, lw=1.0, label=names[i])
    axes.set_xlabel("Q (1/Å)")
    axes.set_ylabel("partial S(Q), offset" if offset else "partial S(Q)")
    if title:
        axes.set_title(title)
    axes.legend(fontsize="small")
    figure.tight_layout()
    return figure
