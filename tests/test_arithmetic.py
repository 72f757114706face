"""Arithmetic and equality of trajectories: the number operators, the sum of two
trajectories over the union of their knots, and == / != with a tolerance."""

import operator
from fractions import Fraction

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from scipy.interpolate import BSpline

from pykesta.curvetypes import Trajectory1d
from trajectory_factory import clamped_knots, make_trajectory

CPTS = [0.5, -1.25, 3.0, 2.0, -0.75]


def cubic(cpts=CPTS, interior=(0.5,), order=0, owner=True, cls=Trajectory1d, start=0.0, stop=1.0):
    return make_trajectory(clamped_knots(interior, 3, start, stop), cpts, 3, order, owner, cls)


def knots_of(t):
    return t.get_knotvector_asarray().copy()


def cpts_of(t):
    return t.get_cpts_asarray().copy()


def oracle(t):
    """scipy's evaluation of the trajectory's own arrays."""
    return BSpline(knots_of(t), cpts_of(t), t.p)


def type_error_argument(got):
    return (
        "Argument 'other' has incorrect type "
        f"(expected pykesta.curvetypes.Trajectory1d, got {got})"
    )


# ---- operators with a number ---------------------------------------------------------------


@pytest.mark.parametrize(
    "expression, expected",
    [
        (lambda t: t + 1.5, lambda c: c + 1.5),
        (lambda t: 1.5 + t, lambda c: c + 1.5),
        (lambda t: t - 3, lambda c: c - 3.0),
        (lambda t: 3 - t, lambda c: 3.0 - c),
        (lambda t: t * 2.5, lambda c: c * 2.5),
        (lambda t: -2 * t, lambda c: c * -2.0),
        (lambda t: t * 0, lambda c: c * 0.0),
        (lambda t: t / 4, lambda c: c * 0.25),
        # Division multiplies by the reciprocal as the interpreter computes it.
        (lambda t: t / 3, lambda c: c * pow(3, -1.0)),
    ],
)
def test_operator_with_a_number_returns_a_new_trajectory(expression, expected):
    t = cubic()
    result = expression(t)
    assert type(result) is Trajectory1d
    assert result is not t
    np.testing.assert_array_equal(cpts_of(result), expected(np.array(CPTS)))
    np.testing.assert_array_equal(knots_of(result), knots_of(t))
    assert (result.p, result.n, result.order) == (t.p, t.n, t.order)
    np.testing.assert_array_equal(cpts_of(t), CPTS)


def test_number_on_either_side_of_plus_gives_equal_trajectories():
    t = cubic()
    assert t + 1.5 == 1.5 + t


def test_minus_number_on_either_side_are_negations_of_each_other():
    t = cubic()
    np.testing.assert_array_equal(cpts_of(t - 3), -cpts_of(3 - t))


def test_operator_result_owns_new_arrays_when_the_operand_does_not_own_its_own():
    t = cubic(owner=False)
    result = t * 2
    assert result._getAttrib()["owner"] == "True"
    assert not np.shares_memory(result.get_cpts_asarray(), t.get_cpts_asarray())
    assert not np.shares_memory(result.get_knotvector_asarray(), t.get_knotvector_asarray())


class Half:
    def __float__(self):
        return 0.5


@pytest.mark.parametrize("x", [np.float64(0.5), Fraction(1, 2), Half()])
def test_operators_take_anything_with_a_float_conversion(x):
    np.testing.assert_array_equal(cpts_of(cubic() + x), np.array(CPTS) + 0.5)


@pytest.mark.parametrize(
    "expression",
    [
        lambda t: t + "1",
        lambda t: "1" + t,
        lambda t: t - "1",
        lambda t: "1" - t,
        lambda t: t * "2",
        lambda t: t / "2",
        lambda t: t + None,
        lambda t: t * [1.0],
    ],
)
def test_operator_with_a_non_number_raises_type_error_and_changes_nothing(expression):
    t = cubic()
    with pytest.raises(TypeError):
        expression(t)
    np.testing.assert_array_equal(cpts_of(t), CPTS)


# ---- in-place operators and unary minus --------------------------------------------------------


@pytest.mark.parametrize(
    "in_place, expected",
    [
        (operator.iadd, lambda c: c + 2.0),
        (operator.isub, lambda c: c - 2.0),
        (operator.imul, lambda c: c * 2.0),
        (operator.itruediv, lambda c: c * 0.5),
    ],
)
def test_in_place_operator_changes_and_returns_the_trajectory_itself(in_place, expected):
    t = cubic()
    knots = knots_of(t)
    assert in_place(t, 2) is t
    np.testing.assert_array_equal(cpts_of(t), expected(np.array(CPTS)))
    np.testing.assert_array_equal(knots_of(t), knots)


