"""The native entry points of pykesta.trajops, called the way another native module
calls them: each is a capsule of __native_api__ named by its signature text, called
directly through its function pointer (here with ctypes, keeping the interpreter lock)."""

import ctypes
import sys

import pytest

import pykesta.trajops as trajops
from pykesta.curvetypes import Point1d, Trajectory1d
from trajectory_factory import clamped_knots, make_trajectory

O = ctypes.py_object
TRAJECTORY = "Trajectory1dObject*"
SIGNATURES = {
    "join": (TRAJECTORY, "(Trajectory1dObject * traj1, Trajectory1dObject * traj2)"),
    "trajsli": ("PyObject*", "(Trajectory1dObject * traj, double x)"),
    "mirror": (TRAJECTORY, "(Trajectory1dObject * traj)"),
    "add": (TRAJECTORY, "(Trajectory1dObject * traj1, Trajectory1dObject * traj2)"),
    "rshift": (TRAJECTORY, "(Trajectory1dObject * traj, double x)"),
    "ashift": (TRAJECTORY, "(Trajectory1dObject * traj, double x)"),
    "hscale": (TRAJECTORY, "(Trajectory1dObject * traj, double x)"),
    "adapt": (TRAJECTORY, "(Trajectory1dObject * traj, double start, double stop)"),
    "derivative": (TRAJECTORY, "(Trajectory1dObject * traj, int32_t nu)"),
    "antiderivative": (TRAJECTORY, "(Trajectory1dObject * traj, int32_t nu)"),
    "savexml": ("void", "(PyKESTAObjectObject * obj, PyObject * fname, PyObject * ID)"),
    "setValueTr_point": (TRAJECTORY, "(Trajectory1dObject * traj, Point1dObject * p)"),
    "setValueTr_tuple": (TRAJECTORY, "(Trajectory1dObject * traj, PyObject * p)"),
    "setValueAm_point": (TRAJECTORY, "(Trajectory1dObject * traj, Point1dObject * p)"),
    "setValueAm_tuple": (TRAJECTORY, "(Trajectory1dObject * traj, PyObject * p)"),
    "setValueSm_point": (TRAJECTORY, "(Trajectory1dObject * traj1, Trajectory1dObject * traj2, "
                                     "Point1dObject * p)"),
    "setValueSm_tuple": (TRAJECTORY, "(Trajectory1dObject * traj1, Trajectory1dObject * traj2, "
                                     "PyObject * p)"),
}
# ctypes argument types of each entry; every object travels as a PyObject pointer
ARGTYPES = {
    "join": [O, O], "add": [O, O], "trajsli": [O, ctypes.c_double], "mirror": [O],
    "rshift": [O, ctypes.c_double], "ashift": [O, ctypes.c_double],
    "hscale": [O, ctypes.c_double], "adapt": [O, ctypes.c_double, ctypes.c_double],
    "derivative": [O, ctypes.c_int32], "antiderivative": [O, ctypes.c_int32],
    "savexml": [O, O, O],
    "setValueTr_point": [O, O], "setValueTr_tuple": [O, O],
    "setValueAm_point": [O, O], "setValueAm_tuple": [O, O],
    "setValueSm_point": [O, O, O], "setValueSm_tuple": [O, O, O],
}

capsule_name = ctypes.pythonapi.PyCapsule_GetName
capsule_name.argtypes, capsule_name.restype = [O], ctypes.c_char_p
capsule_pointer = ctypes.pythonapi.PyCapsule_GetPointer
capsule_pointer.argtypes, capsule_pointer.restype = [O, ctypes.c_char_p], ctypes.c_void_p
error_occurred = ctypes.pythonapi.PyErr_Occurred
error_occurred.argtypes, error_occurred.restype = [], ctypes.c_void_p


def signature(name):
    result, parameters = SIGNATURES[name]
    return f"{result} {parameters}"


def bind(name):
    """The entry as a callable that keeps the interpreter lock and raises the error
    pending when the entry returns null."""
    pointer = capsule_pointer(trajops.__native_api__[name], signature(name).encode())
    result = None if name == "savexml" else O
    # a py_object result takes over the new reference the entry returns
    return ctypes.PYFUNCTYPE(result, *ARGTYPES[name])(pointer)


def call_savexml(*args):
    """The savexml entry reports a failure through the error indicator alone: the
    indicator is read right after the call, so that a pending error surfaces here."""
    bind("savexml")(*args)
    assert error_occurred() is None


