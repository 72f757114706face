"""pykesta.trajops as a module: import, export list, documentation, argument forms and
type messages of its functions, and the thin functions that wrap one trajectory
method (with which of them reach a subclass's redefinitions)."""

import inspect

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import pykesta.trajops as trajops
from kernel_strategies import assert_close, clamped_splines, domain_points
from pykesta.curvetypes import Point1d, PyKESTAObject, Trajectory1d
from trajectory_factory import clamped_knots, make_trajectory

EXPORTS = ["join", "joins", "trajsli", "mirror", "add", "rshift", "ashift", "hscale", "adapt",
           "derivative", "antiderivative", "setValueTr", "setValueAm", "setValueSm", "savexml",
           "saveallxml"]
TRAJECTORY = "pykesta.curvetypes.Trajectory1d"
PERSISTABLE = "pykesta.curvetypes.PyKESTAObject"


def quadratic(order=0, cls=Trajectory1d):
    return make_trajectory([0, 0, 0, 1, 2, 2, 2], [1.0, -2.0, 3.0, 0.5], 2, order, cls=cls)


def knots_of(t):
    return t.get_knotvector_asarray().copy()


def cpts_of(t):
    return t.get_cpts_asarray().copy()


def incorrect_type(name, expected, got):
    return f"^Argument '{name}' has incorrect type \\(expected {expected}, got {got}\\)$"


def flat(text):
    """The words of a documentation text, whatever its line breaks."""
    return " ".join(text.split())


# ---- the module ------------------------------------------------------------------------------


def test_export_list_in_order():
    assert trajops.__all__ == EXPORTS
    for name in EXPORTS:
        assert callable(getattr(trajops, name))
    assert trajops.np is np


def test_module_documentation_lists_every_function():
    lines = trajops.__doc__.splitlines()
    assert lines[0] == "This module contains the basic functions to work on the trajectories."
    heading = lines.index("All functions")
    names = [line for line in lines[heading + 1:] if line and set(line) != {"-"}]
    assert names == EXPORTS


def test_importing_again_gives_the_same_module():
    import importlib

    assert importlib.import_module("pykesta.trajops") is trajops


@pytest.mark.parametrize("name, texts", [
    ("trajsli", ["Left piece of the input trajectory.", "Right piece of the input trajectory."]),
    ("mirror", ["New trajectory mirrored to the input one."]),
    ("add", ["Returns a new Trajectory1d object as the sum of two input trajectories."]),
    ("rshift", ["Translation value."]),
    ("hscale", ["keeping the start of the domain fixed", "Scale factor."]),
    ("ashift", ["starts at the x coordinate"]),
    ("adapt", ["Must be greather than 'start'."]),
    ("derivative", ["Default is 1."]),
    ("antiderivative", ["Default is 1."]),
    ("savexml", ["Wrapper of 'savexml' PyKESTAObject method."]),
    ("saveallxml", ["Saves all elements contained in 'PyKESTAObjectList' in a .xml format file.",
                    ".pykesta"]),
    ("setValueTr", ["Sets a condition to the Trajectory1d object by vertical shift of the "
                    "trajectory. This method does not work if applied to the n-th integral.",
                    "p : constr (fused type: Point1d or 3-elements tuple)"]),
    ("setValueAm", ["Sets a condition to the Trajectory1d object multiplying the trajectory by "
                    "a calculated constant. This function cannot be used to set conditions close "
                    "to zero, otherwise the whole trajectory is set to zero."]),
    ("setValueSm", ["Sets a condition to the Trajectory1d object adding another Trajectory1d "
                    "object multiplied by a calculated constant.",
                    "Trajectory to which the condition applies.",
                    "Trajectory used by the function to set the condition.",
                    "'traj2' is overwritten by the algorithm, you need to make a copy."]),
])
def test_function_documentation(name, texts):
    doc = flat(getattr(trajops, name).__doc__)
    for text in texts:
        assert text in doc


@pytest.mark.parametrize("name, parameters", [
    ("join", ["traj1", "traj2"]),
    ("trajsli", ["traj", "x"]),
    ("add", ["traj1", "traj2"]),
    ("rshift", ["traj", "x"]),
    ("adapt", ["traj", "start", "stop"]),
    ("derivative", ["traj", "nu"]),
    ("setValueSm", ["traj1", "traj2", "p"]),
    ("savexml", ["obj", "fname", "ID"]),
    ("saveallxml", ["PyKESTAObjectList", "fname", "IDList"]),
])
def test_signatures_name_the_keywords(name, parameters):
    signature = inspect.signature(getattr(trajops, name))
    assert list(signature.parameters) == parameters
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
               for p in signature.parameters.values())


