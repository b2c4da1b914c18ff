"""Builds the extension module _yosta with CMake (the same build as the
programs, -DYOSTA_PYTHON=ON) and puts it into the package; the project's
metadata are in pyproject.toml."""

import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

TOP = os.path.dirname(os.path.abspath(__file__))


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        target = self.get_ext_fullpath(ext.name)
        work = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        os.makedirs(work, exist_ok=True)
        subprocess.check_call(["cmake", "-S", TOP, "-B", work, "-DCMAKE_BUILD_TYPE=Release", "-DYOSTA_PYTHON=ON",
                               "-DYOSTA_TESTS=OFF", "-DYOSTA_BENCH=OFF", f"-DPython_EXECUTABLE={sys.executable}"])
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.check_call(["cmake", "--build", work, "--target", "_yosta", "-j", jobs])
        built = [f for f in os.listdir(os.path.join(work, "python", "yosta")) if f.startswith("_yosta") and f.endswith(".so")]
        if len(built) != 1:
            raise RuntimeError(f"expected one built module in {work}/python/yosta, found {built}")
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(work, "python", "yosta", built[0]), target)


setup(ext_modules=[CMakeExtension("yosta._yosta")], cmdclass={"build_ext": CMakeBuild})
