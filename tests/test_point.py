"""Point1d: construction, from_tuple, properties, copies, text forms, equality,
attribute texts and the refusal to be pickled."""

import copy
import ctypes
import math
import pickle
import weakref
from collections import namedtuple

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from pykesta import curvetypes
from pykesta.curvetypes import Point1d, PyKESTAObject

UINT32_MAX = 4294967295

doubles = st.floats(allow_nan=False)
orders = st.integers(0, UINT32_MAX)


class Shifted(Point1d):
    """A subclass whose properties answer with other values than the record holds."""

    @property
    def t(self):
        return 10.0

    @property
    def val(self):
        return Point1d.val.__get__(self) + 1.0

    @property
    def order(self):
        return 7


class Plain(Point1d):
    pass


# ---- construction -------------------------------------------------------------------


def test_fields_read_back_as_given():
    p = Point1d(1.5, -2.0, 1)
    assert (p.t, p.val, p.order) == (1.5, -2.0, 1)
    assert type(p.t) is float and type(p.val) is float and type(p.order) is int


def test_integers_for_t_and_val_read_back_as_floats():
    p = Point1d(0, 0, 0)
    assert (p.t, p.val) == (0.0, 0.0)
    assert type(p.t) is float and type(p.val) is float


def test_keywords_in_any_order():
    assert Point1d(order=3, val=2.0, t=1.0) == Point1d(1.0, 2.0, 3)
    assert Point1d(1.0, order=3, val=2.0) == Point1d(1.0, 2.0, 3)


@pytest.mark.parametrize(
    "order, expected", [(2.9, 2), (-0.5, 0), (True, 1), (UINT32_MAX, UINT32_MAX)]
)
def test_order_accepts_integer_conversions(order, expected):
    assert Point1d(1.0, 2.0, order).order == expected


@pytest.mark.parametrize(
    "order, error, message",
    [
        (-1, OverflowError, "can't convert negative value to unsigned int"),
        (-1.5, OverflowError, "can't convert negative value to unsigned int"),
        (UINT32_MAX + 1, OverflowError, "value too large to convert to unsigned int"),
        (2**70, OverflowError, "value too large to convert to unsigned int"),
        ("1", TypeError, "an integer is required"),
        (None, TypeError, "an integer is required"),
    ],
)
def test_order_conversion_errors(order, error, message):
    with pytest.raises(error) as info:
        Point1d(1.0, 2.0, order)
    assert str(info.value) == message


@pytest.mark.parametrize("args", [(1.0, 2.0, "x"), ("x", 2.0, 1), (1.0, None, 1)])
def test_failed_initialiser_leaves_the_point_unchanged(args):
    p = Point1d(1.0, 2.0, 3)
    with pytest.raises(TypeError):
        p.__init__(*args)
    assert (p.t, p.val, p.order) == (1.0, 2.0, 3)


def test_initialiser_again_overwrites_all_fields():
    p = Point1d(1.0, 2.0, 3)
    p.__init__(4.0, 5.0, 6)
    assert (p.t, p.val, p.order) == (4.0, 5.0, 6)


@pytest.mark.parametrize(
    "args, kwargs",
    [((), {}), ((1.0, 2.0), {}), ((1.0, 2.0, 3, 4), {}), ((1.0, 2.0), {"x": 3}),
     ((1.0, 2.0, 3), {"t": 1.0})],
)
def test_wrong_arguments_are_refused(args, kwargs):
    with pytest.raises(TypeError):
        Point1d(*args, **kwargs)


def test_wrong_count_message():
    with pytest.raises(TypeError, match=r"^__init__\(\) takes exactly 3 positional arguments "
                                        r"\(2 given\)$"):
        Point1d(1.0, 2.0)


def test_bare_allocation_holds_zeros():
    p = Point1d.__new__(Point1d)
    assert (p.t, p.val, p.order) == (0.0, 0.0, 0)


def test_is_a_persistable_object():
    assert issubclass(Point1d, PyKESTAObject)


def test_no_instance_dictionary_and_no_weak_references():
    p = Point1d(1.0, 2.0, 3)
    assert not hasattr(p, "__dict__")
    with pytest.raises(AttributeError):
        p.label = "start"
    with pytest.raises(TypeError):
        weakref.ref(p)


def test_interpreter_subclasses_get_a_dictionary():
    p = Plain(1.0, 2.0, 3)
    p.label = "start"
    assert p.__dict__ == {"label": "start"}
    assert weakref.ref(p)() is p


# ---- from_tuple ----------------------------------------------------------------------


def test_from_tuple_equals_the_constructor():
    p = Point1d.from_tuple((1.0, 2.0, 3))
    assert type(p) is Point1d
    assert p == Point1d(1.0, 2.0, 3)