def test_subtracting_in_place_what_was_added_restores_the_trajectory():
    t = cubic()
    t += 2
    t -= 2
    assert t == cubic()


def test_in_place_minus_uses_the_interpreters_negation():
    class Negatable:
        def __neg__(self):
            return 5.0

    t = cubic()
    t -= Negatable()
    np.testing.assert_array_equal(cpts_of(t), np.array(CPTS) + 5.0)


def test_in_place_division_multiplies_by_the_interpreters_reciprocal():
    class Divisor:
        exponents = []

        def __pow__(self, exponent):
            self.exponents.append(exponent)
            return 0.125

    t = cubic()
    t /= Divisor()
    assert Divisor.exponents == [-1.0]
    np.testing.assert_array_equal(cpts_of(t), np.array(CPTS) * 0.125)


@pytest.mark.parametrize(
    "in_place, x, error",
    [
        (operator.itruediv, 0, ZeroDivisionError),
        (operator.itruediv, 0.0, ZeroDivisionError),
        (operator.itruediv, "2", TypeError),
        (operator.iadd, "1", TypeError),
        (operator.isub, "1", TypeError),
        (operator.imul, None, TypeError),
        (operator.iadd, 1j, TypeError),
    ],
)
def test_failed_in_place_operator_leaves_the_trajectory_unchanged(in_place, x, error):
    t = cubic()
    with pytest.raises(error):
        in_place(t, x)
    np.testing.assert_array_equal(cpts_of(t), CPTS)


@pytest.mark.parametrize("in_place", [operator.iadd, operator.imul, operator.itruediv])
def test_in_place_with_a_trajectory_fails_the_float_conversion_and_changes_nothing(in_place):
    t1, t2 = cubic(), cubic([1.0, 2.0, 3.0, 4.0, 5.0])
    with pytest.raises(TypeError):
        in_place(t1, t2)
    np.testing.assert_array_equal(cpts_of(t1), CPTS)
    np.testing.assert_array_equal(cpts_of(t2), [1.0, 2.0, 3.0, 4.0, 5.0])


def test_in_place_add_of_a_trajectory_reports_the_float_conversion():
    t1 = cubic()
    with pytest.raises(TypeError, match="must be real number, not .*Trajectory1d"):
        t1 += cubic()


def test_in_place_minus_of_a_trajectory_negates_it_before_failing():
    t1, t2 = cubic(), cubic([1.0, 2.0, 3.0, 4.0, 5.0])
    with pytest.raises(TypeError):
        t1 -= t2
    np.testing.assert_array_equal(cpts_of(t1), CPTS)
    np.testing.assert_array_equal(cpts_of(t2), [-1.0, -2.0, -3.0, -4.0, -5.0])


def test_unary_minus_negates_in_place_and_returns_the_same_object():
    t = cubic()
    assert -t is t
    np.testing.assert_array_equal(cpts_of(t), -np.array(CPTS))
    -t
    np.testing.assert_array_equal(cpts_of(t), CPTS)


def test_in_place_operators_on_an_empty_trajectory_do_nothing():
    t = Trajectory1d()
    t += 1
    t *= 2
    t /= 4
    t -= 1
    assert -t is t
    assert t.get_cpts_asarray() is None and t.start is None


# ---- operations the type does not define -------------------------------------------------------


@pytest.mark.parametrize(
    "expression",
    [
        operator.pos,
        abs,
        lambda t: t // 2,
        lambda t: t % 2,
        lambda t: t**2,
        lambda t: 2**t,
        lambda t: t < t,
        lambda t: t <= cubic(),
        lambda t: t > 1,
        lambda t: 1 >= t,
        hash,
    ],
)
def test_undefined_operation_raises_type_error(expression):
    t = cubic()
    with pytest.raises(TypeError):
        expression(t)
    np.testing.assert_array_equal(cpts_of(t), CPTS)


@pytest.mark.parametrize("division", [lambda t: 2.0 / t, lambda t: t / cubic()])
def test_division_by_a_trajectory_is_refused_as_unsupported_operands(division):
    t = cubic()
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for /: "):
        division(t)
    np.testing.assert_array_equal(cpts_of(t), CPTS)


