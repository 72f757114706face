"""Trajectory1d's pickled state: the 6-tuple, _dset_data, pickling round trips."""

import pickle
import struct

import numpy as np
import pytest

from pykesta.curvetypes import Trajectory1d
from trajectory_factory import make_trajectory


def test_state_layout_is_native_doubles():
    t = make_trajectory([0, 0, 1, 1], [2, 3], 1, order=7)
    state = t.__getstate__()
    assert state == (struct.pack("=4d", 0, 0, 1, 1), struct.pack("=2d", 2, 3), 1, 1, 7, True)
    assert len(state[0]) == 32 and len(state[1]) == 16


def test_empty_state_and_its_restoration():
    assert Trajectory1d().__getstate__() == (None, None, 0, 0, 0, False)
    with pytest.raises(TypeError, match="^expected bytes, NoneType found$"):
        Trajectory1d().__setstate__((None, None, 0, 0, 0, False))


@pytest.mark.parametrize("protocol", range(2, pickle.HIGHEST_PROTOCOL + 1))
@pytest.mark.parametrize("owner", [True, False])
def test_pickle_round_trip_bit_for_bit(protocol, owner):
    rng = np.random.default_rng(protocol)
    cpts = rng.standard_normal(9)
    cpts[3] = -0.0
    cpts[4] = np.nan
    knots = np.concatenate([[0.0] * 4, np.sort(rng.random(5)), [1.0] * 4])
    t = make_trajectory(knots, cpts, 3, order=2, owner=owner)
    restored = pickle.loads(pickle.dumps(t, protocol))
    assert type(restored) is Trajectory1d
    assert restored.__getstate__() == t.__getstate__()
    assert restored._getAttrib()["owner"] == str(owner)


class Profile(Trajectory1d):
    pass


def test_subclass_pickles_as_its_class():
    t = make_trajectory([0, 0, 1, 1], [2, 3], 1, cls=Profile)
    restored = pickle.loads(pickle.dumps(t))
    assert type(restored) is Profile and restored.__getstate__() == t.__getstate__()


def test_setstate_takes_any_iterable():
    t = Trajectory1d()
    t.__setstate__([struct.pack("=4d", 0, 0, 1, 1), struct.pack("=2d", 2, 3), 1, 1, 0, 1])
    assert t(0.5) == 2.5


def test_setstate_with_wrong_length():
    with pytest.raises(TypeError) as info:
        Trajectory1d().__setstate__((b"", b"", 0, 0, 0))
    assert str(info.value) == "_dset_data() takes exactly 6 positional arguments (5 given)"


def test_extra_bytes_are_ignored():
    t = Trajectory1d()
    t._dset_data(struct.pack("=5d", 0, 0, 1, 1, 99), struct.pack("=3d", 2, 3, 99), 1, 1, 0, True)
    assert t.__getstate__()[0] == struct.pack("=4d", 0, 0, 1, 1)


GOOD = (struct.pack("=4d", 0, 0, 1, 1), struct.pack("=2d", 2, 3))


@pytest.mark.parametrize("args, error, message", [
    ((1, GOOD[1], 1, 1, 0, True), TypeError,
     "Argument 'knots' has incorrect type (expected bytes, got int)"),
    ((GOOD[0], bytearray(GOOD[1]), 1, 1, 0, True), TypeError,
     "Argument 'cpts' has incorrect type (expected bytes, got bytearray)"),
    ((*GOOD, 1, 1, -1, True), OverflowError, "can't convert negative value to unsigned int"),
    ((*GOOD, 1, 1, 2**32, True), OverflowError, "value too large to convert to unsigned int"),
    ((*GOOD, 1, 1, 2**70, True), OverflowError, "value too large to convert to unsigned int"),
    ((*GOOD, 1, 1, -2**70, True), OverflowError, "can't convert negative value to unsigned int"),
    ((*GOOD, -2**70, 1, 0, True), OverflowError, "value too large to convert to int"),
    ((*GOOD, 2**31, 1, 0, True), OverflowError, "value too large to convert to int"),
    ((*GOOD, "1", 1, 0, True), TypeError, "an integer is required"),
    ((GOOD[0], None, 1, 1, 0, True), TypeError, "expected bytes, NoneType found"),
])
def test_dset_data_argument_errors(args, error, message):
    with pytest.raises(error) as info:
        Trajectory1d()._dset_data(*args)
    assert str(info.value) == message


@pytest.mark.parametrize("knots, cpts, p, n", [
    (GOOD[0][:24], GOOD[1], 1, 1),
    (GOOD[0], GOOD[1][:8], 1, 1),
    (GOOD[0], GOOD[1], -1, 2),
    (GOOD[0], GOOD[1], 1, -1),
    (GOOD[0], GOOD[1], 2**31 - 1, 2**31 - 1),
])
def test_dset_data_refuses_sizes_it_cannot_fill_and_leaves_empty(knots, cpts, p, n):
    t = make_trajectory([0, 0, 1, 1], [2, 3], 1)
    with pytest.raises(ValueError):
        t._dset_data(knots, cpts, p, n, 0, True)
    assert t.start is None and t.get_cpts_asarray() is None
    with pytest.raises(ValueError):
        t.peval(0.5)


def test_dset_data_keywords_and_float_truncation():
    t = Trajectory1d()
    t._dset_data(cpts=GOOD[1], knots=GOOD[0], p=1.9, n=1, order=3.7, owner=[1])
    assert (t.p, t.n, t.order, t._getAttrib()["owner"]) == (1, 1, 3, "True")