def cubic(order=0, cpts=(0.5, -1.25, 3.0, 2.0, -0.75), stop=1.0):
    return make_trajectory(clamped_knots([0.5], 3, 0.0, stop), list(cpts), 3, order)


def other_cubic(order=0):
    return make_trajectory(clamped_knots([0.25, 0.75], 3), [1.0, 2.0, 0.5, 4.0, 3.0, 1.5], 3,
                           order)


# ---- publication -----------------------------------------------------------------------------


def test_every_entry_is_published_under_its_signature():
    table = trajops.__native_api__
    assert isinstance(table, dict)
    assert sorted(table) == sorted(SIGNATURES)
    for name, capsule in table.items():
        assert capsule_name(capsule).decode() == signature(name)


def test_a_wrong_signature_is_refused():
    other = b"Trajectory1dObject* (Trajectory1dObject * first, Trajectory1dObject * second)"
    with pytest.raises(ValueError):
        capsule_pointer(trajops.__native_api__["join"], other)


# ---- calls -----------------------------------------------------------------------------------


CALLS = [
    ("join", lambda: (cubic(), other_cubic()), trajops.join),
    ("add", lambda: (cubic(), other_cubic()), trajops.add),
    ("trajsli", lambda: (cubic(), 0.3), trajops.trajsli),
    ("mirror", lambda: (cubic(),), trajops.mirror),
    ("rshift", lambda: (cubic(), 2.5), trajops.rshift),
    ("ashift", lambda: (cubic(), -4.0), trajops.ashift),
    ("hscale", lambda: (cubic(), 3.0), trajops.hscale),
    ("adapt", lambda: (cubic(), 2.0, 5.0), trajops.adapt),
    ("derivative", lambda: (cubic(), 1), trajops.derivative),
    ("derivative", lambda: (cubic(), 2), trajops.derivative),
    ("antiderivative", lambda: (cubic(order=2), 1), trajops.antiderivative),
    ("antiderivative", lambda: (cubic(order=2), 2), trajops.antiderivative),
    ("setValueTr_point", lambda: (cubic(), Point1d(0.5, 2.0, 0)), trajops.setValueTr),
    ("setValueTr_tuple", lambda: (cubic(), (0.5, 2.0, 0)), trajops.setValueTr),
    ("setValueTr_tuple", lambda: (cubic(), (0.25, 1.0, 1)), trajops.setValueTr),
    ("setValueAm_point", lambda: (cubic(), Point1d(0.5, 3.0, 1)), trajops.setValueAm),
    ("setValueAm_tuple", lambda: (cubic(order=1), (0.5, 2.0, 0)), trajops.setValueAm),
    ("setValueSm_point", lambda: (cubic(), other_cubic(), Point1d(0.5, 2.0, 0)),
     trajops.setValueSm),
    ("setValueSm_tuple", lambda: (cubic(), other_cubic(), (0.5, 2.0, 0)), trajops.setValueSm),
    ("setValueSm_tuple", lambda: (cubic(order=1), other_cubic(order=1), (0.5, 2.0, 0)),
     trajops.setValueSm),
]


@pytest.mark.parametrize("name, arguments, function", CALLS)
def test_an_entry_gives_what_its_function_gives(name, arguments, function):
    args = arguments()
    inputs = [a for a in args if isinstance(a, Trajectory1d)]
    states = [t.__getstate__() for t in inputs]
    counts = [sys.getrefcount(a) for a in args]
    result = bind(name)(*args)
    # the entry returned one new reference and kept none of its arguments
    assert sys.getrefcount(result) == 2
    assert [sys.getrefcount(a) for a in args] == counts
    if name.startswith("setValueSm"):
        # traj2 is scaled in place, as by the function: compare with fresh inputs
        expected = function(*arguments())
        assert inputs[0].__getstate__() == states[0]
    else:
        expected = function(*args)
        assert [t.__getstate__() for t in inputs] == states
    assert type(result) is type(expected)
    assert result == expected


def test_the_sum_entries_scale_traj2():
    for name, constraint in [("setValueSm_point", Point1d(0.5, 2.0, 0)),
                             ("setValueSm_tuple", (0.5, 2.0, 0))]:
        t1, t2 = cubic(), other_cubic()
        result = bind(name)(t1, t2, constraint)
        assert result(0.5) == pytest.approx(2.0, rel=1e-12)
        assert t2(0.5) == pytest.approx(2.0 - t1(0.5), rel=1e-12)