@pytest.mark.parametrize(
    "name", ["__pos__", "__abs__", "__floordiv__", "__mod__", "__pow__", "__bool__"]
)
def test_type_lacks_the_undefined_number_operations(name):
    assert not hasattr(Trajectory1d, name)


@pytest.mark.parametrize("name", ["__lt__", "__le__", "__gt__", "__ge__"])
def test_ordering_answers_not_implemented(name):
    assert getattr(cubic(), name)(cubic()) is NotImplemented


def test_trajectory_is_unhashable():
    assert Trajectory1d.__hash__ is None
    with pytest.raises(TypeError, match="unhashable type"):
        {cubic(): "key"}


# ---- sum, difference and product of two trajectories -------------------------------------------


@pytest.mark.parametrize("combine", [operator.add, Trajectory1d.c_splcsum, operator.sub])
@pytest.mark.parametrize(
    "second, message",
    [
        (
            make_trajectory(clamped_knots([], 4), [0.0] * 5, 4),
            "the input traiectories must have the same order",
        ),
        # The degree is tested before the domain.
        (
            make_trajectory(clamped_knots([], 4, 0.0, 2.0), [0.0] * 5, 4),
            "the input traiectories must have the same order",
        ),
        (cubic(stop=2.0), "the input traiectories must have the same extremes of domain"),
        (cubic(start=0.5), "the input traiectories must have the same extremes of domain"),
        # No tolerance on the domain.
        (cubic(stop=1.0 + 2**-52), "the input traiectories must have the same extremes of domain"),
        # The domain is tested before the derivation order.
        (cubic(stop=2.0, order=1), "the input traiectories must have the same extremes of domain"),
        (cubic(order=1), "the trajectories must have the same 'order'"),
    ],
)
def test_sum_checks_degree_then_domain_then_order(combine, second, message):
    first = cubic()
    before = cpts_of(second)
    with pytest.raises(ValueError, match=f"^{message}$"):
        combine(first, second)
    np.testing.assert_array_equal(cpts_of(first), CPTS)
    np.testing.assert_array_equal(cpts_of(second), before)


def test_sum_reads_the_domain_through_redefined_properties():
    class Moved(Trajectory1d):
        start = property(lambda self: -1.0)

    with pytest.raises(ValueError, match="the input traiectories must have the same extremes"):
        cubic(cls=Moved) + cubic()


def test_sum_with_an_empty_trajectory_raises_value_error():
    with pytest.raises(ValueError):
        Trajectory1d() + Trajectory1d()
    with pytest.raises(ValueError, match="the input traiectories must have the same extremes"):
        Trajectory1d().c_splcsum(make_trajectory([0.0, 1.0], [2.0], 0))


@pytest.mark.parametrize("method", ["c_splcsum", "c_splcmul"])
@pytest.mark.parametrize("other, got", [(None, "NoneType"), (5, "int"), ((1, 2), "tuple")])
def test_sum_and_product_methods_take_only_trajectories(method, other, got):
    with pytest.raises(TypeError) as raised:
        getattr(cubic(), method)(other)
    assert str(raised.value) == type_error_argument(got)


@pytest.mark.parametrize("method", ["c_splcsum", "c_splcmul"])
def test_sum_and_product_methods_take_exactly_one_argument(method):
    with pytest.raises(TypeError) as raised:
        getattr(cubic(), method)()
    assert str(raised.value) == f"{method}() takes exactly 1 positional argument (0 given)"


def test_sum_method_takes_other_by_keyword():
    assert cubic().c_splcsum(other=cubic()) == cubic() * 2


@pytest.mark.parametrize(
    "product", [operator.mul, Trajectory1d.c_splcmul, lambda a, b: a.c_splcmul(other=b)]
)
def test_product_of_two_trajectories_is_not_provided(product):
    with pytest.raises(NotImplementedError) as raised:
        product(cubic(), cubic())
    assert raised.value.args == ()


def test_sum_of_a_trajectory_with_itself_doubles_it():
    t = cubic(order=2)
    s = t + t
    assert s is not t
    assert (s.p, s.order, s.start, s.stop) == (3, 2, 0.0, 1.0)
    assert s._getAttrib()["owner"] == "True"
    x = np.linspace(0.0, 1.0, 41)
    np.testing.assert_allclose(oracle(s)(x), 2 * oracle(t)(x), rtol=0, atol=1e-12)


