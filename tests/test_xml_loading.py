"""Loading one object back from a document: round trips, how the stored
attributes are read, the errors that propagate unchanged, damaged counts, and
documents that try to reach files or the network."""

import ctypes
import gc
import math
import struct
import tracemalloc

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from pykesta import curvetypes
from pykesta.curvetypes import CorruptedFileError, Point1d, PyKESTAObject, Trajectory1d
from trajectory_factory import make_trajectory

UINT32_MAX = 4294967295


def write_document(path, *elements, doctype=""):
    path.write_text("<?xml version='1.0' encoding='utf-8'?>\n" + doctype +
                    "<PyKESTAObjectList>" + "".join(elements) + "</PyKESTAObjectList>")
    return str(path)


def trajectory_element(ID="a", p="1", n="1", order="0", owner="True", cpts="1.0 2.0",
                       knots="0.0 0.0 1.0 1.0", tag="Trajectory1d"):
    attributes = [("ID", ID), ("p", p), ("n", n), ("owner", owner), ("order", order)]
    text = " ".join(f'{name}="{value}"' for name, value in attributes if value is not None)
    children = "".join(f"<{child}>{value}</{child}>" if value is not None else f"<{child}/>"
                       for child, value in (("cpts", cpts), ("knots", knots)))
    return f"<{tag} {text}>{children}</{tag}>"


def point_element(ID="a", t="1.5", val="-2.0", order="1"):
    attributes = [("ID", ID), ("t", t), ("val", val), ("order", order)]
    text = " ".join(f'{name}="{value}"' for name, value in attributes if value is not None)
    return f"<Point1d {text}/>"


def bits(values):
    return [struct.pack("<d", x) for x in values]


def raised_by(function, *args):
    """The exception the interpreter's own operation raises."""
    try:
        function(*args)
    except Exception as error:
        return type(error), str(error)
    raise AssertionError("no exception")


# ---- round trips ---------------------------------------------------------------------------

@st.composite
def trajectories(draw):
    p = draw(st.integers(0, 5))
    n = draw(st.integers(p, p + 12))
    doubles = st.floats(allow_nan=False, allow_subnormal=True)
    knots = sorted(draw(st.lists(doubles, min_size=n + p + 2, max_size=n + p + 2)))
    cpts = draw(st.lists(doubles, min_size=n + 1, max_size=n + 1))
    # The stored order is read back as a signed 32-bit integer.
    order = draw(st.integers(0, 2**31 - 1))
    owner = draw(st.booleans())
    return make_trajectory(knots, cpts, p, order=order, owner=owner)