def test_from_tuple_converts_like_the_properties():
    p = Point1d.from_tuple((1, 2, 2.9))
    assert (p.t, p.val, p.order) == (1.0, 2.0, 2)
    assert type(p.t) is float


def test_from_tuple_ignores_items_after_the_third():
    assert Point1d.from_tuple((1.0, 2.0, 3, "ignored", None)) == Point1d(1.0, 2.0, 3)


def test_from_tuple_by_keyword_and_on_an_instance():
    assert Point1d.from_tuple(pnt=(1.0, 2.0, 3)) == Point1d(1.0, 2.0, 3)
    assert Point1d(0, 0, 0).from_tuple((1.0, 2.0, 3)) == Point1d(1.0, 2.0, 3)


def test_from_tuple_builds_a_plain_point_whatever_the_class():
    p = Shifted.from_tuple((1.0, 2.0, 3))
    assert type(p) is Point1d
    assert (p.t, p.val, p.order) == (1.0, 2.0, 3)


@pytest.mark.parametrize(
    "argument, got", [([1.0, 2.0, 3], "list"), (namedtuple("P", "t val order")(1.0, 2.0, 3), "P"),
                      (Point1d(1.0, 2.0, 3), "pykesta.curvetypes.Point1d"), ("123", "str")]
)
def test_from_tuple_takes_exactly_a_tuple(argument, got):
    with pytest.raises(TypeError) as info:
        Point1d.from_tuple(argument)
    assert str(info.value) == f"Argument 'pnt' has incorrect type (expected tuple, got {got})"


def test_from_tuple_of_none():
    with pytest.raises(TypeError) as info:
        Point1d.from_tuple(None)
    assert str(info.value) == "'NoneType' object is not subscriptable"


@pytest.mark.parametrize("items", [(), (1.0,), (1.0, 2.0)])
def test_from_tuple_with_fewer_than_three_items(items):
    with pytest.raises(IndexError) as info:
        Point1d.from_tuple(items)
    assert str(info.value) == "tuple index out of range"


@pytest.mark.parametrize(
    "items, error, message",
    [
        ((1.0, 2.0, -1), OverflowError, "can't convert negative value to unsigned int"),
        ((1.0, 2.0, UINT32_MAX + 1), OverflowError, "value too large to convert to unsigned int"),
        ((1.0, 2.0, "1"), TypeError, "an integer is required"),
        # The items are taken in turn: a bad first item fails before the missing ones count.
        (("x",), TypeError, "must be real number, not str"),
        ((1.0, None), TypeError, "must be real number, not NoneType"),
    ],
)
def test_from_tuple_conversion_errors(items, error, message):
    with pytest.raises(error) as info:
        Point1d.from_tuple(items)
    assert str(info.value) == message


@pytest.mark.parametrize("args, kwargs", [((), {}), (((1.0, 2.0, 3), 1), {}),
                                          ((), {"point": (1.0, 2.0, 3)})])
def test_from_tuple_argument_count(args, kwargs):
    with pytest.raises(TypeError):
        Point1d.from_tuple(*args, **kwargs)


# ---- properties --------------------------------------------------------------------------


def test_properties_can_be_written():
    p = Point1d(0, 0, 0)
    p.t, p.val, p.order = 1, -2.5, 4.7
    assert (p.t, p.val, p.order) == (1.0, -2.5, 4)


@pytest.mark.parametrize("name", ["t", "val", "order"])
def test_properties_cannot_be_deleted(name):
    p = Point1d(1.0, 2.0, 3)
    with pytest.raises(NotImplementedError) as info:
        delattr(p, name)
    assert str(info.value) == "__del__"
    assert (p.t, p.val, p.order) == (1.0, 2.0, 3)


@pytest.mark.parametrize(
    "name, value, error",
    [("order", UINT32_MAX + 1, OverflowError), ("order", -1, OverflowError),
     ("order", "2", TypeError), ("t", "2", TypeError), ("val", None, TypeError)],
)
def test_failed_assignment_leaves_the_field_unchanged(name, value, error):
    p = Point1d(1.0, 2.0, 3)
    with pytest.raises(error):
        setattr(p, name, value)
    assert (p.t, p.val, p.order) == (1.0, 2.0, 3)


def test_order_accepts_the_largest_unsigned_value():
    p = Point1d(1.0, 2.0, 3)
    p.order = UINT32_MAX
    assert p.order == UINT32_MAX
    with pytest.raises(OverflowError, match="^value too large to convert to unsigned int$"):
        p.order = UINT32_MAX + 1
    assert p.order == UINT32_MAX


def test_special_doubles_are_kept():
    p = Point1d(float("inf"), float("-inf"), 0)
    assert (p.t, p.val) == (math.inf, -math.inf)
    assert math.isnan(Point1d(float("nan"), 0, 0).t)


# ---- copies ------------------------------------------------------------------------------