def test_difference_of_two_trajectories_leaves_both_unchanged():
    t1 = cubic()
    t2 = cubic([1.0, 2.0, 3.0, 4.0, 5.0, 6.0], interior=(0.25, 0.75))
    s = t1 - t2
    assert s is not t1 and s is not t2
    np.testing.assert_array_equal(cpts_of(t1), CPTS)
    np.testing.assert_array_equal(cpts_of(t2), [1.0, 2.0, 3.0, 4.0, 5.0, 6.0])
    np.testing.assert_array_equal(knots_of(s), clamped_knots([0.25, 0.5, 0.75], 3))
    x = np.linspace(0.0, 1.0, 41)
    np.testing.assert_allclose(oracle(s)(x), oracle(t1)(x) - oracle(t2)(x), rtol=0, atol=1e-12)


# ---- equality -----------------------------------------------------------------------------------


def test_copy_of_an_owning_trajectory_is_equal():
    t = cubic()
    assert t == t.copy()
    assert not t != t.copy()


def test_trajectory_wrapping_arrays_it_does_not_own_differs_from_its_copy():
    t = cubic(owner=False)
    assert t != t.copy()
    assert t == cubic(owner=False)


@pytest.mark.parametrize(
    "change, equal",
    [
        (lambda t: t.__iadd__(1e-14), True),
        (lambda t: t.__iadd__(1e-6), False),
        (lambda t: t.__imul__(1 + 5e-10), True),
        (lambda t: t.__imul__(1 + 5e-9), False),
        (lambda t: t.get_knotvector_asarray().__setitem__(4, 0.5 + 1e-14), True),
        (lambda t: t.get_knotvector_asarray().__setitem__(4, 0.5 + 1e-6), False),
    ],
)
def test_equality_tolerates_relative_1e_9_with_floor_1e_13(change, equal):
    t = cubic()
    changed = t.copy()
    change(changed)
    assert (changed == t) is equal
    assert (changed != t) is not equal


@pytest.mark.parametrize("value, equal", [(1e-13, True), (2e-13, False), (-1e-13, True)])
def test_equality_near_zero_uses_the_absolute_floor(value, equal):
    zero = make_trajectory([0.0, 1.0], [0.0], 0)
    assert (zero == make_trajectory([0.0, 1.0], [value], 0)) is equal


@pytest.mark.parametrize(
    "first, second",
    [
        (cubic(), cubic(order=1)),
        (cubic(), cubic(owner=False)),
        (cubic(), make_trajectory(clamped_knots([0.5], 2), CPTS[1:], 2)),
        # The same straight line written with one more knot: n differs.
        (
            make_trajectory([0.0, 0.0, 1.0, 1.0], [0.0, 1.0], 1),
            make_trajectory([0.0, 0.0, 0.5, 1.0, 1.0], [0.0, 0.5, 1.0], 1),
        ),
    ],
)
def test_degree_size_order_and_owner_flag_must_agree(first, second):
    assert (first == second) is False
    assert (first != second) is True


def test_nan_control_point_makes_a_trajectory_unequal_to_itself():
    t = cubic([0.0, np.nan, 1.0, 2.0, 3.0])
    assert not t == t
    assert t != t


@pytest.mark.parametrize("other", [None, 5, 1.0, "t", CPTS, np.array(CPTS)])
def test_non_trajectory_is_unequal_without_error(other):
    t = cubic()
    assert (t == other) is False
    assert (t != other) is True
    assert t.__eq__(other) is False


def test_empty_trajectory_compared_with_agreeing_fields_raises_value_error():
    with pytest.raises(ValueError):
        Trajectory1d() == Trajectory1d()
    with pytest.raises(ValueError):
        Trajectory1d() == make_trajectory([0.0, 1.0], [2.0], 0, owner=False)


def test_empty_trajectory_compared_with_other_fields_is_unequal():
    assert (Trajectory1d() == cubic()) is False
    assert (Trajectory1d() == make_trajectory([0.0, 1.0], [2.0], 0)) is False


class Derived(Trajectory1d):
    pass


def test_equality_requires_an_instance_of_the_left_operands_class():
    plain, derived = cubic(), cubic(cls=Derived)
    assert plain.__eq__(derived) is True
    assert derived.__eq__(plain) is False
    assert (derived == plain) is False
    assert derived.__ne__(plain) is True


def test_redefined_eq_governs_not_equal():
    class Agreeable(Trajectory1d):
        def __eq__(self, other):
            return True

    agreeable = cubic(cls=Agreeable)
    assert Trajectory1d.__ne__(agreeable, 5) is False
    assert (agreeable != cubic(order=1)) is False


