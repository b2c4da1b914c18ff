"""Parameter files as objects: read, change any record by name, check, write back."""

import os

from . import _yosta

__all__ = ["Parameters"]


class Parameters:
    """The records of a parameter file.

    Every record is an attribute with the name the user guide gives it
    (``title``, ``density``, ``rmax``, ``sets[0].sigma``, ...). The constraint
    lists (``zero``, ``positivity``, ``coordination``) are lists of
    constraint objects that can be changed in place or appended to; the
    Gaussian ranges are ``ranges``. ``nsets_fixed`` and ``nsets_qdep`` say how
    many data-set blocks are written (the fixed ones first).

    >>> p = Parameters.read("examples/binary.dat")
    >>> p.sets[0].sigma = 0.005
    >>> p.rmax = 10
    >>> p.write("binary_edited.dat")

    ``validate()`` reads the text that ``write`` would write with the
    program's own reader and raises :class:`yosta.InputError` with the
    program's message when the program would refuse it.
    """

    _own = ("_raw", "path")

    def __init__(self, raw=None, path=None):
        object.__setattr__(self, "_raw", raw if raw is not None else _yosta.RunParameters())
        object.__setattr__(self, "path", path)

    @classmethod
    def read(cls, path):
        """Reads a parameter file; a file the program refuses raises InputError."""
        path = os.fspath(path)
        return cls(_yosta.read_parameters(path), path)

    @classmethod
    def from_text(cls, text, name="parameters"):
        """Parameters from the text of a parameter file (``name`` is used in messages)."""
        return cls(_yosta.parameters_from_text(name, text), None)

    def copy(self):
        """An independent copy."""
        return Parameters(self._raw.copy(), self.path)

    @property
    def folder(self):
        """The folder relative names are taken from: the file's own folder."""
        return os.path.dirname(os.path.abspath(self.path)) if self.path else os.getcwd()

    @property
    def nsets(self):
        """The number of data sets (nsets_fixed + nsets_qdep)."""
        return self._raw.nsets_fixed + self._raw.nsets_qdep

    @property
    def sets(self):
        """The data-set blocks, in file order; changes go to these parameters."""
        n = max(0, min(self.nsets, _yosta.max_sets))
        return [self._raw.set(i) for i in range(n)]

    @property
    def ranges(self):
        """The Gaussian move ranges (``width``, ``rch``) of smoothing type 3."""
        n = max(0, min(self._raw.nranges, _yosta.max_ranges))
        return [self._raw.range(i) for i in range(n)]

    def text(self):
        """The parameter file as the program reads it."""
        return _yosta.parameter_text(self._raw)

    def validate(self):
        """Raises InputError with the program's message when the program would refuse the file."""
        _yosta.parameters_from_text(self.path or "parameters", self.text())
        return self

    def write(self, path):
        """Checks the parameters and writes them as a parameter file."""
        path = os.fspath(path)
        text = self.text()
        _yosta.parameters_from_text(path, text)
        tmp = path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(tmp, path)
        return path

    def __getattr__(self, name):
        return getattr(self._raw, name)

    def __setattr__(self, name, value):
        if name in self._own:
            object.__setattr__(self, name, value)
            return
        if name.startswith("_") or not hasattr(self._raw, name):
            raise AttributeError(f"a parameter file has no record named {name!r}")
        setattr(self._raw, name, value)

    def __dir__(self):
        return sorted(set(dir(type(self)) | {n for n in dir(self._raw) if not n.startswith("_")}))

    def __repr__(self):
        return f"Parameters({self.path or self.title!r}: {self.nbasis} basis functions, {self.nsets} data sets)"