def test_joins_and_mirror_take_positional_arguments_only():
    t = quadratic()
    with pytest.raises(TypeError):
        trajops.mirror(traj=t)
    with pytest.raises(TypeError):
        trajops.joins(traj=t)
    with pytest.raises(TypeError):
        trajops.joins(t, trajs=t)
    with pytest.raises(TypeError):
        trajops.mirror()
    with pytest.raises(TypeError):
        trajops.mirror(t, t)


# ---- argument types --------------------------------------------------------------------------


def valid_call(name, t, u):
    """Arguments with which each function succeeds."""
    point = Point1d(0.5, 2.0, 0)
    return {
        "join": (t, u),
        "add": (t, u),
        "trajsli": (t, 0.5),
        "mirror": (t,),
        "rshift": (t, 1.0),
        "ashift": (t, 1.0),
        "hscale": (t, 2.0),
        "adapt": (t, 1.0, 3.0),
        "derivative": (t,),
        "antiderivative": (quadratic(order=1),),
        "setValueTr": (t, point),
        "setValueAm": (t, point),
        "setValueSm": (t, u, point),
    }[name]


TRAJECTORY_ARGUMENTS = [
    ("join", 0, "traj1"), ("join", 1, "traj2"), ("add", 0, "traj1"), ("add", 1, "traj2"),
    ("trajsli", 0, "traj"), ("mirror", 0, "traj"), ("rshift", 0, "traj"), ("ashift", 0, "traj"),
    ("hscale", 0, "traj"), ("adapt", 0, "traj"), ("derivative", 0, "traj"),
    ("antiderivative", 0, "traj"), ("setValueTr", 0, "traj"), ("setValueAm", 0, "traj"),
    ("setValueSm", 0, "traj1"), ("setValueSm", 1, "traj2"),
]
NOT_TRAJECTORIES = [(5, "int"), (None, "NoneType"), ("t", "str"),
                    (Point1d(0, 0, 0), "pykesta.curvetypes.Point1d"),
                    (PyKESTAObject(), "pykesta.curvetypes.PyKESTAObject")]


@pytest.mark.parametrize("name, position, parameter", TRAJECTORY_ARGUMENTS)
@pytest.mark.parametrize("bad, type_name", NOT_TRAJECTORIES)
def test_trajectory_arguments_are_checked(name, position, parameter, bad, type_name):
    t, u = quadratic(), quadratic()
    before = t.__getstate__(), u.__getstate__()
    arguments = list(valid_call(name, t, u))
    arguments[position] = bad
    with pytest.raises(TypeError, match=incorrect_type(parameter, TRAJECTORY, type_name)):
        getattr(trajops, name)(*arguments)
    assert (t.__getstate__(), u.__getstate__()) == before


@pytest.mark.parametrize("name, position, parameter", TRAJECTORY_ARGUMENTS)
def test_subclass_instances_are_trajectories(name, position, parameter):
    class Sub(Trajectory1d):
        pass

    function = getattr(trajops, name)
    expected = function(*valid_call(name, quadratic(), quadratic()))
    arguments = list(valid_call(name, quadratic(), quadratic()))
    arguments[position] = quadratic(order=arguments[position].order, cls=Sub)
    assert function(*arguments) == expected


@pytest.mark.parametrize("bad, type_name", [(5, "int"), (None, "NoneType"), ("s", "str")])
def test_savexml_needs_a_persistable_object(tmp_path, bad, type_name):
    fname = tmp_path / "doc"
    with pytest.raises(TypeError, match=incorrect_type("obj", PERSISTABLE, type_name)):
        trajops.savexml(bad, str(fname), "a")
    assert not list(tmp_path.iterdir())


@pytest.mark.parametrize("fname, ID, message", [
    (5, "a", incorrect_type("fname", "str", "int")),
    (b"doc", "a", incorrect_type("fname", "str", "bytes")),
    ("doc", 5, incorrect_type("ID", "str", "int")),
    ("doc", 1.5, incorrect_type("ID", "str", "float")),
])
def test_savexml_name_and_id_types(tmp_path, monkeypatch, fname, ID, message):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(TypeError, match=message):
        trajops.savexml(quadratic(), fname, ID)
    assert not list(tmp_path.iterdir())


