"""Hostile values for the fuzz runs: numbers, integers, arrays and the raw
material of trajectories (the byte strings and fields handed to _dset_data).

Strategies where they can be built once; where a strategy would depend on a
length or a domain, a function taking hypothesis's `draw` instead. Arrays are
drawn as a shape, a seed and a few special values planted at drawn places;
numpy fills them from the seed, which keeps long arrays cheap to draw.
"""

import functools
import math
from dataclasses import dataclass

import numpy as np
from hypothesis import strategies as st

SPECIAL_FLOATS = (0.0, -0.0, math.nan, -math.nan, math.inf, -math.inf, 5e-324, -5e-324,
                  2.2250738585072014e-308, 1e-300, 1e300, 1.7976931348623157e308,
                  -1.7976931348623157e308, 1.0, -1.0, 0.5, 1e-13, 1e16)
INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
# Counts and orders at and beyond the limits of the 32-bit conversions; a count
# this large asks for gigabytes, which must end in MemoryError, never in a crash.
EXTREME_INTS = (-1, -2, INT32_MIN, INT32_MIN - 1, INT32_MAX, INT32_MAX - 1, 2**30, 2**31,
                2**32 - 1, 2**32, 2**63, -(2**63), 10**30)

special_floats = st.sampled_from(SPECIAL_FLOATS)
any_floats = st.one_of(st.floats(), special_floats, st.floats(-10.0, 10.0))
extreme_ints = st.sampled_from(EXTREME_INTS)


class RaisingNumber:
    """A number whose conversions fail with an error of their own."""

    def __float__(self):
        raise ArithmeticError("no float here")

    def __index__(self):
        raise ArithmeticError("no index here")

    def __neg__(self):
        raise ArithmeticError("no negation here")

    def __repr__(self):
        return "RaisingNumber()"


class WrongNumber:
    """Conversions that return the wrong type."""

    def __float__(self):
        return "1.5"

    def __index__(self):
        return 2.5

    def __repr__(self):
        return "WrongNumber()"


# Arguments of the wrong kind, for any parameter.
junk = st.sampled_from((None, "1.5", b"2", [1.0], (1.0,), {}, object(), RaisingNumber(),
                        WrongNumber(), 10**400, -(10**400), 1j, np.float32(0.5),
                        np.array([1.0, 2.0]), np.int64(3), True))
OFFSETS = (1e-12, -1e-12, 1.0, -1.0, 5e-324, -5e-324)
REAL_KINDS = ("float", "float", "float", "near", "near", "between", "offset", "int", "numpy",
              "junk")
_kinds = st.sampled_from(REAL_KINDS)
_offsets = st.sampled_from(OFFSETS)
_unit = st.floats(0.0, 1.0)


def real(draw, near):
    """A double as an argument, drawn with `draw`: mostly a number, now and then
    something else. `near` holds values worth probing around (the ends of a
    domain, knots)."""
    kind = draw(_kinds)
    if kind in ("near", "between", "offset") and near:
        base = near[draw(st.integers(0, len(near) - 1))]
        with np.errstate(all="ignore"):
            if kind == "between":
                other = near[draw(st.integers(0, len(near) - 1))]
                return float(base + (other - base) * draw(_unit))
            if kind == "offset":
                return float(base + draw(_offsets))
        return float(base)
    if kind == "int":
        return draw(st.integers(-5, 5))
    if kind == "numpy":
        return np.float64(draw(any_floats))
    if kind == "junk":
        return draw(junk)
    return draw(any_floats)


@functools.lru_cache(maxsize=None)
def ints(low=-2, high=12):
    """32-bit integer arguments: mostly small, some extreme, some of another type."""
    ordinary = st.integers(low, high)
    return st.one_of(ordinary, ordinary, ordinary, ordinary, extreme_ints,
                     ordinary.map(np.int64), st.sampled_from([2.0, 2.5, None, "3", RaisingNumber(),
                                                             WrongNumber()]))


KNOT_SHAPES = ("clamped", "clamped", "clamped", "clamped_repeats", "sorted", "zero_width",
               "one_span", "decreasing", "random", "tiny", "huge", "unclamped")


def float_array(draw, length, low=-1.0, high=1.0, scaled=True):
    """`length` doubles between low and high, scaled by a drawn magnitude unless
    told otherwise, with specials planted; drawn with `draw`, as are the arrays
    below (cheaper than a strategy per length)."""
    rng = np.random.default_rng(draw(st.integers(0, 2**32 - 1)))
    scale = draw(st.sampled_from((1.0, 1.0, 1e-300, 1e300, 1e-5, 1e8))) if scaled else 1.0
    with np.errstate(all="ignore"):
        array = (low + (high - low) * rng.random(length)) * scale
    return _plant(draw, array)


