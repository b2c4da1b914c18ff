"""Scattering weights of a composition, as ``yosta-tools weights`` gives them.

>>> w = neutron("O:1 H:2", contrasts={"H2O": "", "D2O": "H:D=1", "HDO": "H:D=0.5,H=0.5"})
>>> w.pairs
['O-O', 'O-H', 'H-H']
>>> w.weights["D2O"]      # the coefficient record of that data set, in barn
"""

from dataclasses import dataclass, field

import numpy as np

from . import _yosta

__all__ = ["NeutronWeights", "neutron", "xray"]


@dataclass
class NeutronWeights:
    """Faber-Ziman weights (2 - d_ij) c_i c_j b_i b_j in barn, one array per
    contrast in pair order, the weight matrix (one row a contrast) and its
    condition number (largest over smallest singular value; infinite when the
    contrasts cannot determine the partials)."""
    pairs: list
    weights: dict
    sites: list
    fractions: np.ndarray
    b: dict = field(default_factory=dict)

    @property
    def matrix(self):
        return np.array([self.weights[c] for c in self.weights])

    @property
    def condition(self):
        m = self.matrix
        if m.shape[0] < m.shape[1]:
            return float("inf")
        s = np.asarray(_yosta.singular_values(m.tolist()))
        return float(s[0] / s[-1]) if s[-1] > 1e-12 * s[0] else float("inf")


def neutron(composition, isotopes=(), contrasts=None):
    """Neutron weights of ``composition`` ("O:1 H:2").

    ``isotopes`` are settings for every contrast ("H:D=0.5,H=0.5");
    ``contrasts`` maps a name to its own isotope settings (several separated
    by ';' or blanks, "" for the natural elements). Without contrasts the
    result has one contrast named "". Bad text raises InputError."""
    if isinstance(isotopes, str):
        isotopes = [isotopes]
    given = contrasts if contrasts is not None else {"": ""}
    weights, b, first = {}, {}, None
    for name, settings in given.items():
        d = _yosta.neutron_weights(composition, list(isotopes) + ([settings] if settings else []))
        weights[name] = np.asarray(d["weights"])
        b[name] = np.asarray(d["b"])
        first = first or d
    return NeutronWeights(pairs=list(first["pairs"]), weights=weights, sites=list(first["sites"]),
                          fractions=np.asarray(first["fractions"]), b=b)


def xray(composition, Q, normalise="fsq"):
    """X-ray weights (2 - d_ij) c_i c_j f_i(Q) f_j(Q) / N at every Q, one row a
    Q point and one column a pair, with N = <f^2> ("fsq") or <f>^2 ("fmean2")
    and the form factors of xraylib. Returns (pairs, weights)."""
    if normalise not in ("fsq", "fmean2"):
        raise ValueError(f"normalise {normalise!r}: write 'fsq' (<f^2>) or 'fmean2' (<f>^2)")
    d = _yosta.xray_weights(composition, np.asarray(Q, np.float64).ravel(), normalise == "fsq")
    return list(d["pairs"]), np.asarray(d["weights"])
