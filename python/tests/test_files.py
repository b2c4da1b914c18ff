"""The file readers and writers, statistics, weights and import against the
program and yosta-tools: round trips byte for byte, the same numbers, and
refusals naming file, line and value."""

import os
import re

import numpy as np
import pytest

import yosta
from conftest import EXAMPLES, copy_example, run_program, same_bytes


@pytest.fixture(scope="module")
def results(tmp_path_factory):
    """Two runs of the example with target saving: .g, .gsv and .out of each."""
    folders = []
    for seed in (11, 12):
        folder = copy_example(str(tmp_path_factory.mktemp(f"run{seed}")))
        p = yosta.Parameters.read(os.path.join(folder, "binary.dat"))
        p.save_targets, p.nsave = True, 4
        for s in p.sets:
            s.target_chi2 = 3.0
        p.write(os.path.join(folder, "binary.dat"))
        run_program(["--seed", seed, "--max-moves", 150000, "binary.dat"], cwd=folder)
        folders.append(folder)
    return folders


def test_g_and_gsv_round_trips(results, tmp_path):
    for folder in results:
        g = yosta.read_g(os.path.join(folder, "binary.g"))
        assert g.g.shape == (3, len(g.r)) and 0 < g.accepted < g.generated <= 150000
        g.write(tmp_path / "copy.g")
        assert same_bytes(os.path.join(folder, "binary.g"), tmp_path / "copy.g")
        s = yosta.read_gsv(os.path.join(folder, "binary.gsv"))
        assert s.collect_count > 0 and s.S1.shape == s.S2.shape == g.g.shape
        s.write(tmp_path / "copy.gsv")
        assert same_bytes(os.path.join(folder, "binary.gsv"), tmp_path / "copy.gsv")


def test_out_file_holds_the_run(results):
    folder = results[0]
    out = yosta.read_out(os.path.join(folder, "binary.out"))
    g = yosta.read_g(os.path.join(folder, "binary.g"))
    assert len(out.sets) == 3 and out.title.startswith("Binary Lennard-Jones")
    assert np.array_equal(out.r, g.r)
    assert np.allclose(out.g, g.g + 1.0)  # plotted as g(r) in Q-dependent mode
    assert out.partial_sq.shape == (3, len(out.Q_partial)) and out.sets[0].broadened is None
    assert len(out.sets[0].Q) == 395


def test_statistics_match_yosta_tools(results, tmp_path):
    gsvs = [os.path.join(f, "binary.gsv") for f in results]
    gs = [os.path.join(f, "binary.g") for f in results]
    run_program(["merge"] + gsvs + ["-o", tmp_path / "tools.gsv"], cwd=tmp_path, name="yosta-tools")
    merged = yosta.merge(gsvs, output=tmp_path / "py.gsv")
    assert same_bytes(tmp_path / "tools.gsv", tmp_path / "py.gsv")
    assert merged.nsaved == sum(yosta.read_gsv(p).nsaved for p in gsvs)
    run_program(["merge", "--mean"] + gs + ["-o", tmp_path / "tools.g"], cwd=tmp_path, name="yosta-tools")
    yosta.mean_g(gs, output=tmp_path / "py.g")
    assert same_bytes(tmp_path / "tools.g", tmp_path / "py.g")

    # The final states of the runs as saved sets.
    run_program(["errors"] + gs + ["-o", tmp_path / "errors.txt"], cwd=tmp_path, name="yosta-tools")
    table = np.loadtxt(tmp_path / "errors.txt", comments="#", skiprows=2)
    spread = yosta.errors(gs)
    assert spread.nsets == 2
    n = spread.mean.shape[0]
    assert np.allclose(table[:, 0], spread.r)
    for p in range(n):
        columns = table[:, 1 + 3 * p:4 + 3 * p]
        assert np.allclose(columns[:, 0], spread.mean[p], atol=2e-6)
        assert np.allclose(columns[:, 1], spread.sd[p], atol=2e-6)
        assert np.allclose(columns[:, 2], spread.se[p], atol=2e-6)
    states = yosta.stats.states(gs)
    states.write(tmp_path / "states.gsv")
    again = yosta.errors(tmp_path / "states.gsv")
    assert np.array_equal(again.sd, spread.sd) and np.array_equal(again.mean, spread.mean)

    done = run_program(["misfit", os.path.join(results[0], "binary.out")], cwd=tmp_path, name="yosta-tools")
    rows = [line.split() for line in done.stdout.splitlines() if re.match(r"^\d+\s", line)]
    mine = yosta.misfit(os.path.join(results[0], "binary.out"))
    assert len(rows) == len(mine) == 3
    for row, m in zip(rows, mine):
        assert int(row[1]) == m.points
        for text, value in zip(row[4:7], (m.rms, m.mean, m.rms_data)):
            assert float(text) == pytest.approx(value, rel=1e-3, abs=1e-8)


