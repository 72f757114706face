"""Number lists of saved documents: each double is written exactly as the
interpreter's repr() writes it, and read back exactly as float() reads it,
syntax, overflow and error messages included."""

import math
import struct

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from lxml import etree

from pykesta.curvetypes import Trajectory1d
from trajectory_factory import make_trajectory

SPECIAL_VALUES = [
    0.0, -0.0, 5e-324, -5e-324, 2.225073858507201e-308, 2.2250738585072014e-308,
    1.7976931348623157e308, -1.7976931348623157e308, 1e16, -1e16, 9999999999999998.0,
    1e15, 1234567890123456.8, 1e-5, 1e-4, 0.0001, 9.999999999999999e-05, 0.1, 0.3,
    0.30000000000000004, 1 / 3, 1e22, 1e23, 2.0**53, 2.0**53 + 2, 123456789.0, 1.5, -2.0,
    math.inf, -math.inf, math.nan,
]


def bits(x):
    return struct.pack("<d", x)


def holding(values):
    """A degree-0 trajectory whose control points and knots together are `values`
    (an odd count): the first half are control points, the rest knots."""
    values = np.asarray(values, dtype=np.float64)
    assert len(values) % 2 == 1
    half = len(values) // 2
    return make_trajectory(values[half:], values[:half], p=0)


def written_numbers(path):
    """The pieces of the number lists in the file, control points first."""
    tree = etree.parse(str(path), etree.XMLParser(huge_tree=True))
    element = tree.getroot()[0]
    return element.find("cpts").text.split(" ") + element.find("knots").text.split(" ")


def random_doubles(rng, count):
    """Every kind of double: random bit patterns (all exponents, subnormals,
    infinities and NaNs), values around the switch between positional and
    exponent notation, and short decimals with few significant digits."""
    patterns = rng.integers(0, 2**64, size=count, dtype=np.uint64, endpoint=False).view(np.float64)
    positional = rng.uniform(-1, 1, count) * 10.0 ** rng.uniform(-7, 19, count)
    short = rng.integers(-10**6, 10**6, count) * 10.0 ** rng.integers(-12, 22, count)
    values = np.concatenate([patterns, positional, short])
    rng.shuffle(values)
    return values


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_a_million_random_doubles_are_written_as_repr(tmp_path, seed):
    values = random_doubles(np.random.default_rng(seed), 333_333)
    holding(values).savexml(str(tmp_path / "numbers"), "a")
    expected = [repr(x) for x in values.tolist()]
    assert written_numbers(tmp_path / "numbers.pykesta") == expected


def test_random_doubles_come_back_bit_for_bit(tmp_path):
    rng = np.random.default_rng(7)
    values = random_doubles(rng, 60_001)
    values = values[~np.isnan(values)]
    values = values[: len(values) - (1 - len(values) % 2)]
    holding(values).savexml(str(tmp_path / "numbers"), "a")
    loaded = Trajectory1d.loadxml(str(tmp_path / "numbers"), "a")
    half = len(values) // 2
    assert loaded.get_cpts_asarray().tobytes() == values[:half].tobytes()
    assert loaded.get_knotvector_asarray().tobytes() == values[half:].tobytes()