@pytest.mark.parametrize("call, exception, message", [
    (lambda t: trajops.rshift(t, "a"), TypeError, "^must be real number, not str$"),
    (lambda t: trajops.hscale(t, None), TypeError, "^must be real number, not NoneType$"),
    (lambda t: trajops.adapt(t, 0.0, "b"), TypeError, "^must be real number, not str$"),
    (lambda t: trajops.trajsli(t, [0.5]), TypeError, "^must be real number, not list$"),
    (lambda t: trajops.derivative(t, "a"), TypeError, "^an integer is required$"),
    (lambda t: trajops.derivative(t, 2 ** 31), OverflowError,
     "^value too large to convert to int$"),
    (lambda t: trajops.antiderivative(t, -2 ** 31 - 1), OverflowError,
     "^value too large to convert to int$"),
])
def test_number_conversions(call, exception, message):
    t = quadratic()
    before = t.__getstate__()
    with pytest.raises(exception, match=message):
        call(t)
    assert t.__getstate__() == before


@pytest.mark.parametrize("call", [
    lambda t: trajops.rshift(t),
    lambda t: trajops.rshift(t, 1.0, 2.0),
    lambda t: trajops.adapt(t, 1.0),
    lambda t: trajops.derivative(),
    lambda t: trajops.derivative(t, 1, 2),
    lambda t: trajops.join(t),
    lambda t: trajops.add(t, t, t),
    lambda t: trajops.trajsli(t),
    lambda t: trajops.savexml(t, "f"),
    lambda t: trajops.saveallxml([t], "f"),
])
def test_wrong_argument_counts(call):
    with pytest.raises(TypeError):
        call(quadratic())


def test_keyword_errors():
    t = quadratic()
    with pytest.raises(TypeError, match="^rshift\\(\\) got an unexpected keyword argument 'y'$"):
        trajops.rshift(t, y=1.0)
    with pytest.raises(TypeError, match="traj1"):
        trajops.join(t, traj1=t)


def test_keyword_forms():
    t = quadratic()
    assert trajops.rshift(x=2.0, traj=t) == trajops.rshift(t, 2.0)
    assert trajops.adapt(t, stop=20.0, start=10.0) == trajops.adapt(t, 10.0, 20.0)
    assert trajops.derivative(traj=t, nu=2) == t.derivative(2)
    assert trajops.add(traj2=t, traj1=t) == trajops.add(t, t)
    assert trajops.join(traj1=t, traj2=t) == trajops.join(t, t)
    assert trajops.trajsli(t, x=0.5) == trajops.trajsli(t, 0.5)


# ---- thin functions: effects -----------------------------------------------------------------


@pytest.mark.parametrize("function, arguments, knots", [
    (trajops.rshift, (2.0,), [2, 2, 2, 3, 4, 4, 4]),
    (trajops.rshift, (-0.5,), [-0.5, -0.5, -0.5, 0.5, 1.5, 1.5, 1.5]),
    (trajops.ashift, (5.0,), [5, 5, 5, 6, 7, 7, 7]),
    (trajops.hscale, (2.0,), [0, 0, 0, 2, 4, 4, 4]),
    (trajops.hscale, (1.0,), [0, 0, 0, 1, 2, 2, 2]),
    (trajops.adapt, (10.0, 20.0), [10, 10, 10, 15, 20, 20, 20]),
])
def test_domain_functions_work_on_a_copy(function, arguments, knots):
    t = quadratic()
    before = t.__getstate__()
    result = function(t, *arguments)
    assert type(result) is Trajectory1d and result is not t
    np.testing.assert_array_equal(knots_of(result), knots)
    np.testing.assert_array_equal(cpts_of(result), cpts_of(t))
    assert (result.p, result.n, result.order) == (t.p, t.n, t.order)
    assert result._getAttrib()["owner"] == "True"
    assert t.__getstate__() == before


def test_hscale_keeps_a_nonzero_start():
    t = make_trajectory([1, 1, 2, 3, 3], [0.0, 1.0, -1.0], 1)
    np.testing.assert_array_equal(knots_of(trajops.hscale(t, 2.0)), [1, 1, 3, 5, 5])


def test_copy_of_a_wrapping_trajectory_owns_its_arrays():
    t = make_trajectory([0, 0, 1, 1], [2.0, 3.0], 1, owner=False)
    result = trajops.rshift(t, 1.0)
    assert result._getAttrib()["owner"] == "True"
    result.get_cpts_asarray()[0] = 7.0
    assert t.get_cpts_asarray()[0] == 2.0


@settings(max_examples=40, deadline=None)
@given(clamped_splines(degrees=range(1, 6), max_control_points=15), st.floats(-50, 50),
       st.floats(0.1, 10), st.floats(0.2, 5))