@pytest.mark.parametrize("make_copy", [Point1d.copy, copy.copy, copy.deepcopy])
def test_copies_are_equal_and_independent(make_copy):
    p = Point1d(1.5, -2.0, 1)
    q = make_copy(p)
    assert q is not p and type(q) is Point1d and q == p
    q.t, q.val, q.order = 9.0, 9.0, 9
    assert (p.t, p.val, p.order) == (1.5, -2.0, 1)


@pytest.mark.parametrize("make_copy", [Shifted.copy, copy.copy, copy.deepcopy])
def test_copy_of_a_subclass_is_a_plain_point_with_the_property_values(make_copy):
    q = make_copy(Shifted(1.0, 2.0, 3))
    assert type(q) is Point1d
    assert (q.t, q.val, q.order) == (10.0, 3.0, 7)


def test_copy_protocol_reaches_a_redefined_copy():
    class Counting(Point1d):
        copies = 0

        def copy(self):
            Counting.copies += 1
            return Point1d(-1.0, -1.0, 0)

    p = Counting(1.0, 2.0, 3)
    assert copy.copy(p) == Point1d(-1.0, -1.0, 0)
    assert copy.deepcopy(p, {}) == Point1d(-1.0, -1.0, 0)
    assert Counting.copies == 2
    # The method of the class itself stays the native copy.
    assert Point1d.copy(p) == Point1d(1.0, 2.0, 3)


def test_copy_fails_when_a_property_fails():
    class Broken(Point1d):
        @property
        def val(self):
            raise RuntimeError("no value")

    with pytest.raises(RuntimeError, match="^no value$"):
        Broken(1.0, 2.0, 3).copy()


def test_copy_converts_the_property_values():
    class Negative(Point1d):
        @property
        def order(self):
            return -1

    with pytest.raises(OverflowError, match="^can't convert negative value to unsigned int$"):
        Negative(1.0, 2.0, 3).copy()


# ---- text forms and attribute texts -----------------------------------------------------------


@pytest.mark.parametrize(
    "point, text, representation",
    [
        (Point1d(1.5, -2.0, 1), "Point1d(t = 1.5, val = -2.0, order = 1)",
         "{'t': 1.5, 'val': -2.0, 'order': 1}"),
        (Point1d(1e-05, float("inf"), 0), "Point1d(t = 1e-05, val = inf, order = 0)",
         "{'t': 1e-05, 'val': inf, 'order': 0}"),
        (Point1d(float("nan"), 1e16, UINT32_MAX),
         "Point1d(t = nan, val = 1e+16, order = 4294967295)",
         "{'t': nan, 'val': 1e+16, 'order': 4294967295}"),
        (Shifted(1.0, 2.0, 3), "Point1d(t = 10.0, val = 3.0, order = 7)",
         "{'t': 10.0, 'val': 3.0, 'order': 7}"),
    ],
)
def test_text_forms(point, text, representation):
    assert str(point) == text
    assert repr(point) == representation


@settings(max_examples=100, deadline=None)
@given(doubles, doubles, orders)
def test_text_forms_use_the_interpreter_texts(t, val, order):
    p = Point1d(t, val, order)
    assert str(p) == f"Point1d(t = {t!s}, val = {val!s}, order = {order})"
    assert repr(p) == f"{{'t': {t!s}, 'val': {val!s}, 'order': {order}}}"
    assert p._getAttrib() == {"t": str(t), "val": str(val), "order": str(order)}


def test_get_attrib():
    attributes = Point1d(1.5, -2.0, 1)._getAttrib()
    assert attributes == {"t": "1.5", "val": "-2.0", "order": "1"}
    assert list(attributes) == ["t", "val", "order"]


def test_get_attrib_reads_the_properties():
    assert Shifted(1.0, 2.0, 3)._getAttrib() == {"t": "10.0", "val": "3.0", "order": "7"}


# ---- equality ---------------------------------------------------------------------------------


@settings(max_examples=100, deadline=None)
@given(doubles, doubles, orders)
def test_equal_values_make_equal_points(t, val, order):
    a, b = Point1d(t, val, order), Point1d(t, val, order)
    assert a == b and not (a != b)


@pytest.mark.parametrize(
    "other",
    [Point1d(math.nextafter(1.0, 2.0), 2.0, 3), Point1d(1.0, math.nextafter(2.0, 0.0), 3),
     Point1d(1.0, 2.0, 4)],
)
def test_equality_is_exact(other):
    p = Point1d(1.0, 2.0, 3)
    assert not (p == other) and p != other


@pytest.mark.parametrize("field", ["t", "val"])
def test_a_nan_point_is_unequal_to_itself(field):
    p = Point1d(1.0, 2.0, 3)
    setattr(p, field, float("nan"))
    assert not (p == p) and p != p