# ---- redefinitions reached by the operators ------------------------------------------------------


class Recording(Trajectory1d):
    calls = []

    def copy(self):
        self.calls.append("copy")
        return make_trajectory(knots_of(self), cpts_of(self), self.p, self.order, cls=Recording)

    def __iadd__(self, x):
        self.calls.append("__iadd__")
        return super().__iadd__(x)

    def __isub__(self, x):
        self.calls.append("__isub__")
        return super().__isub__(x)

    def __imul__(self, x):
        self.calls.append("__imul__")
        return super().__imul__(x)

    def __itruediv__(self, x):
        self.calls.append("__itruediv__")
        return super().__itruediv__(x)

    def c_splcsum(self, other):
        self.calls.append("c_splcsum")
        return "sum"

    def c_splcmul(self, other):
        self.calls.append("c_splcmul")
        return "product"


@pytest.fixture
def recording():
    t = cubic(cls=Recording)
    Recording.calls = []
    return t


@pytest.mark.parametrize(
    "expression, calls, expected",
    [
        (lambda t: t + 1, ["copy", "__iadd__"], lambda c: c + 1),
        (lambda t: 1 + t, ["copy", "__iadd__"], lambda c: c + 1),
        (lambda t: t - 1, ["copy", "__isub__"], lambda c: c - 1),
        (lambda t: 1 - t, ["copy"], lambda c: 1 - c),
        (lambda t: t * 2, ["copy", "__imul__"], lambda c: c * 2),
        (lambda t: 2 * t, ["copy", "__imul__"], lambda c: c * 2),
        (lambda t: t / 2, ["copy", "__itruediv__"], lambda c: c / 2),
    ],
)
def test_operators_with_numbers_reach_redefined_helpers(recording, expression, calls, expected):
    result = expression(recording)
    assert Recording.calls == calls
    assert type(result) is Recording
    np.testing.assert_array_equal(cpts_of(result), expected(np.array(CPTS)))
    np.testing.assert_array_equal(cpts_of(recording), CPTS)


@pytest.mark.parametrize(
    "expression, calls, result",
    [
        (lambda t: t + cubic(), ["c_splcsum"], "sum"),
        (lambda t: t - cubic(cls=Recording), ["copy", "c_splcsum"], "sum"),
        (lambda t: t * cubic(), ["c_splcmul"], "product"),
    ],
)
def test_operators_between_trajectories_reach_redefined_helpers(
    recording, expression, calls, result
):
    assert expression(recording) == result
    assert Recording.calls == calls


def test_difference_hands_the_redefined_sum_a_negated_copy():
    received = []

    class Receiving(Trajectory1d):
        def c_splcsum(self, other):
            received.append(other)
            return other

    second = cubic([1.0, 2.0, 3.0, 4.0, 5.0], cls=Recording)
    cubic(cls=Receiving) - second
    np.testing.assert_array_equal(cpts_of(received[0]), [-1.0, -2.0, -3.0, -4.0, -5.0])
    np.testing.assert_array_equal(cpts_of(second), [1.0, 2.0, 3.0, 4.0, 5.0])


def test_left_trajectory_is_examined_first():
    class Left(Trajectory1d):
        def c_splcsum(self, other):
            return "left"

    class Right(Trajectory1d):
        def c_splcsum(self, other):
            return "right"

    assert cubic(cls=Left) + cubic(cls=Right) == "left"
    assert cubic(cls=Right) + cubic(cls=Left) == "right"


def test_redefined_copy_that_is_not_a_trajectory_is_refused_where_negated():
    class Odd(Trajectory1d):
        def copy(self):
            return 3.0

    with pytest.raises(TypeError, match="Cannot convert float to pykesta.curvetypes.Trajectory1d"):
        1 - cubic(cls=Odd)
    with pytest.raises(TypeError, match="Cannot convert float to pykesta.curvetypes.Trajectory1d"):
        cubic() - cubic(cls=Odd)


# ---- properties against scipy ------------------------------------------------------------------

POOL = (0.1, 0.25, 0.3, 0.5, 0.625, 0.75, 0.9)


@st.composite
def domains(draw):
    start = draw(st.floats(-10.0, 10.0))
    return start, start + draw(st.floats(0.5, 20.0))