def test_domain_functions_move_the_values(spline, shift, scale, width):
    # Continuous curves only: the moved knots carry rounding, so a point on a knot may
    # land on either side of it.
    t = make_trajectory(spline.U, spline.P, spline.p)
    points = domain_points(spline, dense=21)
    values = spline.oracle()(points)
    bound, tolerance = spline.scale(), 1e-8

    def moved(result, start, factor):
        # point by point: rounding may merge neighbouring points, which ceval refuses
        mapped = np.clip(start + factor * (points - spline.start), result.start, result.stop)
        return np.array([result(float(x)) for x in mapped])

    assert_close(moved(trajops.rshift(t, shift), spline.start + shift, 1.0), values, bound,
                 tolerance)
    assert_close(moved(trajops.ashift(t, shift), shift, 1.0), values, bound, tolerance)
    assert_close(moved(trajops.hscale(t, scale), spline.start, scale), values, bound, tolerance)
    assert_close(moved(trajops.adapt(t, shift, shift + width), shift, width / spline.length),
                 values, bound, tolerance)


def test_derivative_functions():
    t = quadratic()
    assert trajops.derivative(t) == trajops.derivative(t, 1) == t.derivative(1)
    assert trajops.derivative(t, 0) == t.derivative(0)
    acceleration = quadratic(order=2)
    assert trajops.antiderivative(acceleration, nu=2) == acceleration.antiderivative(2)
    assert trajops.antiderivative(acceleration).order == 1
    assert trajops.antiderivative(acceleration) == acceleration.antiderivative()


@pytest.mark.parametrize("call, exception, message", [
    (lambda t: trajops.adapt(t, 3.0, 3.0), ValueError,
     "^'stop' must be strictly greater than 'start'$"),
    (lambda t: trajops.derivative(t, -1), ValueError,
     "^'nu' must be greater than or equal to zero: -1$"),
    (lambda t: trajops.antiderivative(t), ValueError, "^negative 'order' not allowed$"),
    (lambda t: trajops.antiderivative(t, -1), ValueError,
     "^'nu' must be greater than or equal to zero: -1$"),
])
def test_failures_of_the_methods_propagate(call, exception, message):
    t = quadratic()
    before = t.__getstate__()
    with pytest.raises(exception, match=message):
        call(t)
    assert t.__getstate__() == before


def test_adapt_of_a_zero_width_domain_propagates():
    t = make_trajectory([1, 1, 1, 1], [0.0, 1.0], 1)
    with pytest.raises(ZeroDivisionError, match="^float division by zero$"):
        trajops.adapt(t, 0.0, 1.0)


def test_add_returns_a_new_sum():
    t = quadratic()
    before = t.__getstate__()
    twice = trajops.add(t, t)
    assert twice is not t and type(twice) is Trajectory1d
    xs = np.linspace(0.0, 2.0, 17)
    np.testing.assert_allclose(twice(xs), 2 * t(xs), rtol=1e-12, atol=1e-12)
    assert t.__getstate__() == before


def test_add_equals_the_operator():
    t1 = make_trajectory(clamped_knots([0.3, 0.6], 3), [0.5, -1.0, 2.0, 0.0, 1.5, -0.5], 3)
    t2 = make_trajectory(clamped_knots([0.5], 3), [1.0, 2.0, -3.0, 0.25, 4.0], 3)
    assert trajops.add(t1, t2) == t1 + t2


@pytest.mark.parametrize("second, message", [
    (make_trajectory(clamped_knots([], 2, 0.0, 1.0000001), [0.0, 1.0, 2.0], 2),
     "the input traiectories must have the same extremes of domain"),
    (make_trajectory(clamped_knots([], 2, 0.5, 1.0), [0.0, 1.0, 2.0], 2),
     "the input traiectories must have the same extremes of domain"),
    (make_trajectory(clamped_knots([], 3), [0.0, 1.0, 2.0, 3.0], 3),
     "the input traiectories must have the same order"),
    (make_trajectory(clamped_knots([], 2), [0.0, 1.0, 2.0], 2, order=1),
     "the trajectories must have the same 'order'"),
])
def test_add_checks_the_operands(second, message):
    first = make_trajectory(clamped_knots([], 2), [1.0, 1.0, 1.0], 2)
    states = first.__getstate__(), second.__getstate__()
    with pytest.raises(ValueError, match=f"^{message}$"):
        trajops.add(first, second)
    assert (first.__getstate__(), second.__getstate__()) == states


def test_savexml_writes_what_the_method_writes(tmp_path):
    point = Point1d(1.5, -2.0, 1)
    trajops.savexml(point, str(tmp_path / "by_function"), "a")
    point.savexml(str(tmp_path / "by_method"), "a")
    written = (tmp_path / "by_function.pykesta").read_bytes()
    assert written == (tmp_path / "by_method.pykesta").read_bytes()
    assert b'<Point1d ID="a" t="1.5" val="-2.0" order="1"/>' in written