def test_spread_refuses_one_set(results, tmp_path):
    s = yosta.stats.states([os.path.join(results[0], "binary.g")])
    assert s.nsaved == 1
    with pytest.raises(yosta.InputError, match="holds 1 saved set"):
        yosta.errors(s)


def test_data_files_round_trip(tmp_path):
    data = yosta.read_data(os.path.join(EXAMPLES, "binary_F1.dat"))
    assert data.dtype.names == ("Q", "F", "w_AA", "w_AB", "w_BB")
    assert len(data) == 395 and data["Q"][0] == 0.3
    yosta.write_data(tmp_path / "copy.dat", data, title="copy")
    again = yosta.read_data(tmp_path / "copy.dat")
    assert again.dtype.names == data.dtype.names
    for name in data.dtype.names:
        assert np.array_equal(again[name], data[name])
    plain = yosta.read_data(tmp_path / "copy.dat", names=["Q", "F", "a", "b", "c"])
    assert np.array_equal(plain["c"], data["w_BB"])


@pytest.mark.parametrize("text,line,value", [
    ("3\n1 0\n0.1 0.0 1.0\n0.2 x 1.0\n0.3 0.0 1.0\n", 4, "x"),
    ("3\n1 0\n0.1 0.0 1.0\n0.2 nan 1.0\n0.3 0.0 1.0\n", 4, "nan"),
])
def test_bad_files_name_file_line_and_value(tmp_path, text, line, value):
    g = tmp_path / "bad.g"
    g.write_text(text)
    with pytest.raises(yosta.InputError) as caught:
        yosta.read_g(g)
    assert caught.value.file == str(g) and caught.value.line == line and caught.value.value == value
    d = tmp_path / "bad.dat"
    d.write_text("Q F E\n" + "\n".join(text.splitlines()[2:]) + "\n")
    with pytest.raises(yosta.InputError) as caught:
        yosta.read_data(d)
    assert str(d) in str(caught.value) and value in str(caught.value)


def test_weights_match_yosta_tools(tmp_path):
    contrasts = {"H2O": "", "D2O": "H:D=1", "HDO": "H:D=0.5,H=0.5"}
    w = yosta.weights.neutron("O:1 H:2", contrasts=contrasts)
    assert w.pairs == ["O-O", "O-H", "H-H"]
    args = ["weights", "neutron", "--composition", "O:1 H:2", "--paste"]
    for name, setting in contrasts.items():
        args += ["--contrast", f"{name}:{setting}" if setting else name]
    done = run_program(args, cwd=tmp_path, name="yosta-tools")
    # Each pasted record: the coefficients, then their pair labels (text the
    # parameter reader passes over).
    lines = [[float(x) for x in line.split()[:len(w.pairs)]] for line in done.stdout.splitlines() if line.strip()]
    assert all(line.split()[len(w.pairs):len(w.pairs) * 2] == w.pairs for line in done.stdout.splitlines())
    for row, name in zip(lines, contrasts):
        assert np.allclose(row, w.weights[name], rtol=1e-5)
    assert 1 < w.condition < np.inf
    with pytest.raises(yosta.InputError):
        yosta.weights.neutron("O:1 Xx:2")

    source = tmp_path / "q.dat"
    source.write_text("".join(f"{0.5 + 0.5 * k} {0.1 + k}\n" for k in range(20)))
    run_program(["weights", "xray", "--composition", "O:1 H:2", "--q-from", source, "-o", tmp_path / "x.dat"],
                cwd=tmp_path, name="yosta-tools")
    written = yosta.read_data(tmp_path / "x.dat")
    pairs, xw = yosta.weights.xray("O:1 H:2", written["Q"])
    assert pairs == ["O-O", "O-H", "H-H"]
    for j, name in enumerate(written.dtype.names[2:]):
        assert np.allclose(written[name], xw[:, j], rtol=1e-5)


def test_import_matches_yosta_tools(tmp_path):
    source = tmp_path / "measured.txt"
    source.write_text("# Q S\n" + "".join(f"{0.30 + 0.05 * k:.3f} {np.sin(0.3 * k):.6f}\n" for k in range(200)))
    run_program(["import", source, "-o", tmp_path / "tools.dat", "--dq", "0.05", "--error", "0.01"], cwd=tmp_path,
                name="yosta-tools")
    written = yosta.import_data(source, output=tmp_path / "py.dat", dq=0.05, error=0.01)
    assert same_bytes(tmp_path / "tools.dat", tmp_path / "py.dat")
    only = yosta.import_data(source, dq=0.05, error=0.01)
    assert only.dtype.names == ("Q", "F", "error")
    assert np.allclose(only["Q"], written["Q"]) and np.allclose(only["F"], written["F"], atol=1e-6)
    with pytest.raises(yosta.InputError):
        yosta.import_data(tmp_path / "missing.txt")
