"""K independent fits of one parameter file on the local cores, each in a
process of its own, and the mean and spread of their final basis functions."""

import os
from dataclasses import dataclass

import numpy as np

from . import _yosta
from .parameters import Parameters

__all__ = ["EnsembleResult", "ensemble"]


@dataclass
class EnsembleResult:
    """The final basis functions of every member (``members[k]``, one row per
    basis function), their mean and standard deviation (n - 1), the standard
    error of the mean, each member's seed and chi-squared per data set."""
    r: np.ndarray
    members: np.ndarray
    mean: np.ndarray
    sd: np.ndarray
    se: np.ndarray
    seeds: list
    chi2: np.ndarray


def _member(args):
    name, text, folder, moves, seconds, seed, root = args
    from .fit import Fit
    p = Parameters.from_text(text, name)
    object.__setattr__(p, "path", name if os.path.isabs(name) else os.path.join(folder, os.path.basename(name)))
    fit = Fit(p)
    fit.run(moves=moves, seconds=seconds, seed=seed)
    if root is not None:
        fit.save(root)
    return fit.r.copy(), fit.g.copy(), fit.chi2


def ensemble(parameters, k, moves=None, seconds=None, seed=1000, jobs=None, folder=None):
    """Runs ``k`` fits of ``parameters`` (a path or a Parameters object), each
    with its own seed derived from ``seed`` as ``yosta-tools ensemble`` derives
    them, at most ``jobs`` at once (default: the number of cores), in
    separate processes. With ``folder`` every member saves its result files
    there as ``member_NNN``. Returns an :class:`EnsembleResult`."""
    if not isinstance(parameters, Parameters):
        parameters = Parameters.read(parameters)
    if k < 1:
        raise ValueError("an ensemble needs at least one member")
    parameters.validate()
    name = os.path.abspath(parameters.path) if parameters.path else os.path.join(os.getcwd(), "parameters")
    seeds = [_yosta.member_seed(int(seed), i + 1) for i in range(k)]
    if folder is not None:
        os.makedirs(folder, exist_ok=True)
    tasks = [(name, parameters.text(), parameters.folder, moves, seconds, s,
              None if folder is None else os.path.join(os.path.abspath(folder), f"member_{i + 1:03d}"))
             for i, s in enumerate(seeds)]
    jobs = jobs or os.cpu_count() or 1
    import multiprocessing
    from concurrent.futures import ProcessPoolExecutor
    with ProcessPoolExecutor(max_workers=min(jobs, k), mp_context=multiprocessing.get_context("spawn")) as pool:
        results = list(pool.map(_member, tasks))
    r = results[0][0]
    members = np.stack([g for _, g, _ in results])
    sd = members.std(axis=0, ddof=1) if k > 1 else np.zeros_like(members[0])
    return EnsembleResult(r=r, members=members, mean=members.mean(axis=0), sd=sd, se=sd / np.sqrt(k), seeds=seeds,
                          chi2=np.stack([c for _, _, c in results]))