@st.composite
def trajectories(draw, p, start, stop, order=0):
    """A clamped trajectory whose interior knots come partly from a common pool,
    so that two of them share some knots exactly, with multiplicities up to p + 1."""
    fractions = draw(
        st.lists(st.one_of(st.sampled_from(POOL), st.floats(0.02, 0.98)), unique=True, max_size=5)
    )
    interior = []
    for value in sorted({start + fraction * (stop - start) for fraction in fractions}):
        interior += [value] * draw(st.integers(1, p + 1))
    knots = clamped_knots(interior, p, start, stop)
    count = len(knots) - p - 1
    amplitude = 10.0 ** draw(st.integers(-2, 2))
    cpts = amplitude * np.array(draw(st.lists(st.floats(-1, 1), min_size=count, max_size=count)))
    return make_trajectory(knots, cpts, p, order)


@st.composite
def trajectory_pairs(draw):
    p = draw(st.integers(0, 4))
    start, stop = draw(domains())
    order = draw(st.integers(0, 3))
    return draw(trajectories(p, start, stop, order)), draw(trajectories(p, start, stop, order))


def sample_points(t):
    return np.linspace(t.start, t.stop, 97)


def scale_of(*ts):
    return max(max(np.max(np.abs(cpts_of(t))) for t in ts), 1e-300)


def assert_multiplicities_cover(union, knots):
    values, counts = np.unique(knots, return_counts=True)
    for value, count in zip(values, counts):
        assert np.count_nonzero(union == value) >= count


@settings(max_examples=60, deadline=None)
@given(trajectory_pairs(), st.booleans())
def test_sum_and_difference_are_pointwise(pair, subtract):
    t1, t2 = pair
    before = cpts_of(t1), cpts_of(t2)
    result = t1 - t2 if subtract else t1 + t2
    assert (result.p, result.order) == (t1.p, t1.order)
    assert (result.start, result.stop) == (t1.start, t1.stop)
    union = knots_of(result)
    assert len(union) == result.n + result.p + 2 and len(cpts_of(result)) == result.n + 1
    assert np.all(np.diff(union) >= 0)
    assert_multiplicities_cover(union, knots_of(t1))
    assert_multiplicities_cover(union, knots_of(t2))
    x = sample_points(t1)
    sign = -1.0 if subtract else 1.0
    expected = oracle(t1)(x) + sign * oracle(t2)(x)
    np.testing.assert_allclose(oracle(result)(x), expected, rtol=0, atol=1e-10 * scale_of(t1, t2))
    np.testing.assert_array_equal(cpts_of(t1), before[0])
    np.testing.assert_array_equal(cpts_of(t2), before[1])


def test_sum_with_different_interior_knots_example():
    t1 = make_trajectory(clamped_knots([0.5], 2), [0.0, 1.0, 2.0, 3.0], 2)
    t2 = make_trajectory(clamped_knots([0.25, 0.5, 0.5], 2), [1.0, 0.0, -1.0, 2.0, 1.0, 0.0], 2)
    s = t1 + t2
    np.testing.assert_array_equal(knots_of(s), clamped_knots([0.25, 0.5, 0.5], 2))
    assert s.n == 5
    x = np.linspace(0.0, 1.0, 33)
    np.testing.assert_allclose(oracle(s)(x), oracle(t1)(x) + oracle(t2)(x), rtol=0, atol=1e-12)


WITH_A_NUMBER = {
    "t + x": lambda t, x: t + x,
    "x + t": lambda t, x: x + t,
    "t - x": lambda t, x: t - x,
    "x - t": lambda t, x: x - t,
    "t * x": lambda t, x: t * x,
    "x * t": lambda t, x: x * t,
    "t / x": lambda t, x: t / x,
}


@settings(max_examples=40, deadline=None)
@given(
    st.integers(0, 4).flatmap(lambda p: domains().flatmap(lambda d: trajectories(p, *d))),
    st.sampled_from(sorted(WITH_A_NUMBER)),
    st.floats(-100.0, 100.0),
    st.one_of(st.floats(-100.0, -1e-3), st.floats(1e-3, 100.0)),
)
def test_operators_with_numbers_are_pointwise(t, expression, number, divisor):
    x = divisor if expression == "t / x" else number
    operation = WITH_A_NUMBER[expression]
    before = cpts_of(t)
    result = operation(t, x)
    points = sample_points(t)
    expected = operation(oracle(t)(points), x)
    atol = 1e-12 * (scale_of(t) + scale_of(result) + abs(x))
    np.testing.assert_allclose(oracle(result)(points), expected, rtol=0, atol=atol)
    np.testing.assert_array_equal(cpts_of(t), before)
