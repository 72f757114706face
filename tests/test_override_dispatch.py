"""Redefinitions in interpreter subclasses are reached by every internal caller."""

import copy
import pickle

import numpy as np
import pytest

from pykesta.curvetypes import Trajectory1d
from trajectory_factory import clamped_knots, make_trajectory


class Recording(Trajectory1d):
    calls = []

    def copy(self):
        self.calls.append("copy")
        return super().copy()

    def peval(self, x):
        self.calls.append("peval")
        return super().peval(x) + 100.0

    def dpeval(self, x, nu=1):
        self.calls.append("dpeval")
        return super().dpeval(x, nu) + 200.0

    def ceval(self, xp):
        self.calls.append("ceval")
        super().ceval(xp)
        xp += 300.0

    def dceval(self, xp, nu=1):
        self.calls.append("dceval")
        super().dceval(xp, nu)
        xp += 400.0

    def _sget_knotvector(self):
        self.calls.append("_sget_knotvector")
        return super()._sget_knotvector()

    def _sget_cpts(self):
        self.calls.append("_sget_cpts")
        return super()._sget_cpts()

    def _dset_data(self, knots, cpts, p, n, order, owner):
        self.calls.append("_dset_data")
        super()._dset_data(knots, cpts, p, n, order, owner)


@pytest.fixture
def recording():
    Recording.calls = []
    t = make_trajectory(clamped_knots([0.5], 2), [0.0, 1.0, 2.0, 3.0], 2, cls=Recording)
    Recording.calls.clear()
    return t


def test_call_operator_reaches_the_evaluation_overrides(recording):
    plain = make_trajectory(clamped_knots([0.5], 2), [0.0, 1.0, 2.0, 3.0], 2)
    assert recording(0.3) == plain(0.3) + 100.0
    assert recording(0.3, 2) == plain.dpeval(0.3, 2) + 200.0
    np.testing.assert_array_equal(recording([0.2, 0.1]), plain([0.2, 0.1]) + 300.0)
    np.testing.assert_array_equal(recording([0.2, 0.1], 1), plain([0.2, 0.1], 1) + 400.0)
    assert recording.calls == ["peval", "dpeval", "ceval", "dceval"]


def test_copy_protocols_reach_copy(recording):
    copy.copy(recording)
    copy.deepcopy(recording)
    assert recording.calls == ["copy", "copy"]


def test_pickling_reaches_the_state_operations(recording):
    restored = pickle.loads(pickle.dumps(recording))
    assert type(restored) is Recording
    assert recording.calls == ["_sget_knotvector", "_sget_cpts", "_dset_data"]


def test_override_result_must_be_a_trajectory():
    class Broken(Trajectory1d):
        def copy(self):
            return 5

    t = make_trajectory([0, 0, 1, 1], [0, 1], 1, cls=Broken)
    with pytest.raises(TypeError, match="^Cannot convert int to pykesta.curvetypes.Trajectory1d$"):
        copy.copy(t)


def test_plain_subclass_runs_native_code():
    class Plain(Trajectory1d):
        pass

    t = make_trajectory([0, 0, 1, 1], [0, 1], 1, cls=Plain)
    assert t(0.25) == 0.25 and type(t.copy()) is Trajectory1d


class Resizing(Trajectory1d):
    """Evaluations that resize the array they are handed: smaller, larger (its
    data move) or to nothing."""

    size = 1

    def ceval(self, xp):
        xp.resize(self.size, refcheck=False)

    def dceval(self, xp, nu=1):
        xp.resize(self.size, refcheck=False)


@pytest.mark.parametrize("size", [0, 1, 4096])
@pytest.mark.parametrize("points", [[0.1, 0.2, 0.3], [0.3, 0.1, 0.2]])
@pytest.mark.parametrize("nu, name", [(0, "ceval"), (1, "dceval")])
def test_call_operator_refuses_an_array_its_override_resized(size, points, nu, name):
    t = make_trajectory(clamped_knots([0.5], 2), [0.0, 1.0, 2.0, 3.0], 2, cls=Resizing)
    t.size = size
    with pytest.raises(ValueError) as info:
        t(np.array(points), nu)
    assert str(info.value) == f"the redefined {name} changed the size of the array it was given"