def _plant(draw, array):
    """Half of the time, puts up to three special values at drawn places."""
    if len(array) and draw(st.booleans()):
        for place, value in draw(st.lists(st.tuples(st.floats(0, 1), special_floats),
                                          min_size=1, max_size=3)):
            array[min(int(place * len(array)), len(array) - 1)] = value
    return array


def knot_vector(draw, length, p):
    """`length` knots for degree p, of a drawn shape: clamped and increasing most
    of the time, but also decreasing, zero-width, unsorted and extreme."""
    shape = draw(st.sampled_from(KNOT_SHAPES))
    rng = np.random.default_rng(draw(st.integers(0, 2**32 - 1)))
    start = draw(st.sampled_from((0.0, 0.0, -1.0, 3.5, -0.0, 1e-300, -1e6)))
    width = draw(st.sampled_from((1.0, 1.0, 2.0, 0.25, 1e-9, 1e5)))
    with np.errstate(all="ignore"):
        if shape == "random":
            knots = float_array(draw, length, -10.0, 10.0)
        elif shape == "zero_width":
            knots = np.full(length, start)
        elif shape == "one_span":
            # a single non-empty span, then one long run of equal knots
            knots = np.full(length, start + width)
            knots[: min(p + 1, length - 1)] = start
        elif shape == "tiny":
            knots = np.sort(rng.random(length)) * 5e-324 * rng.integers(0, 4)
        elif shape == "huge":
            knots = np.sort(rng.uniform(-1.0, 1.0, length)) * 1.7e308
        else:
            knots = start + width * np.sort(rng.random(length))
            if shape.startswith("clamped") and length >= 2:
                ends = min(p + 1, length // 2)
                knots[:ends] = start
                knots[length - ends:] = start + width
            if shape == "clamped_repeats" and length > 2:
                inner = knots[1:-1]
                inner[:] = np.sort(rng.choice(inner, size=len(inner)))
            if shape == "decreasing":
                knots = knots[::-1].copy()
    return _plant(draw, knots) if draw(st.integers(0, 5)) == 0 else knots


@dataclass
class Recipe:
    """What goes into _dset_data, plus the class the trajectory is made of."""

    knots: bytes
    cpts: bytes
    p: int
    n: int
    order: int
    owner: object
    cls: str

    def __repr__(self):
        return (f"Recipe(knots=bytes.fromhex('{self.knots.hex()}'), "
                f"cpts=bytes.fromhex('{self.cpts.hex()}'), p={self.p}, n={self.n}, "
                f"order={self.order}, owner={self.owner!r}, cls={self.cls!r})")


@functools.lru_cache(maxsize=None)
def recipes(classes=("Trajectory1d",)):
    """Recipes of trajectories of the given classes (named), one strategy each."""
    return _recipes(classes)


@st.composite
def _recipes(draw, classes):
    """A trajectory's raw material: degree 0 to 8, short and long arrays, n < p
    now and then, and byte strings that are now and then too short or too long."""
    p = draw(st.integers(0, 8))
    n = draw(st.one_of(st.integers(p, p + 10), st.integers(p, p + 10), st.integers(0, p),
                       st.integers(p, 300)))
    order = draw(st.one_of(st.integers(0, 4), st.sampled_from((2**32 - 1, 2**31, 7))))
    knots = knot_vector(draw, n + p + 2, p)
    cpts = float_array(draw, n + 1, -100.0, 100.0)
    knot_bytes, cpts_bytes = knots.tobytes(), cpts.tobytes()
    damage = draw(st.integers(0, 19))
    if damage == 0:
        knot_bytes = knot_bytes[: draw(st.integers(0, len(knot_bytes)))]
    elif damage == 1:
        cpts_bytes = cpts_bytes + bytes(draw(st.integers(1, 17)))
    owner = draw(st.one_of(st.booleans(), st.booleans(), st.sampled_from((0, 1, "", "x", None))))
    return Recipe(knot_bytes, cpts_bytes, p, n, order, owner, draw(st.sampled_from(classes)))


@functools.lru_cache(maxsize=None)
def raw_fields():
    """(p, n, order) for a direct _dset_data call, extreme values included."""
    return _raw_fields()


@st.composite
def _raw_fields(draw):
    p = draw(st.one_of(st.integers(0, 8), extreme_ints))
    n = draw(st.one_of(st.integers(0, 20), extreme_ints))
    order = draw(st.one_of(st.integers(0, 4), extreme_ints))
    return p, n, order