@pytest.mark.parametrize("other", [(1.0, 2.0, 1), [1.0, 2.0, 1], None, 1.0])
def test_other_types_are_unequal(other):
    p = Point1d(1.0, 2.0, 1)
    assert (p == other) is False
    assert (p != other) is True


def test_equality_compares_the_properties():
    assert Shifted(1.0, 2.0, 3) == Shifted(-5.0, 2.0, 0)
    assert Shifted(1.0, 2.0, 3) != Shifted(1.0, 2.5, 3)


def test_first_false_answer_is_returned_as_it_is():
    class Answer:
        def __eq__(self, other):
            return 0

    class Odd(Point1d):
        @property
        def t(self):
            return Answer()

    assert (Odd(1.0, 2.0, 3) == Odd(1.0, 2.0, 3)) == 0
    assert type(Odd(1.0, 2.0, 3) == Odd(1.0, 2.0, 3)) is int


def test_inequality_goes_through_a_redefined_eq():
    class AlwaysEqual(Point1d):
        def __eq__(self, other):
            return True

    a = AlwaysEqual(1.0, 2.0, 3)
    assert Point1d.__ne__(a, Point1d(4.0, 5.0, 6)) is False
    assert Point1d.__ne__(Point1d(1.0, 2.0, 3), Point1d(1.0, 2.0, 3)) is False


@pytest.mark.parametrize("compare", [lambda a, b: a < b, lambda a, b: a <= b,
                                     lambda a, b: a > b, lambda a, b: a >= b])
def test_no_ordering(compare):
    with pytest.raises(TypeError):
        compare(Point1d(1.0, 2.0, 1), Point1d(2.0, 2.0, 1))
    assert Point1d.__lt__(Point1d(1.0, 2.0, 1), Point1d(2.0, 2.0, 1)) is NotImplemented


def test_not_hashable():
    p = Point1d(1.0, 2.0, 1)
    assert Point1d.__hash__ is None
    with pytest.raises(TypeError):
        hash(p)
    with pytest.raises(TypeError):
        {p}


# ---- pickling ----------------------------------------------------------------------------------

REFUSAL = "pickling of the record field self.p has to be requested explicitly"


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickling_is_refused(protocol):
    with pytest.raises(TypeError) as info:
        pickle.dumps(Point1d(1.0, 2.0, 3), protocol)
    assert str(info.value) == REFUSAL


def test_pickling_entry_points_refuse():
    p = Point1d(1.0, 2.0, 3)
    with pytest.raises(TypeError, match=f"^{REFUSAL}$"):
        p.__reduce__()
    with pytest.raises(TypeError, match=f"^{REFUSAL}$"):
        p.__setstate__(())
    assert (p.t, p.val, p.order) == (1.0, 2.0, 3)


# ---- table of virtual operations ---------------------------------------------------------------

POINTER = ctypes.sizeof(ctypes.c_void_p)
POINT_TABLE = 4  # position of the Point1d table in the published API record
GET_ATTRIB, COPY = 1, 6  # entries of the Point1d table


def point_table_entry(index):
    get_pointer = ctypes.PYFUNCTYPE(ctypes.c_void_p, ctypes.py_object, ctypes.c_char_p)(
        ("PyCapsule_GetPointer", ctypes.pythonapi))
    api = get_pointer(curvetypes.__native_api__["api"],
                      b"const pykesta::curvetypes::CurvetypesAPI *")
    table = ctypes.c_void_p.from_address(api + POINT_TABLE * POINTER).value
    entry = ctypes.c_void_p.from_address(table + index * POINTER).value
    return ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object)(entry)


def test_table_entries_of_a_plain_point():
    p = Point1d(1.5, -2.0, 1)
    assert point_table_entry(GET_ATTRIB)(p) == {"t": "1.5", "val": "-2.0", "order": "1"}
    q = point_table_entry(COPY)(p)
    assert type(q) is Point1d and q == p and q is not p


def test_table_entries_reach_redefinitions():
    class Redefined(Point1d):
        def _getAttrib(self):
            return {"t": "redefined"}

        def copy(self):
            return Point1d(-1.0, -1.0, 0)

    p = Redefined(1.0, 2.0, 3)
    assert point_table_entry(GET_ATTRIB)(p) == {"t": "redefined"}
    assert point_table_entry(COPY)(p) == Point1d(-1.0, -1.0, 0)


@pytest.mark.parametrize(
    "method, index, message",
    [("_getAttrib", GET_ATTRIB, "Expected dict, got list"),
     ("copy", COPY, "Cannot convert list to pykesta.curvetypes.Point1d")],
)
def test_table_entries_check_what_a_redefinition_returns(method, index, message):
    Wrong = type("Wrong", (Point1d,), {method: lambda self: []})
    with pytest.raises(TypeError) as info:
        point_table_entry(index)(Wrong(1.0, 2.0, 3))
    assert str(info.value) == message