@settings(max_examples=80, deadline=None,
          suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(st.lists(st.one_of(st.sampled_from(SPECIAL_VALUES), st.floats()), min_size=2, max_size=40))
def test_special_values_are_written_as_repr_and_read_back(tmp_path, values):
    if len(values) % 2 == 0:
        values.append(values[0])
    holding(values).savexml(str(tmp_path / "special.xml"), "a")
    assert written_numbers(tmp_path / "special.xml") == [repr(x) for x in values]

    loaded = Trajectory1d.loadxml(str(tmp_path / "special.xml"), "a")
    read = loaded.get_cpts_asarray().tolist() + loaded.get_knotvector_asarray().tolist()
    assert len(read) == len(values)
    for got, saved in zip(read, values):
        if math.isnan(saved):
            assert math.isnan(got)
        else:
            assert bits(got) == bits(saved)


def test_the_switch_to_exponent_notation(tmp_path):
    values = [1e-5, 0.0001, 1e16, 1e15, 123e-7, 1.5e300, -2e-310, 0.0, -0.0]
    holding(values).savexml(str(tmp_path / "switch"), "a")
    assert written_numbers(tmp_path / "switch.pykesta") == [
        "1e-05", "0.0001", "1e+16", "1000000000000000.0", "1.23e-05", "1.5e+300", "-2e-310",
        "0.0", "-0.0"]


# ---- reading -------------------------------------------------------------------------------

ODD_PIECES = [
    "1_000.5", "\t2.5\n", "Infinity", "-iNF", "+inf", "NaN", "-nan", "\u0661\u0662\u0663",
    "\u0663.\u0665", ".5", "5.", "-.5", "1E5", "1e+5", "+1.5", "00012", "1e400", "-1e400",
    "1e-400", "4.9406564584124654e-324", "2.4703282292062327e-324", "0x1p3", "", "1e", "abc",
    "1__0", "nan(1)", "--1", "+-1", "1.5.2", "inf0", "1e5.5", "e5", ".", "-", "\u00a01.0",
]

pieces = st.one_of(
    st.sampled_from(ODD_PIECES),
    st.floats().map(repr),
    st.floats(allow_nan=False).map(lambda x: f"{x:.25e}"),
    st.floats(allow_nan=False, allow_infinity=False).map(lambda x: f"{x:.30f}"),
    st.text(alphabet="0123456789.eE+-_naif\t\n", max_size=12),
)


def document_with_cpts(path, text, count):
    """A trajectory of degree 0 whose control point list has the text `text`
    and is read for `count` numbers."""
    root = etree.Element("PyKESTAObjectList")
    element = etree.SubElement(root, "Trajectory1d", ID="a", p="0", n=str(count - 1),
                               owner="True", order="0")
    etree.SubElement(element, "cpts").text = text
    etree.SubElement(element, "knots").text = " ".join(["0.0"] * (count + 1))
    etree.ElementTree(root).write(str(path))
    # The text as a parser gives it back (line ends normalised).
    return etree.parse(str(path)).getroot()[0].find("cpts").text


def float_outcome(texts):
    """The numbers float() makes of the pieces, or its first error."""
    try:
        return [float(text) for text in texts], None
    except ValueError as error:
        return None, str(error)


@settings(max_examples=300, deadline=None,
          suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(st.lists(pieces, min_size=1, max_size=12))
def test_pieces_are_read_as_float_reads_them(tmp_path, texts):
    path = tmp_path / "pieces.xml"
    parsed = document_with_cpts(path, " ".join(texts), len(texts))
    if parsed is None:  # an element without text
        with pytest.raises(AttributeError, match="^'NoneType' object has no attribute 'split'$"):
            Trajectory1d.loadxml(str(path), "a")
        return
    expected, message = float_outcome(parsed.split(" "))
    if message is not None:
        with pytest.raises(ValueError) as raised:
            Trajectory1d.loadxml(str(path), "a")
        assert str(raised.value) == message
        return
    loaded = Trajectory1d.loadxml(str(path), "a").get_cpts_asarray().tolist()
    assert [bits(x) for x in loaded] == [bits(x) for x in expected]


@pytest.mark.parametrize("text", ["1.0 2.0 ", " 1.0 2.0", "1.0  2.0"])
def test_an_empty_piece_is_malformed(tmp_path, text):
    path = tmp_path / "empty.xml"
    document_with_cpts(path, text, 2)
    with pytest.raises(ValueError, match="^could not convert string to float: ''$"):
        Trajectory1d.loadxml(str(path), "a")


def test_a_malformed_piece_beyond_the_count_still_fails(tmp_path):
    path = tmp_path / "beyond.xml"
    document_with_cpts(path, "1.0 2.0 x", 2)
    with pytest.raises(ValueError, match="^could not convert string to float: 'x'$"):
        Trajectory1d.loadxml(str(path), "a")
