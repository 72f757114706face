"""Import of pykesta.curvetypes, its names, exceptions and the persistable base."""

import pickle

import pytest

import pykesta
import pykesta.curvetypes as ct


def test_published_names():
    assert ct.__all__ == ["ConvergenceError", "CorruptedFileError", "PyKESTAObject",
                          "Trajectory1d", "Point1d"]
    assert ct.np is __import__("numpy")
    assert ct.DEF_EXT == ".pykesta"
    assert ct.__doc__ == ("\nIn this module there are the data structures necessary for the "
                          "working of the\nlibrary.\n\n")
    assert callable(getattr(ct, "__unpickle_PyKESTAObject"))


@pytest.mark.parametrize("name, doc", [
    ("ConvergenceError", "\n    An error when a macro-instruction loop fails.\n    \n    "),
    ("CorruptedFileError", "\n    An error when an uploaded file is corrupted.\n    "),
])
def test_exception_classes(name, doc):
    cls = getattr(ct, name)
    assert issubclass(cls, Exception)
    assert cls.__module__ == "pykesta.curvetypes"
    assert cls.__doc__.startswith(doc)


def test_class_hierarchy_and_docs():
    assert issubclass(ct.Point1d, ct.PyKESTAObject)
    assert issubclass(ct.Trajectory1d, ct.PyKESTAObject)
    assert ct.PyKESTAObject.__doc__.startswith(
        "\n    An abstract class for python_kesta type.\n    \n    ")
    assert ct.Trajectory1d.__doc__.startswith("One-dimensional trajectory extension type.")
    assert "Evaluates the trajectory or its dervative." in ct.Trajectory1d.__call__.__doc__


def test_base_accepts_any_arguments_and_has_no_dict():
    obj = ct.PyKESTAObject(1, 2, key=3)
    with pytest.raises(AttributeError):
        obj.anything = 1


@pytest.mark.parametrize("call", [
    lambda: ct.PyKESTAObject()._getAttrib(),
    lambda: ct.PyKESTAObject.loadxml("f", "a"),
    lambda: ct.PyKESTAObject.loadxml(fname=None, ID=None),
    lambda: ct.PyKESTAObject()._addPyKESTAObject(None, "a"),
    lambda: ct.PyKESTAObject()._updatePyKESTAObject(None, None, "a"),
])
def test_abstract_operations(call):
    with pytest.raises(NotImplementedError, match="^abstract method$"):
        call()


@pytest.mark.parametrize("args, message", [
    ((1, "a"), "Argument 'fname' has incorrect type (expected str, got int)"),
    (("f", 2.0), "Argument 'ID' has incorrect type (expected str, got float)"),
    (("f",), "loadxml() takes exactly 2 positional arguments (1 given)"),
    (("f", "a", "b"), "loadxml() takes exactly 2 positional arguments (3 given)"),
])
def test_loadxml_argument_checks_come_first(args, message):
    with pytest.raises(TypeError) as info:
        ct.PyKESTAObject.loadxml(*args)
    assert str(info.value) == message


class Persistable(ct.PyKESTAObject):
    pass


@pytest.mark.parametrize("protocol", range(2, pickle.HIGHEST_PROTOCOL + 1))
def test_base_pickling(protocol):
    restored = pickle.loads(pickle.dumps(ct.PyKESTAObject(), protocol))
    assert type(restored) is ct.PyKESTAObject
    obj = Persistable()
    obj.label = "x"
    restored = pickle.loads(pickle.dumps(obj, protocol))
    assert type(restored) is Persistable and restored.label == "x"


def test_base_reduce_layout():
    unpickle = getattr(ct, "__unpickle_PyKESTAObject")
    assert ct.PyKESTAObject().__reduce__() == (unpickle, (ct.PyKESTAObject, 0xd41d8cd, ()))
    obj = Persistable()
    obj.a = 1
    assert obj.__reduce__() == (unpickle, (Persistable, 0xd41d8cd, None), ({"a": 1},))


def test_unpickle_with_foreign_checksum():
    unpickle = getattr(ct, "__unpickle_PyKESTAObject")
    with pytest.raises(pickle.PickleError) as info:
        unpickle(ct.PyKESTAObject, 5, None)
    assert str(info.value) == "Incompatible checksums (5 vs 0xd41d8cd = ())"


@pytest.mark.parametrize("state, message", [
    ([1], "Expected tuple, got list"),
    (None, "object of type 'NoneType' has no len()"),
])
def test_base_setstate_needs_a_tuple(state, message):
    with pytest.raises(TypeError) as info:
        ct.PyKESTAObject().__setstate__(state)
    assert str(info.value) == message


def test_package_version_is_published():
    assert isinstance(pykesta.__version__, str)


def test_native_api_is_published():
    api = ct.__native_api__
    assert {"api", "make_point"} <= set(api)


def test_import_fails_when_a_kernel_is_missing(run_python):
    result = run_python("""
        import sys, types
        fake = types.ModuleType("pykesta.knotmath")
        fake.__native_api__ = {}
        sys.modules["pykesta.knotmath"] = fake
        import traceback
        try:
            import pykesta.curvetypes
        except ImportError as error:
            print(error)
            print([frame.name for frame in traceback.extract_tb(error.__traceback__)])
    """)
    message, frames = result.stdout.strip().splitlines()
    assert message == "pykesta.knotmath does not export expected C function distintknots"
    assert "init pykesta.curvetypes" in frames


def test_import_fails_on_a_kernel_with_another_signature(run_python):
    result = run_python("""
        import ctypes, glob, importlib.machinery, importlib.util, os, sys, types
        # Load the real kernel module without importing the package first.
        folder = importlib.util.find_spec("pykesta").submodule_search_locations[0]
        path = glob.glob(os.path.join(folder, "knotmath*.so"))[0]
        loader = importlib.machinery.ExtensionFileLoader("pykesta.knotmath", path)
        real = importlib.util.module_from_spec(importlib.util.spec_from_loader("pykesta.knotmath", loader))
        loader.exec_module(real)
        new_capsule = ctypes.pythonapi.PyCapsule_New
        new_capsule.restype = ctypes.py_object
        new_capsule.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]
        fake = types.ModuleType("pykesta.knotmath")
        fake.__native_api__ = dict(real.__native_api__)
        fake.__native_api__["splpev"] = new_capsule(1, b"double (double)", None)
        sys.modules["pykesta.knotmath"] = fake
        try:
            import pykesta.curvetypes
        except TypeError as error:
            print(error)
    """)
    assert result.stdout.startswith("C function pykesta.knotmath.splpev has wrong signature "
                                    "(expected double (double x, ")
    assert result.stdout.strip().endswith(", got double (double))")
