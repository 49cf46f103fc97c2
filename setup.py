"""Builds the tessera Python module for pip and python3 -m build.

setuptools only packs: the extension is configured and built by the project's own CMake files,
with the editor, the batch command and the tests left out, so only the module and the libraries
it links statically are compiled. The version is read from the top CMakeLists.txt, the one number
the module's __version__ and tessera-scale --version also report.
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).resolve().parent


def project_version():
    """The VERSION of project(Tessera ...) in the top CMakeLists.txt."""
    text = (SOURCE / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*Tessera\s+VERSION\s+([0-9]+(?:\.[0-9]+)*)", text)
    if found is None:
        raise RuntimeError("CMakeLists.txt: no 'project(Tessera VERSION ...)' to take the version from")
    return found.group(1)


class CMakeExtension(Extension):
    """The module built by the CMake target tessera_python; setuptools compiles no source itself."""

    def __init__(self, name):
        super().__init__(name, sources=[])


class BuildWithCMake(build_ext):
    def build_extension(self, ext):
        build_dir = pathlib.Path(self.build_temp).resolve() / "cmake"
        configuration = "Debug" if self.debug else "Release"
        # The module is built for the interpreter running this build (a venv's included), whose
        # extension suffix setuptools also gives the file.
        subprocess.run(["cmake", "-S", str(SOURCE), "-B", str(build_dir),
                        f"-DCMAKE_BUILD_TYPE={configuration}",
                        f"-DPython3_EXECUTABLE={sys.executable}",
                        "-DTESSERA_BUILD_EDITOR=OFF", "-DTESSERA_BUILD_BATCH=OFF",
                        "-DTESSERA_BUILD_TESTS=OFF", "-DTESSERA_BUILD_PYTHON=ON"], check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        command = ["cmake", "--build", str(build_dir), "--target", "tessera_python", "-j", jobs]
        if subprocess.run(command, check=False).returncode != 0:
            # CMake leaves the target out, with a note above, when it lacks the headers.
            raise RuntimeError("building the tessera module failed; it needs cmake, a C++20 compiler, "
                               "Python's headers (python3-dev) and pybind11 (pybind11-dev)")
        built = sorted((build_dir / "python").glob("tessera.*.so"))
        if len(built) != 1:
            raise RuntimeError(f"expected one built module in {build_dir / 'python'}, found {built}")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


# Everything setuptools writes (metadata included) goes beside the CMake presets' folders, which are
# git-ignored already; the wheel itself goes to dist/.
BUILD_BASE = "build/pip"
os.makedirs(BUILD_BASE, exist_ok=True)

setup(
    version=project_version(),
    ext_modules=[CMakeExtension("tessera")],
    cmdclass={"build_ext": BuildWithCMake},
    # The module is the one extension: no Python package is looked for among the source folders.
    packages=[],
    py_modules=[],
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
    zip_safe=False,
)
