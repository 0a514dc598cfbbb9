"""The build backend of pyproject.toml: setuptools' own, with the extension
mthc._mthc built by the project's CMake build (the `mthc_python` target of
python/CMakeLists.txt), so that the library's sources are listed once, in
src/CMakeLists.txt, and the version comes from the one project() of
CMakeLists.txt.

pip and `python3 -m build` run it from the root of the sources. CMake
builds for the interpreter that runs the build, in build/pip/ (beside the
presets' folders), a folder per interpreter; pip then installs the package
(python/mthc) with the extension beside it.
"""

import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import sys

import setuptools
from setuptools import build_meta
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent.parent
# Where setuptools and CMake build, relative to the root.
BUILD_FOLDER = "build/pip"
# What CMake reads to configure the project and build the module: carried by
# a source distribution, so that it builds as a clone does.
CMAKE_SOURCES = ["CMakeLists.txt", "LICENSE", "README.md", "cmake", "examples", "include",
                 "programs", "python", "src", "tests/support/midi_quantity.hpp"]
MINIMUM_CMAKE = (3, 25)
MINIMUM_SETUPTOOLS = (61,)


def project_version() -> str:
    """The version in project(mthc VERSION x.y.z ...) of CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"\bproject\(\s*mthc\s+VERSION\s+([0-9]+(?:\.[0-9]+)*)", text)
    if match is None:
        raise RuntimeError("CMakeLists.txt: no project(mthc VERSION ...) to take the version from")
    return match.group(1)


def _version_tuple(text: str) -> tuple:
    return tuple(int(part) for part in re.findall(r"[0-9]+", text)[:2])


def _cmake_version(cmake: str) -> tuple:
    try:
        out = subprocess.run([cmake, "--version"], capture_output=True, text=True,
                             check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return ()
    match = re.search(r"version ([0-9.]+)", out)
    return _version_tuple(match.group(1)) if match else ()


def _missing_tools() -> list:
    """The build tools to install from the index: those the machine lacks."""
    missing = []
    cmake = shutil.which("cmake")
    if cmake is None or _cmake_version(cmake) < MINIMUM_CMAKE:
        missing.append("cmake>=%d.%d" % MINIMUM_CMAKE)
    if shutil.which("ninja") is None and shutil.which("make") is None:
        missing.append("ninja")
    return missing


class BuildWithCMake(build_ext):
    """Builds mthc._mthc with CMake rather than from a list of sources."""

    def build_extension(self, ext: setuptools.Extension) -> None:
        # A CMake build per interpreter: setuptools' folder is shared by every
        # interpreter of a version (two venvs, Debian's and pyenv's), but
        # CMake keeps the first one's headers in its cache.
        interpreter = hashlib.sha256(os.fsencode(sys.executable)).hexdigest()[:12]
        build = pathlib.Path(self.build_temp).resolve() / f"cmake-{interpreter}"
        build.mkdir(parents=True, exist_ok=True)
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DMTHC_BUILD_TESTS=OFF", "-DMTHC_BUILD_PYTHON=ON",
                     f"-DPython3_EXECUTABLE={sys.executable}"]
        if not (build / "CMakeCache.txt").exists() and shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        # pybind11 from the index (an isolated build) or Debian's
        # python3-pybind11; else CMake looks where pybind11-dev puts it.
        try:
            import pybind11
            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass
        compile_ = ["cmake", "--build", str(build), "--target", "mthc_python", "--config", "Release"]
        if "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
            compile_ += ["--parallel", str(os.cpu_count() or 1)]
        subprocess.run(configure, check=True)
        subprocess.run(compile_, check=True)

        built = sorted((build / "python" / "mthc").glob("_mthc.*"))
        if len(built) != 1:
            raise RuntimeError(f"CMake's build of mthc._mthc left {built} in {build}")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)

    def get_source_files(self) -> list:
        files = []
        for name in CMAKE_SOURCES:
            path = ROOT / name
            found = [path] if path.is_file() else sorted(p for p in path.rglob("*") if p.is_file())
            files += [p.relative_to(ROOT).as_posix() for p in found
                      if "__pycache__" not in p.parts and not p.name.startswith("_mthc.")]
        return files


def _setup() -> None:
    # Older ones ignore pyproject.toml's [project] and build a package named
    # UNKNOWN without a word; pip checks the version only where it installs
    # the build's requirements itself.
    if _version_tuple(setuptools.__version__) < MINIMUM_SETUPTOOLS:
        raise RuntimeError("mthc needs setuptools %d or later to build, not %s: "
                           "pip install -U setuptools" % (MINIMUM_SETUPTOOLS[0],
                                                          setuptools.__version__))
    (ROOT / BUILD_FOLDER).mkdir(parents=True, exist_ok=True)
    setuptools.setup(
        version=project_version(),
        ext_modules=[setuptools.Extension("mthc._mthc", sources=[])],
        cmdclass={"build_ext": BuildWithCMake},
        options={"build": {"build_base": BUILD_FOLDER}, "egg_info": {"egg_base": BUILD_FOLDER}},
    )


class _Backend(build_meta._BuildMetaBackend):
    """setuptools' backend, with the setup above in place of a setup.py."""

    def run_setup(self, setup_script: str = "setup.py") -> None:
        _setup()

    def get_requires_for_build_wheel(self, config_settings=None) -> list:
        return super().get_requires_for_build_wheel(config_settings) + _missing_tools()


_backend = _Backend()
get_requires_for_build_wheel = _backend.get_requires_for_build_wheel
get_requires_for_build_sdist = _backend.get_requires_for_build_sdist
prepare_metadata_for_build_wheel = _backend.prepare_metadata_for_build_wheel
build_wheel = _backend.build_wheel
build_sdist = _backend.build_sdist
# Editable installs (pip install -e), where setuptools has them.
if hasattr(_backend, "build_editable"):
    get_requires_for_build_editable = _backend.get_requires_for_build_editable
    prepare_metadata_for_build_editable = _backend.prepare_metadata_for_build_editable
    build_editable = _backend.build_editable