@settings(max_examples=60, deadline=None,
          suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(trajectories())
def test_round_trip_is_bit_exact(tmp_path, trajectory):
    trajectory.savexml(str(tmp_path / "trip"), "a")
    loaded = Trajectory1d.loadxml(str(tmp_path / "trip"), "a")
    assert type(loaded) is Trajectory1d
    assert (loaded.p, loaded.n, loaded.order) == (trajectory.p, trajectory.n, trajectory.order)
    assert bits(loaded.get_knotvector_asarray()) == bits(trajectory.get_knotvector_asarray())
    assert bits(loaded.get_cpts_asarray()) == bits(trajectory.get_cpts_asarray())
    # Whatever the saved flag, the text "True" or "False" loads as set.
    assert loaded._getAttrib()["owner"] == "True"


@settings(max_examples=60, deadline=None,
          suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(st.floats(), st.floats(), st.integers(0, UINT32_MAX))
def test_point_round_trip(tmp_path, t, val, order):
    Point1d(t, val, order).savexml(str(tmp_path / "point"), "a")
    loaded = Point1d.loadxml(str(tmp_path / "point"), "a")
    assert type(loaded) is Point1d
    for got, saved in ((loaded.t, t), (loaded.val, val)):
        assert (math.isnan(got) and math.isnan(saved)) or bits([got]) == bits([saved])
    assert loaded.order == order


def test_the_domain_comes_from_the_knots(tmp_path):
    element = trajectory_element().replace('order="0"', 'order="0" start="5.0" stop="-3.0"')
    loaded = Trajectory1d.loadxml(write_document(tmp_path / "d.xml", element), "a")
    assert (loaded.start, loaded.stop) == (0.0, 1.0)


def test_numbers_beyond_the_counts_are_ignored(tmp_path):
    element = trajectory_element(cpts="1.0 2.0 3.0 4.0", knots="0.0 0.0 1.0 1.0 7.0")
    loaded = Trajectory1d.loadxml(write_document(tmp_path / "d.xml", element), "a")
    assert loaded.get_cpts_asarray().tolist() == [1.0, 2.0]
    assert loaded.get_knotvector_asarray().tolist() == [0.0, 0.0, 1.0, 1.0]


# ---- attributes -----------------------------------------------------------------------------

@pytest.mark.parametrize(("owner", "flag"), [
    ("True", "True"), ("False", "True"), ("0", "True"), (" ", "True"), ("", "False"),
    (None, "False")])
def test_owner_flag_is_the_truth_of_the_text(tmp_path, owner, flag):
    path = write_document(tmp_path / "d.xml", trajectory_element(owner=owner))
    assert Trajectory1d.loadxml(path, "a")._getAttrib()["owner"] == flag


def test_storage_is_freed_whatever_the_owner_flag(tmp_path):
    count = 2000
    cpts = " ".join(["1.5"] * count)
    knots = " ".join(["0.0"] * (count + 2))
    path = write_document(tmp_path / "d.xml", trajectory_element(
        owner="", n=str(count - 1), cpts=cpts, knots=knots))
    Trajectory1d.loadxml(path, "a")
    gc.collect()
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(100):
            loaded = Trajectory1d.loadxml(path, "a")
            assert loaded._getAttrib()["owner"] == "False"
            del loaded
        gc.collect()
        grown = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
    # Each load takes 32 kB of trajectory storage: 100 leaked loads would be 3 MB.
    assert grown < 300_000


def test_trajectory_order_minus_one_reads_as_the_largest_unsigned(tmp_path):
    path = write_document(tmp_path / "d.xml", trajectory_element(order="-1"))
    assert Trajectory1d.loadxml(path, "a").order == UINT32_MAX


def test_point_order_minus_one_overflows(tmp_path):
    path = write_document(tmp_path / "d.xml", point_element(order="-1"))
    with pytest.raises(OverflowError, match="^can't convert negative value to unsigned int$"):
        Point1d.loadxml(path, "a")


@pytest.mark.parametrize(("attribute", "text"), [
    ("p", "2147483648"), ("n", "-2147483649"), ("order", "4294967295")])
def test_integers_beyond_32_bits_overflow(tmp_path, attribute, text):
    path = write_document(tmp_path / "d.xml", trajectory_element(**{attribute: text}))
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        Trajectory1d.loadxml(path, "a")


def test_the_first_match_wins(tmp_path):
    path = write_document(tmp_path / "d.xml",
                          point_element(ID="b"),
                          trajectory_element(cpts="1.0 2.0"), trajectory_element(cpts="3.0 4.0"),
                          point_element(t="7.0"), point_element(t="8.0"))
    assert Trajectory1d.loadxml(path, "a").get_cpts_asarray().tolist() == [1.0, 2.0]
    assert Point1d.loadxml(path, "a").t == 7.0


def test_number_lists_of_a_later_match_fill_in(tmp_path):
    # The number lists are looked up by class and ID like the element itself.
    path = write_document(tmp_path / "d.xml",
                          '<Trajectory1d ID="a" p="1" n="1" owner="True" order="0"/>',
                          trajectory_element(cpts="3.0 4.0"))
    assert Trajectory1d.loadxml(path, "a").get_cpts_asarray().tolist() == [3.0, 4.0]


class Subpoint(Point1d):
    pass


def test_a_loaded_point_is_a_plain_point(tmp_path):
    path = write_document(tmp_path / "d.xml", point_element())
    loaded = Subpoint.loadxml(path, "a")
    assert type(loaded) is Point1d
    assert (loaded.t, loaded.val, loaded.order) == (1.5, -2.0, 1)


# ---- conversion errors propagate unchanged -------------------------------------------------------

@pytest.mark.parametrize(("changes", "expected"), [
    ({"p": "x"}, lambda: int("x")),
    ({"n": "1.0"}, lambda: int("1.0")),
    ({"order": ""}, lambda: int("")),
    ({"p": None}, lambda: int(None)),
    ({"cpts": "1.0 abc"}, lambda: float("abc")),
    ({"knots": "0.0 0.0 1.0 1,0"}, lambda: float("1,0")),
    ({"cpts": None}, lambda: None.split(" ")),
])
def test_trajectory_conversion_errors(tmp_path, changes, expected):
    path = write_document(tmp_path / "d.xml", trajectory_element(**changes))
    kind, message = raised_by(expected)
    with pytest.raises(kind) as raised:
        Trajectory1d.loadxml(path, "a")
    assert str(raised.value) == message


@pytest.mark.parametrize("missing", ["cpts", "knots"])
def test_a_missing_number_list_is_an_index_error(tmp_path, missing):
    element = trajectory_element().replace(f"<{missing}>", "<other>").replace(
        f"</{missing}>", "</other>")
    path = write_document(tmp_path / "d.xml", element)
    with pytest.raises(IndexError, match="^list index out of range$"):
        Trajectory1d.loadxml(path, "a")


@pytest.mark.parametrize(("changes", "expected"), [
    ({"t": "abc"}, lambda: float("abc")),
    ({"val": None}, lambda: float(None)),
    ({"order": "2.5"}, lambda: int("2.5")),
    ({"order": None}, lambda: int(None)),
])
def test_point_conversion_errors(tmp_path, changes, expected):
    path = write_document(tmp_path / "d.xml", point_element(**changes))
    kind, message = raised_by(expected)
    with pytest.raises(kind) as raised:
        Point1d.loadxml(path, "a")
    assert str(raised.value) == message


def test_point_order_above_32_bits(tmp_path):
    path = write_document(tmp_path / "d.xml", point_element(order="4294967296"))
    with pytest.raises(OverflowError, match="^value too large to convert to unsigned int$"):
        Point1d.loadxml(path, "a")


# ---- counts ----------------------------------------------------------------------------------

@pytest.mark.parametrize(("changes", "message"), [
    ({"n": "2", "knots": "0 0 1 1 1"},
     "too few numbers in 'cpts' of the uploaded file: 3 needed, 2 found"),
    ({"p": "2", "cpts": "1 2"},
     "too few numbers in 'knots' of the uploaded file: 5 needed, 4 found"),
    ({"cpts": "1.0"}, "too few numbers in 'cpts' of the uploaded file: 2 needed, 1 found"),
    ({"p": "-1"}, "negative degree or index in the uploaded file: p = -1, n = 1"),
    ({"n": "-3"}, "negative degree or index in the uploaded file: p = 1, n = -3"),
])
def test_counts_are_checked(tmp_path, changes, message):
    path = write_document(tmp_path / "d.xml", trajectory_element(**changes))
    with pytest.raises(CorruptedFileError) as raised:
        Trajectory1d.loadxml(path, "a")
    assert str(raised.value) == message


@pytest.mark.parametrize(("p", "n"), [("1", "2000000000"), ("2147483647", "2147483647")])
def test_an_absurd_count_allocates_nothing_large(tmp_path, p, n):
    path = write_document(tmp_path / "d.xml", trajectory_element(p=p, n=n))
    tracemalloc.start()
    try:
        with pytest.raises(CorruptedFileError, match="^too few numbers in 'knots' "):
            Trajectory1d.loadxml(path, "a")
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert peak < 1_000_000


# ---- lookups, files and arguments --------------------------------------------------------------

@pytest.mark.parametrize("cls", [Trajectory1d, Point1d])
@pytest.mark.parametrize("ID", ["zz", None, "it's"])
def test_no_match(tmp_path, cls, ID):
    path = write_document(tmp_path / "d.xml", trajectory_element(), point_element())
    with pytest.raises(ValueError) as raised:
        cls.loadxml(path, ID)
    assert str(raised.value) == f"no match for ID: {ID}"


@pytest.mark.parametrize("cls", [Trajectory1d, Point1d])
def test_another_root_holds_no_match(tmp_path, cls):
    (tmp_path / "d.xml").write_text(
        "<Other>" + trajectory_element() + point_element() + "</Other>")
    with pytest.raises(ValueError, match="^no match for ID: a$"):
        cls.loadxml(str(tmp_path / "d.xml"), "a")


def test_elements_deeper_than_the_root_children_do_not_match(tmp_path):
    path = write_document(tmp_path / "d.xml", "<group>" + point_element() + "</group>")
    with pytest.raises(ValueError, match="^no match for ID: a$"):
        Point1d.loadxml(path, "a")


def test_missing_and_malformed_files(tmp_path):
    from lxml import etree

    with pytest.raises(OSError):
        Trajectory1d.loadxml(str(tmp_path / "missing"), "a")
    (tmp_path / "bad.pykesta").write_text("<PyKESTAObjectList>")
    with pytest.raises(etree.XMLSyntaxError):
        Point1d.loadxml(str(tmp_path / "bad"), "a")


@pytest.mark.parametrize("cls", [Trajectory1d, Point1d, PyKESTAObject])
@pytest.mark.parametrize(("args", "kwargs", "message"), [
    ((1, "a"), {}, "Argument 'fname' has incorrect type (expected str, got int)"),
    (("f", 5), {}, "Argument 'ID' has incorrect type (expected str, got int)"),
    ((), {"fname": "f", "ID": b"a"}, "Argument 'ID' has incorrect type (expected str, got bytes)"),
    (("f",), {}, "loadxml() takes exactly 2 positional arguments (1 given)"),
    ((), {"fname": "f", "ID": "a", "x": 1}, "loadxml() got an unexpected keyword argument 'x'"),
])
def test_argument_checks(cls, args, kwargs, message):
    with pytest.raises(TypeError) as raised:
        cls.loadxml(*args, **kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize("cls", [Trajectory1d, Point1d])
def test_fname_none_fails_in_the_path_splitting(cls):
    kind, message = raised_by(__import__("os").path.splitext, None)
    with pytest.raises(kind) as raised:
        cls.loadxml(None, "a")
    assert str(raised.value) == message


def test_the_base_loader_is_abstract(tmp_path):
    path = write_document(tmp_path / "d.xml", point_element())
    with pytest.raises(NotImplementedError, match="^abstract method$"):
        PyKESTAObject.loadxml(path, "a")


def test_loadxml_is_static_on_instances(tmp_path):
    path = write_document(tmp_path / "d.xml", point_element(), trajectory_element())
    assert Point1d(0.0, 0.0, 0).loadxml(path, "a") == Point1d(1.5, -2.0, 1)
    assert Trajectory1d().loadxml(fname=path, ID="a").get_cpts_asarray().tolist() == [1.0, 2.0]


# ---- untrusted documents ----------------------------------------------------------------------

SECRET = "SECRET-4242"


@pytest.fixture
def secret_files(tmp_path):
    (tmp_path / "secret.txt").write_text(SECRET)
    (tmp_path / "secret.dtd").write_text(f'<!ENTITY leak "{SECRET}">')
    return tmp_path


@pytest.mark.parametrize("case", ["text", "attribute", "parameter", "external subset"])
def test_external_entities_are_never_resolved(secret_files, case):
    secret = (secret_files / "secret.txt").as_uri()
    dtd = (secret_files / "secret.dtd").as_uri()
    doctype, trajectory, point = {
        "text": (f'<!DOCTYPE PyKESTAObjectList [<!ENTITY xxe SYSTEM "{secret}">]>',
                 trajectory_element(cpts="&xxe;"), point_element()),
        "attribute": (f'<!DOCTYPE PyKESTAObjectList [<!ENTITY xxe SYSTEM "{secret}">]>',
                      trajectory_element(), point_element(t="&xxe;")),
        "parameter": (f'<!DOCTYPE PyKESTAObjectList [<!ENTITY % ext SYSTEM "{dtd}"> %ext;]>',
                      trajectory_element(cpts="&leak; 1.0"), point_element(val="&leak;")),
        "external subset": (f'<!DOCTYPE PyKESTAObjectList SYSTEM "{dtd}">',
                            trajectory_element(cpts="&leak; 1.0"), point_element(val="&leak;")),
    }[case]
    path = write_document(secret_files / "doc.xml", trajectory, point, doctype=doctype)
    for cls in (Trajectory1d, Point1d):
        try:
            loaded = cls.loadxml(path, "a")
            seen = repr(loaded) + str(loaded)
            if cls is Trajectory1d:
                seen += repr(loaded.get_cpts_asarray().tolist())
        except Exception as error:
            seen = repr(error) + str(error)
        assert SECRET not in seen and "4242" not in seen


def test_every_parse_refuses_entities_and_network(tmp_path, monkeypatch):
    """Whether the network could be reached depends on how libxml2 was built;
    the parsers that loading and saving ask for must refuse it in any case."""
    from lxml import etree

    requested = []
    original = etree.XMLParser

    def recording(**options):
        requested.append(options)
        return original(**options)

    monkeypatch.setattr(etree, "XMLParser", recording)
    path = write_document(tmp_path / "d.xml", trajectory_element(), point_element())
    Trajectory1d.loadxml(path, "a")
    Point1d.loadxml(path, "a")
    Point1d(1.0, 2.0, 3).savexml(path, "b")
    assert len(requested) == 3
    for options in requested:
        assert options["resolve_entities"] is False and options["no_network"] is True
        assert not options.get("load_dtd") and not options.get("huge_tree")
    assert requested[2]["remove_blank_text"] is True


# ---- table entries -----------------------------------------------------------------------------

POINTER = ctypes.sizeof(ctypes.c_void_p)
TABLES = {PyKESTAObject: 3, Point1d: 4, Trajectory1d: 5}  # places in the published API record
CLASS_LOADER = 0  # the inherited class-level slot, which takes the class first
TYPED_LOADERS = {Point1d: 5, Trajectory1d: 7}


def loader_entry(cls, index, takes_class):
    get_pointer = ctypes.PYFUNCTYPE(ctypes.c_void_p, ctypes.py_object, ctypes.c_char_p)(
        ("PyCapsule_GetPointer", ctypes.pythonapi))
    api = get_pointer(curvetypes.__native_api__["api"],
                      b"const pykesta::curvetypes::CurvetypesAPI *")
    table = ctypes.c_void_p.from_address(api + TABLES[cls] * POINTER).value
    entry = ctypes.c_void_p.from_address(table + index * POINTER).value
    arguments = [ctypes.py_object] * 2
    if takes_class:
        function = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.c_void_p, *arguments)(entry)
        return lambda fname, ID: function(id(cls), fname, ID)
    return ctypes.PYFUNCTYPE(ctypes.py_object, *arguments)(entry)


def test_loader_entries(tmp_path):
    path = write_document(tmp_path / "d.xml", trajectory_element(), point_element())
    for cls in (Trajectory1d, Point1d):
        for loader in (loader_entry(cls, TYPED_LOADERS[cls], False),
                       loader_entry(cls, CLASS_LOADER, True)):
            assert loader(path, "a") == cls.loadxml(path, "a")
            with pytest.raises(ValueError, match="^no match for ID: b$"):
                loader(path, "b")
    assert loader_entry(PyKESTAObject, CLASS_LOADER, True)(path, "a") is None
