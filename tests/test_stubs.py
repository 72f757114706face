"""The type stubs match the compiled modules, and the README tour and the examples type-check."""

import importlib.machinery
import inspect
import os
import pkgutil
import subprocess
import sys
from pathlib import Path

import pytest

import pykesta
import pykesta.curvetypes
import pykesta.trajops

ROOT = Path(__file__).resolve().parent.parent
ALLOWLIST = Path(__file__).resolve().parent / "stubtest_allowlist.txt"
# The type checkers read sources and never load the compiled modules: they run
# without the sanitizer runtime that the sanitizer run preloads, whose leak
# check would report the checkers' own allocations.
CHECKER_ENV = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}


def compiled_modules():
    suffixes = tuple(importlib.machinery.EXTENSION_SUFFIXES)
    return sorted(f"pykesta.{info.name}" for info in pkgutil.iter_modules(pykesta.__path__)
                  if info.module_finder.find_spec(info.name).origin.endswith(suffixes))


def run(*command, cwd=None, env=None):
    result = subprocess.run(command, capture_output=True, text=True, timeout=900, cwd=cwd,
                            env=env)
    return result.returncode, result.stdout + result.stderr


def test_stubtest_finds_no_mismatch(tmp_path):
    modules = compiled_modules()
    assert {"pykesta.curvetypes", "pykesta.knotmath", "pykesta.trajops"} <= set(modules)
    code, output = run(sys.executable, "-m", "mypy.stubtest", *modules,
                       "--allowlist", str(ALLOWLIST),
                       cwd=tmp_path)
    assert code == 0, output


@pytest.fixture(scope="module")
def typed_sources(tmp_path_factory):
    from test_readme import readme_tour

    tour = tmp_path_factory.mktemp("tour") / "readme_tour.py"
    tour.write_text(readme_tour())
    return [str(tour), *map(str, sorted((ROOT / "examples").glob("*.py")))]


def test_mypy_strict_accepts_the_tour_and_the_examples(typed_sources, tmp_path):
    code, output = run(sys.executable, "-m", "mypy", "--strict", "--no-incremental",
                       *typed_sources, cwd=tmp_path, env=CHECKER_ENV)
    assert code == 0, output


def test_pyright_accepts_the_tour_and_the_examples(typed_sources, tmp_path):
    code, output = run(sys.executable, "-m", "pyright", "--pythonpath", sys.executable,
                       *typed_sources, cwd=tmp_path, env=CHECKER_ENV)
    assert code == 0, output


@pytest.mark.parametrize("function", [pykesta.trajops.join, pykesta.trajops.setValueSm,
                                      pykesta.curvetypes.Trajectory1d.knotrem,
                                      pykesta.curvetypes.Trajectory1d.dpeval])
def test_signatures_are_introspectable(function):
    assert list(inspect.signature(function).parameters)
