"""Builds voved32._native through the project's CMake build.

The extension is the CMake target ``voved32_native`` (python/CMakeLists.txt),
which links the library's static target: the sources and compile options are
CMake's, never listed twice. The checkout's root is this folder's parent.
Set VOVED_CMAKE_BUILD_DIR to keep (and reuse) the CMake build folder.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

import pybind11
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent


def project_version() -> str:
    """The version of project(Voved32 VERSION x.y.z), the project's one place
    for it (the library's SONAME and the packages take it from there too)."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*Voved32\s+VERSION\s+([0-9.]+)", text)
    if found is None:
        raise RuntimeError(f"no project(Voved32 VERSION ...) in {ROOT / 'CMakeLists.txt'}")
    return found.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not (ROOT / "src" / "CMakeLists.txt").is_file():
            raise RuntimeError(f"{ROOT} is not a Voved32 checkout: build the package from "
                               "python/ inside the checkout (pip builds it in place)")
        target = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve()
        kept = os.environ.get("VOVED_CMAKE_BUILD_DIR")
        build_dir = pathlib.Path(kept or tempfile.mkdtemp(prefix="voved32-"))
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(build_dir), *generator,
             "-DCMAKE_BUILD_TYPE=Release",
             "-DVOVED_BUILD_PYTHON=ON", "-DVOVED_BUILD_TESTS=OFF",
             f"-DPython_EXECUTABLE={sys.executable}",
             f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"],
            check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "voved32_native",
                        "-j", jobs], check=True)
        built = next((build_dir / "python").glob("_native*.so"))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)
        if not kept:
            shutil.rmtree(build_dir, ignore_errors=True)


setup(version=project_version(),
      ext_modules=[Extension("voved32._native", sources=[])],
      cmdclass={"build_ext": CMakeBuild})
