"""Builds the native module pmedian._pmedian with the project's CMake build
for the interpreter that runs pip; pyproject.toml holds the metadata."""

import os
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        package_dir = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        args = [
            f"-DPython_EXECUTABLE={sys.executable}",
            f"-DPMEDIAN_PYTHON_PACKAGE_DIR={package_dir}",
            "-DCMAKE_BUILD_TYPE=Release",
            "-DPMEDIAN_TESTS=OFF",
        ]
        try:
            import pybind11  # the index's pybind11; Debian's is found by CMake itself
            args.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass
        build_dir = os.path.join(os.path.abspath(self.build_temp), "cmake")
        subprocess.check_call(["cmake", "-S", ROOT, "-B", build_dir] + args)
        subprocess.check_call(["cmake", "--build", build_dir, "--target", "_pmedian", "-j", str(os.cpu_count() or 2)])


setup(ext_modules=[Extension("pmedian._pmedian", sources=[])], cmdclass={"build_ext": CMakeBuild})
