"""Parameter files as objects: edits by name, the written file read by the
program as the original, and refusals with the program's own messages."""

import os

import numpy as np
import pytest

import yosta
from conftest import EXAMPLES, copy_example, run_program, same_bytes


def test_edits_by_name_reach_the_written_file(tmp_path):
    p = yosta.Parameters.read(os.path.join(EXAMPLES, "binary.dat"))
    p.sets[0].sigma = 0.005
    p.rmax = 10
    p.title = "edited"
    p.zero[1].r_to = 2.5
    p.positivity.append(yosta._yosta.PositivityConstraint(1, 0.0, 3.0))
    p.coordination.append(yosta._yosta.CoordinationConstraint(2, 2.65, 5.15, 0.5, 1.0, 5.6, 0.5))
    path = p.write(tmp_path / "edited.dat")
    q = yosta.Parameters.read(path)
    assert q.sets[0].sigma == np.float32(0.005) and q.rmax == 10.0 and q.title == "edited"
    assert q.zero[1].r_to == 2.5 and len(q.positivity) == 4 and q.positivity[3].r_to == 3.0
    assert len(q.coordination) == 1 and q.coordination[0].coordination == np.float32(5.6)
    assert q.sets[1].sigma == p.sets[1].sigma and q.text() == p.text()
    with pytest.raises(AttributeError):
        p.no_such_record = 1
    with pytest.raises(TypeError):
        p.rmax = "ten"


@pytest.mark.parametrize("name", ["binary.dat", "binary_fixed.dat"])
def test_the_program_reads_the_written_file_as_the_original(tmp_path, name):
    """The program run on the file as written makes the run of the original."""
    names = (name,) + (("binary_F1.dat", "binary_F2.dat", "binary_F3.dat") if name == "binary.dat"
                       else ("fixed_F1.dat", "fixed_F2.dat", "fixed_F3.dat"))
    a = copy_example(str(tmp_path / "a"), names)
    b = copy_example(str(tmp_path / "b"), names)
    yosta.Parameters.read(os.path.join(b, name)).write(os.path.join(b, name))
    for folder in (a, b):
        run_program(["--seed", 31, "--max-moves", 5000, name], cwd=folder)
    root = yosta.Parameters.read(os.path.join(a, name)).root
    for ext in (".g", ".out"):
        assert same_bytes(os.path.join(a, root + ext), os.path.join(b, root + ext))


# Bad parameter files: (what to change in the example's text, the message's
# first line as the program prints it).
BAD = [
    (("0.0200     density", "-0.02 density"), "Number density must be positive, found -0.02"),
    (("3          nbasis", "11         nbasis"), "Too many partials"),
    (("3          nbasis", "x          nbasis"), "Error reading file"),
    (("0.1        max_change", "0.0 max_change"), "Maximum change of a g(r) value must not be zero"),
    (("2  15.0    Mr, rmax", "2000 15.0"), "Mr to large, should be less than max_mr"),
    (("1  0.0  2.40      AA", "4  0.0  2.40"), "Zero constraint 1: basis function must be between 1 and 3"),
    (("0.003      sigma", "1e-30 sigma"), "is so small that 1/error^2 overflows"),
    (("0  3       nsets_fixed, nsets_qdep", "0  7"), "Too many total F(Q)s"),
    (("1  395     q_first, q_last", "9  3"), "Data set 1: first and last data points must satisfy"),
    (("1000000    report_interval", "nan"), "Error reading file"),
]


@pytest.mark.parametrize("change,start", BAD)
def test_refusals_carry_the_programs_message(tmp_path, monkeypatch, change, start):
    folder = copy_example(str(tmp_path / "bad"))
    monkeypatch.chdir(folder)  # the messages name the file as it is given
    path = "binary.dat"
    with open(path) as f:
        text = f.read()
    assert change[0] in text
    with open(path, "w") as f:
        f.write(text.replace(change[0], change[1], 1))
    done = run_program(["--seed", 1, "--max-moves", 10, "binary.dat"], cwd=folder, check=False)
    assert done.returncode == 1
    with pytest.raises(yosta.InputError) as caught:
        yosta.Parameters.read(path)
    message = str(caught.value)
    assert start in message.split("\n")[0]
    # Every line of the message, as the program wrote it.
    for line in message.split("\n"):
        assert line in done.stdout.split("\n"), f"{line!r} not in the program's output:\n{done.stdout}"
    assert caught.value.file in (path, None)
    if "line" in message:
        assert isinstance(caught.value.line, int) and caught.value.line > 0
    # Also when the object is checked or set up as a fit.
    with pytest.raises(yosta.InputError):
        yosta.Fit(path)


def test_validate_reports_an_edit_the_program_refuses(tmp_path):
    p = yosta.Parameters.read(os.path.join(EXAMPLES, "binary.dat"))
    p.validate()
    p.nbasis = 0
    with pytest.raises(yosta.InputError, match="Number of basis functions must be at least 1, found 0") as caught:
        p.validate()
    assert caught.value.line == 6 and caught.value.value == "0"
    with pytest.raises(yosta.InputError):
        p.write(tmp_path / "refused.dat")
    assert not os.path.exists(tmp_path / "refused.dat")


@pytest.mark.parametrize("message,expected", [
    ('Error reading file "a b.dat", line 12: expected largest r, rmax (real), found "x"',
     ("a b.dat", 12, "largest r, rmax (real)", "x")),
    ('Error reading file "p", line 3: expected number density (real), found end of file',
     ("p", 3, "number density (real)", None)),
    ('Number density must be positive, found -1 (file "p.dat", line 5)',
     ("p.dat", 5, "Number density must be positive", "-1")),
    ('Error reading file "d", line 2: standard deviation of data set 1 (real) is so small that 1/error^2 '
     'overflows, found "1e-30"',
     ("d", 2, "standard deviation of data set 1 (real) is so small that 1/error^2 overflows", "1e-30")),
    ("Not enough data sets", (None, None, "Not enough data sets", None)),
])
def test_the_place_named_by_a_message(message, expected):
    assert yosta._yosta._locate(message) == expected
