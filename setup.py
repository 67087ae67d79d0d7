"""The package's build step: CMake builds the extension veltrin._veltrin for the
interpreter running this script; the version is the one CMakeLists.txt gives."""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).resolve().parent


def version():
    project = re.search(r"^project\(veltrin VERSION ([0-9.]+)", (SOURCE / "CMakeLists.txt").read_text(), re.M)
    return project.group(1)


def cores():
    return len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count() or 1


class cmake_build(build_ext):
    def build_extension(self, ext):
        # A build directory of its own under setuptools' one, with only what the module needs.
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        environment = dict(os.environ)
        environment.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", str(cores()))
        configure = ["cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DVELTRIN_TESTS=OFF", "-DVELTRIN_BENCH=OFF", "-DVELTRIN_PYTHON=ON",
                     f"-DPython_EXECUTABLE={sys.executable}"]
        if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True, env=environment)
        subprocess.run(["cmake", "--build", str(build), "--target", "veltrin_python"], check=True, env=environment)
        built = build / "python" / "veltrin" / os.path.basename(self.get_ext_filename(ext.name))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=version(),
    ext_modules=[Extension("veltrin._veltrin", sources=[])],
    cmdclass={"build_ext": cmake_build},
    # Out of CMake's build/ (the presets' directory): setuptools' own files go to build-python/.
    options={"build": {"build_base": "build-python"}, "egg_info": {"egg_base": "build-python"}},
)