def test_savexml_by_keyword_and_with_id_none(tmp_path):
    t = quadratic()
    assert trajops.savexml(ID=None, fname=str(tmp_path / "doc.xml"), obj=t) is None
    assert b'<Trajectory1d ID="None"' in (tmp_path / "doc.xml").read_bytes()


def test_savexml_with_fname_none_fails_in_the_method():
    with pytest.raises(TypeError):
        trajops.savexml(Point1d(0, 0, 0), None, "a")


def test_savexml_failure_propagates(tmp_path):
    with pytest.raises(OSError):
        trajops.savexml(Point1d(0, 0, 0), str(tmp_path / "missing" / "doc"), "a")
    with pytest.raises(NotImplementedError, match="^abstract method$"):
        trajops.savexml(PyKESTAObject(), str(tmp_path / "doc"), "a")


# ---- thin functions: redefinitions in subclasses ---------------------------------------------


class Recording(Trajectory1d):
    """Records every redefinition reached; its copies are Recording objects too."""

    calls = []

    def copy(self):
        self.calls.append("copy")
        return make_trajectory(knots_of(self), cpts_of(self), self.p, self.order, cls=Recording)

    def rshift(self, x):
        self.calls.append("rshift")
        super().rshift(x)

    def hscale(self, k):
        self.calls.append("hscale")
        super().hscale(k)

    def ashift(self, x):
        self.calls.append("ashift")
        super().ashift(x)

    def adapt(self, start, stop):
        self.calls.append("adapt")
        super().adapt(start, stop)

    def derivative(self, nu=1):
        self.calls.append(("derivative", nu))
        return super().derivative(nu)

    def antiderivative(self, nu=1):
        self.calls.append(("antiderivative", nu))
        return super().antiderivative(nu)

    def c_splcsum(self, other):
        self.calls.append("c_splcsum")
        return SUM_SENTINEL

    def savexml(self, fname, ID):
        self.calls.append(("savexml", fname, ID))


SUM_SENTINEL = make_trajectory([0, 0, 1, 1], [4.0, 2.0], 1)


@pytest.fixture
def recording():
    Recording.calls = []
    return quadratic(order=1, cls=Recording)


@pytest.mark.parametrize("call, calls, knots", [
    # rshift and hscale apply the primitives to the copy: the redefinitions are not used
    (lambda t: trajops.rshift(t, 2.0), ["copy"], [2, 2, 2, 3, 4, 4, 4]),
    (lambda t: trajops.hscale(t, 2.0), ["copy"], [0, 0, 0, 2, 4, 4, 4]),
    (lambda t: trajops.ashift(t, 5.0), ["copy", "ashift"], [5, 5, 5, 6, 7, 7, 7]),
    (lambda t: trajops.adapt(t, 10.0, 20.0), ["copy", "adapt"], [10, 10, 10, 15, 20, 20, 20]),
])
def test_domain_functions_and_redefinitions(recording, call, calls, knots):
    result = call(recording)
    assert Recording.calls == calls
    assert type(result) is Recording
    np.testing.assert_array_equal(knots_of(result), knots)
    np.testing.assert_array_equal(knots_of(recording), [0, 0, 0, 1, 2, 2, 2])


def test_derivative_functions_reach_the_redefinitions_without_copying(recording):
    assert trajops.derivative(recording) == quadratic(order=1).derivative(1)
    trajops.derivative(recording, 2)
    trajops.antiderivative(recording, nu=1)
    assert Recording.calls == [("derivative", 1), ("derivative", 2), ("antiderivative", 1)]


def test_add_reaches_a_redefined_sum(recording):
    assert trajops.add(recording, quadratic()) is SUM_SENTINEL
    assert Recording.calls == ["c_splcsum"]


def test_savexml_reaches_a_redefinition(recording, tmp_path):
    fname = str(tmp_path / "doc")
    assert trajops.savexml(recording, fname, "a") is None
    assert trajops.savexml(recording, fname, None) is None
    assert Recording.calls == [("savexml", fname, "a"), ("savexml", fname, None)]
    assert not list(tmp_path.iterdir())


def test_a_failing_copy_redefinition_propagates():
    class Failing(Trajectory1d):
        def copy(self):
            raise RuntimeError("no copies")

    t = quadratic(cls=Failing)
    for call in (lambda: trajops.rshift(t, 1.0), lambda: trajops.hscale(t, 1.0),
                 lambda: trajops.ashift(t, 1.0), lambda: trajops.adapt(t, 0.0, 1.0)):
        with pytest.raises(RuntimeError, match="^no copies$"):
            call()