def test_the_savexml_entry_writes_what_the_method_writes(tmp_path):
    t, point = cubic(), Point1d(1.5, -2.0, 1)
    for obj, ID in [(t, "a"), (point, None)]:
        call_savexml(obj, str(tmp_path / "native"), ID)
        obj.savexml(str(tmp_path / "method"), ID)
    assert (tmp_path / "native.pykesta").read_bytes() == (tmp_path / "method.pykesta").read_bytes()


# ---- failures --------------------------------------------------------------------------------


FAILURES = [
    ("join", lambda: (cubic(), make_trajectory(clamped_knots([], 2), [0.0, 1.0, 2.0], 2)),
     ValueError, "^the input traiectories must have the same order$"),
    ("join", lambda: (cubic(), cubic(order=1)),
     ValueError, "^the trajectories must have the same 'order'$"),
    ("join", lambda: (Trajectory1d(), Trajectory1d()), ValueError, None),
    ("add", lambda: (cubic(), cubic(stop=2.0)),
     ValueError, "^the input traiectories must have the same extremes of domain$"),
    ("trajsli", lambda: (cubic(), 1.5), ValueError, "^'x' out of domain: 1.5$"),
    ("mirror", lambda: (Trajectory1d(),), ValueError, None),
    ("adapt", lambda: (cubic(), 3.0, 3.0),
     ValueError, "^'stop' must be strictly greater than 'start'$"),
    ("derivative", lambda: (cubic(), -1),
     ValueError, "^'nu' must be greater than or equal to zero: -1$"),
    ("antiderivative", lambda: (cubic(), 1), ValueError, "^negative 'order' not allowed$"),
    ("setValueTr_point", lambda: (cubic(order=1), Point1d(0.5, 2.0, 0)), ValueError,
     "^this method cannot be used to set a constraint on the n-th antiderivative$"),
    ("setValueTr_tuple", lambda: (cubic(order=1), (0.5, 2.0, 0)), ValueError,
     "^this method cannot be used to set a constraint on the n-th antiderivative$"),
    ("setValueTr_tuple", lambda: (cubic(), [0.5, 2.0, 0]), TypeError, None),
    ("setValueAm_point", lambda: (cubic(), Point1d(1.0, 2.0, 4)),
     ZeroDivisionError, "^float division by zero$"),
    ("setValueAm_tuple", lambda: (cubic(), ("a", 2.0, 0)),
     TypeError, "^must be real number, not str$"),
    ("setValueSm_point", lambda: (cubic(), cubic(order=1), Point1d(0.5, 2.0, 0)),
     ValueError, "^the trajectories must have the same 'order'$"),
    ("setValueSm_tuple", lambda: (cubic(), cubic(cpts=(1.0, 2.0, 3.0, 4.0, 0.0)), (1.0, 2.0, 0)),
     ZeroDivisionError, "^float division by zero$"),
]


@pytest.mark.parametrize("name, arguments, exception, message", FAILURES)
def test_a_failing_entry_raises_its_error(name, arguments, exception, message):
    args = arguments()
    states = [a.__getstate__() for a in args if isinstance(a, Trajectory1d)]
    with pytest.raises(exception, match=message):
        bind(name)(*args)
    assert error_occurred() is None
    assert [a.__getstate__() for a in args if isinstance(a, Trajectory1d)] == states


def test_a_failing_sum_entry_has_scaled_traj2():
    t1 = cubic()
    t2 = make_trajectory(clamped_knots([0.5], 4), [1.0, 2.0, 0.5, 4.0, 3.0, 1.0], 4)
    with pytest.raises(ValueError, match="^the input traiectories must have the same order$"):
        bind("setValueSm_point")(t1, t2, Point1d(0.5, 2.0, 0))
    assert t2(0.5) == pytest.approx(2.0 - t1(0.5), rel=1e-12)


@pytest.mark.parametrize("fname, ID, exception", [
    ("missing/dir/doc", "a", FileNotFoundError),
    (None, "a", TypeError),
])
def test_a_failing_savexml_entry_sets_the_error(tmp_path, fname, ID, exception):
    fname = None if fname is None else str(tmp_path / fname)
    with pytest.raises(exception):
        call_savexml(Point1d(0, 0, 0), fname, ID)
    assert error_occurred() is None
    assert not list(tmp_path.iterdir())
