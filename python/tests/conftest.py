"""Shared fixtures: the programs of the build, the source tree's examples in a
scratch folder, and running the program on them."""

import os
import shutil
import subprocess

import pytest

SOURCE = os.environ.get("YOSTA_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
EXAMPLES = os.path.join(SOURCE, "examples")


def program(name):
    path = os.environ.get("YOSTA_BINARY" if name == "yosta" else "YOSTA_TOOLS_BINARY")
    if not path:
        path = os.path.join(SOURCE, "build", name)
    if not os.path.exists(path):
        pytest.skip(f"{name} is not built")
    return path


def run_program(args, cwd, name="yosta", check=True):
    done = subprocess.run([program(name)] + [str(a) for a in args], cwd=cwd, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL)
    if check and done.returncode not in (0, 10):
        raise AssertionError(f"{name} {args} exited {done.returncode}:\n{done.stdout}\n{done.stderr}")
    return done


def copy_example(folder, names=("binary.dat", "binary_F1.dat", "binary_F2.dat", "binary_F3.dat")):
    os.makedirs(folder, exist_ok=True)
    for n in names:
        shutil.copy(os.path.join(EXAMPLES, n), folder)
    return folder


@pytest.fixture
def example(tmp_path):
    """A scratch copy of the bundled example (binary.dat and its data files)."""
    return copy_example(str(tmp_path / "example"))


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()
