"""The type stubs cover the public API and type-check the examples."""

import ast
import inspect
import subprocess
import sys
from pathlib import Path

import pytest

import pykesta.curvetypes
import pykesta.knotmath
import pykesta.planning
import pykesta.trajops

ROOT = Path(__file__).resolve().parent.parent
STUBS = ROOT / "src" / "pykesta"


def stub_names(module_name):
    tree = ast.parse((STUBS / f"{module_name}.pyi").read_text())
    names = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            members = set()
            if isinstance(node, ast.ClassDef):
                for item in node.body:
                    if isinstance(item, ast.FunctionDef):
                        members.add(item.name)
                    elif isinstance(item, ast.AnnAssign) and isinstance(item.target, ast.Name):
                        members.add(item.target.id)
            names[node.name] = members
    return names


def public(names):
    return {name for name in names if not name.startswith("__") or name == "__call__"}


@pytest.mark.parametrize("module", [pykesta.curvetypes, pykesta.trajops, pykesta.knotmath,
                                    pykesta.planning])
def test_every_public_name_is_in_the_stub_and_the_module(module):
    stubs = stub_names(module.__name__.rsplit(".", 1)[1])
    exported = getattr(module, "__all__", None) or [
        name for name, value in vars(module).items() if callable(value) and not name.startswith("_")]
    assert set(exported) <= set(stubs) | {"ConvergenceError", "CorruptedFileError"}
    for name, members in stubs.items():
        assert hasattr(module, name), name
        value = getattr(module, name)
        if inspect.isclass(value) and not issubclass(value, Exception):
            own = {m for m in vars(value) if not m.startswith("__") or m == "__call__"}
            if issubclass(value, tuple):  # a named tuple's own machinery (_fields, _make, ...)
                own = {m for m in own if not m.startswith("_")}
            assert public(own) <= members | {"ptrs_owner"}, (name, public(own) - members)
            assert all(hasattr(value, m) for m in members), (name, members)


@pytest.mark.parametrize("function", [pykesta.trajops.join, pykesta.trajops.setValueSm,
                                      pykesta.curvetypes.Trajectory1d.knotrem,
                                      pykesta.curvetypes.Trajectory1d.dpeval])
def test_signatures_are_introspectable(function):
    assert list(inspect.signature(function).parameters)


def test_mypy_accepts_the_examples():
    result = subprocess.run([sys.executable, "-m", "mypy", "--ignore-missing-imports",
                             "--no-error-summary", str(ROOT / "examples")],
                            capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stdout + result.stderr
