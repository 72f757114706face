"""Trajectory1d: construction, properties, views, copies, text forms."""

import copy
import gc

import numpy as np
import pytest

from pykesta.curvetypes import Trajectory1d
from trajectory_factory import make_trajectory

QUADRATIC_KNOTS = [0.0, 0.0, 0.0, 0.5, 1.0, 1.0, 1.0]


@pytest.fixture
def quadratic():
    return make_trajectory(QUADRATIC_KNOTS, [1.0, 2.0, -1.0, 3.0], 2)


def test_empty_trajectory_ignores_its_arguments():
    t = Trajectory1d(1, 2, 3)
    assert (t.p, t.n, t.order, t.start, t.stop) == (0, 0, 0, None, None)
    assert str(t) == "Trajectory1d(start = None, stop = None, p = 0, n = 0, order = 0)"
    assert repr(t) == "{'start': None, 'stop': None, 'p': 0, 'n': 0, 'order': 0}"
    assert t.get_cpts_asarray() is None and t.get_knotvector_asarray() is None
    assert t._getAttrib() == {"p": "0", "n": "0", "owner": "False", "order": "0",
                              "start": "None", "stop": "None"}


def test_properties_and_views(quadratic):
    t = quadratic
    assert (t.p, t.n, t.start, t.stop) == (2, 3, 0.0, 1.0)
    knots, cpts = t.get_knotvector_asarray(), t.get_cpts_asarray()
    assert knots.shape == (7,) and cpts.shape == (4,)
    assert knots.dtype == np.float64 and knots.flags.c_contiguous and knots.flags.writeable
    before = t(0.1)
    cpts[0] = 10.0
    assert t(0.1) != before
    np.testing.assert_array_equal(t.get_cpts_asarray(), [10.0, 2.0, -1.0, 3.0])


@pytest.mark.parametrize("name", ["p", "n", "order", "start", "stop"])
def test_properties_are_read_only(quadratic, name):
    with pytest.raises(AttributeError):
        setattr(quadratic, name, 1)
    with pytest.raises(AttributeError):
        delattr(quadratic, name)


def test_no_instance_dictionary(quadratic):
    with pytest.raises(AttributeError):
        quadratic.extra = 1


def test_xcpts(quadratic):
    np.testing.assert_array_equal(quadratic.get_xcpts(), [0.0, 0.25, 0.75, 1.0])
    with pytest.raises(ValueError):
        Trajectory1d().get_xcpts()


def test_text_forms():
    t = make_trajectory([0, 0, 0, 0, 0.5, 1, 1, 1, 1], np.arange(5.0), 3)
    assert str(t) == "Trajectory1d(start = 0.0, stop = 1.0, p = 3, n = 4, order = 0)"
    assert repr(t) == "{'start': 0.0, 'stop': 1.0, 'p': 3, 'n': 4, 'order': 0}"
    assert t._getAttrib() == {"p": "3", "n": "4", "owner": "True", "order": "0",
                              "start": "0.0", "stop": "1.0"}
    big = make_trajectory([0, 0, 1, 1], [0, 1], 1, order=4294967295)
    assert str(big).endswith("order = 4294967295)")


def test_text_forms_read_redefined_properties():
    class Shifted(Trajectory1d):
        @property
        def start(self):
            return -7.5

    t = make_trajectory([0, 0, 1, 1], [0, 1], 1, cls=Shifted)
    assert str(t).startswith("Trajectory1d(start = -7.5, stop = 1.0")
    assert t._getAttrib()["start"] == "-7.5"


def test_copy_is_independent_and_owning(quadratic):
    wrapped = make_trajectory(QUADRATIC_KNOTS, [1.0, 2.0, -1.0, 3.0], 2, owner=False)
    c = wrapped.copy()
    assert c._getAttrib()["owner"] == "True" and wrapped._getAttrib()["owner"] == "False"
    c.get_cpts_asarray()[:] = 0.0
    np.testing.assert_array_equal(wrapped.get_cpts_asarray(), [1.0, 2.0, -1.0, 3.0])
    assert type(c) is Trajectory1d


def test_copy_of_empty_trajectory_is_empty():
    c = Trajectory1d().copy()
    assert c.start is None and c.get_cpts_asarray() is None


def test_copy_protocols_use_the_copy_method():
    calls = []

    class Logged(Trajectory1d):
        def copy(self):
            calls.append(self)
            return super().copy()

    t = make_trajectory(QUADRATIC_KNOTS, [1.0, 2.0, -1.0, 3.0], 2, cls=Logged)
    assert isinstance(copy.copy(t), Trajectory1d)
    assert isinstance(copy.deepcopy(t), Trajectory1d)
    assert calls == [t, t]


def test_views_keep_their_storage_alive(run_python):
    result = run_python("""
        import gc
        import numpy as np
        from pykesta.curvetypes import Trajectory1d
        t = Trajectory1d()
        t._dset_data(np.array([0., 0., 1., 1.]).tobytes(), np.array([2., 3.]).tobytes(), 1, 1, 0, True)
        knots, cpts = t.get_knotvector_asarray(), t.get_cpts_asarray()
        t._dset_data(np.array([5., 5., 6., 6.]).tobytes(), np.array([7., 8.]).tobytes(), 1, 1, 0, True)
        old = cpts.copy()
        del t
        gc.collect()
        junk = [np.full(4, 9.0) for _ in range(1000)]
        print(knots.tolist(), cpts.tolist(), old.tolist())
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split("] [") == ["[0.0, 0.0, 1.0, 1.0", "2.0, 3.0", "2.0, 3.0]\n"]


def test_unowned_storage_allocated_by_dset_data_is_released():
    import tracemalloc

    knots = np.linspace(0, 1, 1000).tobytes()
    cpts = np.ones(998).tobytes()

    def cycle():
        t = Trajectory1d()
        t._dset_data(knots, cpts, 1, 997, 0, False)
        assert t._getAttrib()["owner"] == "False"

    for _ in range(100):
        cycle()
    gc.collect()
    tracemalloc.start()
    try:
        baseline = tracemalloc.get_traced_memory()[0]
        for _ in range(10000):
            cycle()
        gc.collect()
        grown = tracemalloc.get_traced_memory()[0] - baseline
    finally:
        tracemalloc.stop()
    assert grown < 64 * 1024
