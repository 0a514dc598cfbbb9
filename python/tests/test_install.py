"""The package as pip installs it: from a clean copy of the sources into a
fresh venv, offline (--no-build-isolation --no-index, with the setuptools,
wheel and pybind11 of the interpreter running the tests, which the venv
sees through --system-site-packages), built for the venv's interpreter;
imported from another folder, with the version of the tools in its
metadata; a wheel from `pip wheel`; a source distribution that CMake
configures; and gone again after `pip uninstall`.

This builds the library and the module once more (a minute or two)."""

import json
import os
import pathlib
import shutil
import subprocess
import sys
import tarfile
import zipfile

import pytest

from samples import MTHC_PACK, SMF

SOURCES = pathlib.Path(os.environ["MTHC_SOURCE_DIR"])


def clean_copy(to):
    """The sources as a clone of them has them: the files git knows, as they
    are now (a tree that is not a git checkout, less its build folders)."""
    listed = None
    if shutil.which("git"):
        listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others",
                                 "--exclude-standard"], cwd=SOURCES, capture_output=True,
                                check=False)
    if listed is not None and listed.returncode == 0:
        for name in listed.stdout.decode().split("\0"):
            if name and (SOURCES / name).is_file():
                (to / name).parent.mkdir(parents=True, exist_ok=True)
                shutil.copy2(SOURCES / name, to / name)
    else:
        shutil.copytree(SOURCES, to, dirs_exist_ok=True,
                        ignore=shutil.ignore_patterns("build", "out", ".git", "__pycache__"))
    assert (to / "pyproject.toml").is_file() and not (to / "build").exists()


# What the venv runs sees of the environment: not the build tree's package,
# which CTest puts on PYTHONPATH.
CLEAN_ENV = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}


def run(*command, env=CLEAN_ENV, **options):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True, check=False,
                          env=env, **options)
    assert done.returncode == 0, f"{command}:\n{done.stdout}\n{done.stderr}"
    return done.stdout


IMPORTED = """
import importlib.metadata, json, sys, mthc
midi = sys.stdin.buffer.read()
print(json.dumps({"file": mthc.__file__, "version": mthc.__version__,
                  "metadata": importlib.metadata.version("mthc"),
                  "round_trip": mthc.unpack(mthc.pack(midi, level="fast")) == midi,
                  "executable": sys.executable}))
"""


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    """A venv with mthc installed by pip from a clean copy of the sources."""
    folder = tmp_path_factory.mktemp("install")
    clone, venv = folder / "clone", folder / "venv"
    clone.mkdir()
    clean_copy(clone)
    run(sys.executable, "-m", "venv", "--system-site-packages", venv)
    python = venv / "bin" / "python"
    run(python, "-m", "pip", "install", "--no-build-isolation", "--no-index", clone)
    return folder, clone, python


def site_packages(python):
    return pathlib.Path(run(python, "-c", "import sysconfig; print(sysconfig.get_path('platlib'))")
                        .strip())


def test_pip_installs_it_for_the_venvs_interpreter(installed):
    folder, _, python = installed
    elsewhere = folder / "elsewhere"
    elsewhere.mkdir()
    seen = json.loads(subprocess.run([python, "-c", IMPORTED], input=SMF, cwd=elsewhere, env=CLEAN_ENV,
                                     capture_output=True, check=True).stdout)
    assert pathlib.Path(seen["file"]).parent == site_packages(python) / "mthc"
    assert seen["executable"] == str(python)
    assert seen["round_trip"]
    tool = run(MTHC_PACK, "--version")
    assert tool == f"mthc-pack {seen['version']}\n"
    assert seen["metadata"] == seen["version"]
    shown = run(python, "-m", "pip", "show", "-f", "mthc")
    for name in ("mthc/__init__.pyi", "mthc/py.typed", "mthc/_types.py", "mthc/_mthc."):
        assert f"  {name}" in shown, name


def test_pip_wheel_makes_a_wheel(installed):
    folder, clone, python = installed
    wheels = folder / "wheels"
    run(python, "-m", "pip", "wheel", "--no-build-isolation", "--no-index", "--no-deps",
        "-w", wheels, clone)
    (wheel,) = wheels.glob("mthc-*.whl")
    version = run(python, "-c", "import mthc; print(mthc.__version__)").strip()
    tag = run(python, "-c", "import sys; print('cp%d%d' % sys.version_info[:2])").strip()
    assert wheel.name.startswith(f"mthc-{version}-{tag}-{tag}-")
    names = zipfile.ZipFile(wheel).namelist()
    assert {"mthc/__init__.py", "mthc/__init__.pyi", "mthc/_types.py", "mthc/py.typed"} <= set(names)
    assert [n for n in names if n.startswith("mthc/_mthc.")], names


def test_a_source_distribution_carries_what_cmake_needs(installed):
    folder, clone, python = installed
    dist = folder / "dist"
    # As `python3 -m build --sdist` calls the backend.
    name = run(python, "-c", "import sys, build_backend; print(build_backend.build_sdist(sys.argv[1]))",
               dist, cwd=clone, env={**CLEAN_ENV, "PYTHONPATH": str(clone / "python")}).strip()
    with tarfile.open(dist / name.splitlines()[-1]) as sdist:
        safe = {"filter": "data"} if hasattr(tarfile, "data_filter") else {}
        sdist.extractall(folder / "unpacked", **safe)
    (top,) = (folder / "unpacked").iterdir()
    assert (top / "pyproject.toml").is_file() and (top / "python" / "build_backend.py").is_file()
    # CMake refuses to generate a build whose listed sources are missing.
    run(os.environ["MTHC_CMAKE"], "-S", top, "-B", folder / "configured", "-DMTHC_BUILD_TESTS=OFF",
        "-DMTHC_BUILD_PYTHON=ON", f"-DPython3_EXECUTABLE={python}")


def test_pip_uninstall_removes_it(installed):
    folder, _, python = installed
    site = site_packages(python)
    run(python, "-m", "pip", "uninstall", "-y", "mthc")
    assert not [p.name for p in site.iterdir() if p.name.startswith("mthc")]
    assert subprocess.run([python, "-m", "pip", "show", "mthc"], capture_output=True).returncode != 0
