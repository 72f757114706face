"""The operations the leak check repeats, by group: every constructive operation,
the XML round trip, and error paths that fail after something was allocated.

Each group is a function of a scratch folder returning Checks; a Check runs one
operation per call and names the objects whose reference counts must not move
(the classes, and everything the operation is given).
"""

import copy
import os
import pickle
from dataclasses import dataclass, field
from typing import Callable

import numpy as np
from lxml import etree

import pykesta
import pykesta.curvetypes as curvetypes
from pykesta import trajops
from pykesta.curvetypes import CorruptedFileError, Point1d, PyKESTAObject, Trajectory1d

CLASSES = (Trajectory1d, Point1d, PyKESTAObject, CorruptedFileError)
UNWATCHED = (int, bool, type(None))  # shared by the whole interpreter
HUGE = 2**30  # sizes that ask for gigabytes, refused with MemoryError
# Saving and loading parse and write whole documents: fewer rounds for these.
DOCUMENT_ROUNDS = 2000


class NotRaised(Exception):
    """An error path that did not fail."""


@dataclass
class Check:
    name: str
    run: Callable[[], None]
    watched: tuple = ()
    iterations: int = 0  # 0: the group's count


def name_of(obj):
    return getattr(obj, "__name__", None) or f"{type(obj).__name__} {str(obj)[:40]}"


def _watched(objects):
    found = [obj for obj in objects if not isinstance(obj, UNWATCHED)]
    return CLASSES + tuple(found)


def returns(name, fn, *args, watch=(), iterations=0):
    def run():
        fn(*args)

    return Check(name, run, _watched(args + watch), iterations)


def raises(name, error, fn, *args, iterations=0):
    def run():
        try:
            fn(*args)
        except error:
            return
        raise NotRaised(name)

    return Check(name, run, _watched(args), iterations)


def settles(name, fn, *args, watch=()):
    """An operation whose outcome, a result or an exception, is the implementation's."""

    def run():
        try:
            fn(*args)
        except Exception:
            pass

    return Check(name, run, _watched(args + watch))


def trajectory(knots, cpts, p, order=0, owner=True):
    t = Trajectory1d()
    knots = np.asarray(knots, dtype=float)
    cpts = np.asarray(cpts, dtype=float)
    t._dset_data(knots.tobytes(), cpts.tobytes(), p, len(cpts) - 1, order, owner)
    return t


KNOTS = [0, 0, 0, 0, 0.5, 1.0, 1.0, 1.5, 2, 2, 2, 2]
CPTS = [0.5, -1.0, 2.0, 3.0, 1.0, -2.0, 0.5, 1.5]


@dataclass
class Samples:
    """Cubic trajectories over [0, 2] of derivation order 2 unless named otherwise."""

    t: Trajectory1d = field(default_factory=lambda: trajectory(KNOTS, CPTS, 3, order=2))
    u: Trajectory1d = field(default_factory=lambda: trajectory(
        [0, 0, 0, 0, 0.25, 0.8, 2, 2, 2, 2], [1, 2, -1, 0.5, 3, 2], 3, order=2))
    wrapper: Trajectory1d = field(default_factory=lambda: trajectory(KNOTS, CPTS, 3, 2, False))
    quadratic: Trajectory1d = field(default_factory=lambda: trajectory(
        [0, 0, 0, 1, 2, 2, 2], [1, 0, 2, 1], 2, order=2))
    elsewhere: Trajectory1d = field(default_factory=lambda: trajectory(
        np.array(KNOTS) + 1.0, CPTS, 3, order=2))
    displacement: Trajectory1d = field(default_factory=lambda: trajectory(KNOTS, CPTS, 3))
    zero: Trajectory1d = field(default_factory=lambda: trajectory(KNOTS, np.zeros(8), 3))
    flat: Trajectory1d = field(default_factory=lambda: trajectory(np.ones(12), CPTS, 3))
    integrable: Trajectory1d = field(default_factory=lambda: trajectory(
        KNOTS, CPTS, 3, order=2**32 - 1))
    empty: Trajectory1d = field(default_factory=Trajectory1d)
    point: Point1d = field(default_factory=lambda: Point1d(0.7, 2.5, 2))
    velocity_point: Point1d = field(default_factory=lambda: Point1d(0.7, 1.5, 3))
    sorted_points: np.ndarray = field(default_factory=lambda: np.linspace(0.0, 2.0, 50))
    unsorted_points: list = field(default_factory=lambda: [1.9, 0.1, 1.3, 0.7, 0.0, 2.0])
    new_knots: np.ndarray = field(default_factory=lambda: np.array([0.3, 0.9, 1.7]))


def methods(folder):
    s = Samples()
    t, u = s.t, s.u
    return [
        returns("copy", Trajectory1d.copy, t),
        returns("copy of a wrapper", Trajectory1d.copy, s.wrapper),
        returns("copy.copy", copy.copy, t),
        returns("copy.deepcopy", copy.deepcopy, t),
        returns("derivative", Trajectory1d.derivative, t),
        returns("derivative(2)", Trajectory1d.derivative, t, 2),
        returns("derivative beyond the degree", Trajectory1d.derivative, t, 5),
        returns("antiderivative", Trajectory1d.antiderivative, t),
        returns("antiderivative(2)", Trajectory1d.antiderivative, t, 2),
        returns("degelev", Trajectory1d.degelev, t),
        returns("degelev(3)", Trajectory1d.degelev, t, 3),
        returns("knotins", Trajectory1d.knotins, t, 0.7, 2),
        returns("knotref", Trajectory1d.knotref, t, s.new_knots),
        returns("knotref(None)", Trajectory1d.knotref, t, None),
        returns("knotrem", Trajectory1d.knotrem, t, 1.0, 2),
        returns("knotrem of an absent knot", Trajectory1d.knotrem, t, 0.3, 1, 1e-13),
        returns("knotsrem", Trajectory1d.knotsrem, t, 10.0),
        returns("knotrem_notol", Trajectory1d.knotrem_notol, t, 1.0, 1),
        returns("peval", Trajectory1d.peval, t, 0.7),
        returns("dpeval", Trajectory1d.dpeval, t, 0.7, 2),
        returns("ceval", lambda: t.ceval(s.sorted_points.copy()), watch=(t,)),
        returns("dceval", lambda: t.dceval(s.sorted_points.copy(), 1), watch=(t,)),
        returns("call with a scalar", t, 0.7),
        returns("call with a scalar and nu", t, 0.7, 1),
        returns("call with a list", t, s.unsorted_points),
        returns("call with a sorted array and nu", t, s.sorted_points, 2),
        returns("get_xcpts", Trajectory1d.get_xcpts, t),
        returns("views", lambda: (t.get_knotvector_asarray(), t.get_cpts_asarray()),
                watch=(t,)),
        returns("text forms", lambda: (str(t), repr(t), t._getAttrib()), watch=(t,)),
        returns("rshift", Trajectory1d.rshift, t, 0.0),
        returns("hscale", Trajectory1d.hscale, t, 1.0),
        returns("adapt", Trajectory1d.adapt, u, 0.0, 2.0),
        returns("c_splcsum", Trajectory1d.c_splcsum, t, u),
        returns("setValueTr with a point", Trajectory1d.setValueTr, t, s.point),
        returns("setValueTr with a tuple", Trajectory1d.setValueTr, t, (0.7, 2.5, 2)),
        returns("setValueAm with a point", Trajectory1d.setValueAm, t, s.velocity_point),
        returns("setValueAm on an antiderivative", Trajectory1d.setValueAm, t, (1.5, 2.5, 1)),
        returns("equality", lambda: (t == u, t != u, t == t.copy(), t == 5), watch=(t, u)),
    ]


def operators(folder):
    s = Samples()
    t, u = s.t, s.u
    number = 1.75

    def in_place():
        t.__iadd__(number)
        t.__isub__(number)
        t.__imul__(number)
        t.__itruediv__(number)
        t.__neg__().__neg__()

    return [
        returns("t + x", lambda: t + number, watch=(t,)),
        returns("x + t", lambda: number + t, watch=(t,)),
        returns("t - x", lambda: t - number, watch=(t,)),
        returns("x - t", lambda: number - t, watch=(t,)),
        returns("t * x", lambda: t * number, watch=(t,)),
        returns("x * t", lambda: number * t, watch=(t,)),
        returns("t / x", lambda: t / number, watch=(t,)),
        returns("t + u", lambda: t + u, watch=(t, u)),
        returns("t - u", lambda: t - u, watch=(t, u)),
        returns("in-place operators and negation", in_place, watch=(t,)),
        settles("x / t", lambda: number / t, watch=(t,)),
        settles("t / u", lambda: t / u, watch=(t, u)),
        returns("Point1d", Point1d, 0.5, 1.5, 2),
        returns("Point1d.from_tuple", Point1d.from_tuple, (0.5, 1.5, 2)),
        returns("point copies", lambda: (s.point.copy(), copy.copy(s.point),
                                         copy.deepcopy(s.point)), watch=(s.point,)),
        returns("point text forms", lambda: (str(s.point), repr(s.point), s.point._getAttrib()),
                watch=(s.point,)),
        returns("point equality", lambda: (s.point == s.velocity_point, s.point != 5),
                watch=(s.point,)),
    ]


def functions(folder):
    s = Samples()
    t, u = s.t, s.u
    second = u.copy()
    return [
        returns("join", trajops.join, t, u),
        returns("joins", trajops.joins, t, u, s.quadratic.degelev()),
        returns("joins of one", trajops.joins, t),
        returns("trajsli", trajops.trajsli, t, 0.7),
        returns("trajsli at an end", trajops.trajsli, t, 2.0),
        returns("mirror", trajops.mirror, t),
        returns("add", trajops.add, t, u),
        returns("rshift", trajops.rshift, t, 1.5),
        returns("ashift", trajops.ashift, t, 1.5),
        returns("hscale", trajops.hscale, t, 2.0),
        returns("adapt", trajops.adapt, t, 1.0, 4.0),
        returns("derivative", trajops.derivative, t, 2),
        returns("antiderivative", trajops.antiderivative, t, 1),
        returns("setValueTr with a point", trajops.setValueTr, t, s.point),
        returns("setValueTr with a tuple", trajops.setValueTr, t, (0.7, 2.5, 2)),
        returns("setValueAm with a point", trajops.setValueAm, t, s.velocity_point),
        returns("setValueAm with a tuple", trajops.setValueAm, t, (0.7, 2.5, 2)),
        returns("setValueSm with a point", trajops.setValueSm, t, second, s.point),
        returns("setValueSm with a tuple", trajops.setValueSm, t, second, (0.7, 2.5, 2)),
        returns("from_arrays", pykesta.from_arrays, KNOTS, CPTS, 3, 2),
    ]


def state(folder):
    s = Samples()
    t = s.t
    knots, cpts = np.asarray(KNOTS, float).tobytes(), np.asarray(CPTS, float).tobytes()
    target = Trajectory1d()
    unpickle = getattr(curvetypes, "__unpickle_PyKESTAObject")
    return [
        returns("pickling round trip", lambda: pickle.loads(pickle.dumps(t)), watch=(t,)),
        returns("pickling a wrapper", lambda: pickle.loads(pickle.dumps(s.wrapper)),
                watch=(s.wrapper,)),
        returns("__getstate__", Trajectory1d.__getstate__, t),
        returns("_dset_data", Trajectory1d._dset_data, target, knots, cpts, 3, 7, 2, True),
        returns("_dset_data without ownership", Trajectory1d._dset_data, target, knots, cpts,
                3, 7, 2, False),
        returns("__setstate__", Trajectory1d.__setstate__, target, t.__getstate__()),
        returns("pickling the base", lambda: pickle.loads(pickle.dumps(PyKESTAObject()))),
        returns("unpickling the base", unpickle, PyKESTAObject, 0xD41D8CD, ()),
    ]


def documents(folder):
    s = Samples()
    t, point = s.t, s.point
    kept = os.path.join(folder, "kept")
    fresh = os.path.join(folder, "fresh.pykesta")
    t.savexml(kept, "a")
    point.savexml(kept, "b")

    def round_trip():
        t.savexml(kept, "a")
        Trajectory1d.loadxml(kept, "a")

    def new_document():
        if os.path.exists(fresh):
            os.unlink(fresh)
        t.savexml(fresh, "a")

    def point_round_trip():
        point.savexml(kept, "b")
        Point1d.loadxml(kept, "b")

    return [
        returns("XML round trip", round_trip, watch=(t,)),
        returns("XML document created", new_document, watch=(t,), iterations=DOCUMENT_ROUNDS),
        returns("XML round trip of a point", point_round_trip, watch=(point,),
                iterations=DOCUMENT_ROUNDS),
        returns("trajops.savexml", trajops.savexml, t, kept, "c", iterations=DOCUMENT_ROUNDS),
        returns("saveallxml", trajops.saveallxml, [t, point], kept, ["d", "d"],
                iterations=DOCUMENT_ROUNDS),
    ]


def _document(folder, name, text):
    path = os.path.join(folder, name)
    with open(path, "w") as out:
        out.write(text)
    return path


def errors(folder):
    s = Samples()
    t, u, p = s.t, s.u, s.point
    saved = os.path.join(folder, "saved.pykesta")
    t.savexml(saved, "a")
    short = _document(folder, "short.pykesta",
                      '<PyKESTAObjectList><Trajectory1d ID="a" p="3" n="7" order="0" '
                      'owner="True"><cpts>1.0 2.0</cpts><knots>0.0 1.0</knots></Trajectory1d>'
                      "</PyKESTAObjectList>")
    broken = _document(folder, "broken.pykesta", "<PyKESTAObjectList><Trajectory1d")
    other_root = _document(folder, "other.pykesta", "<Other/>")
    missing = os.path.join(folder, "missing.pykesta")
    unpickle = getattr(curvetypes, "__unpickle_PyKESTAObject")
    knots = np.asarray(KNOTS, float).tobytes()
    target = Trajectory1d()
    return [
        raises("knotins out of the domain", ValueError, t.knotins, 5.0, 1),
        raises("knotins beyond the degree", ValueError, t.knotins, 0.5, 4),
        raises("knotref unsorted", ValueError, t.knotref, np.array([0.9, 0.3])),
        raises("knotref of integers", (TypeError, ValueError, BufferError), t.knotref,
               np.array([1, 2])),
        raises("knotrem out of the domain", ValueError, t.knotrem, -1.0, 1),
        raises("knotrem_notol out of the domain", ValueError, t.knotrem_notol, 3.0, 1),
        raises("knotrem of a negative count", ValueError, t.knotrem, 1.0, -1),
        raises("derivative(-1)", ValueError, t.derivative, -1),
        raises("antiderivative beyond the order", ValueError, t.antiderivative, 3),
        raises("degelev(-1)", ValueError, t.degelev, -1),
        raises("degelev too large", MemoryError, t.degelev, HUGE),
        raises("antiderivative too large", MemoryError, s.integrable.antiderivative, HUGE),
        raises("dpeval with a negative nu", ValueError, t.dpeval, 0.5, -1),
        raises("dpeval out of the domain", ValueError, t.dpeval, 3.0, 1),
        raises("dceval unsorted", ValueError, lambda: t.dceval(np.array([0.9, 0.1]), 1)),
        raises("ceval of nothing", ValueError, t.ceval, np.empty(0)),
        raises("ceval of float32", (TypeError, ValueError, BufferError), t.ceval,
               np.zeros(3, np.float32)),
        raises("call with repeated points", ValueError, t, [0.2, 0.2]),
        raises("call in two dimensions", ValueError, t, [[0.1, 0.2]]),
        raises("call with a negative nu", ValueError, t, [0.1, 0.2], -1),
        raises("peval of an empty trajectory", ValueError, s.empty.peval, 0.5),
        raises("sum over other domains", ValueError, t.c_splcsum, s.elsewhere),
        raises("sum of other degrees", ValueError, t.c_splcsum, s.quadratic),
        raises("sum of other orders", ValueError, t.c_splcsum, s.displacement.degelev(0)),
        raises("product of trajectories", NotImplementedError, lambda: t * u),
        raises("t + text", TypeError, lambda: t + "a"),
        raises("t / 0", ZeroDivisionError, lambda: t / 0),
        raises("t += u", TypeError, t.__iadd__, u),
        raises("adapt to nothing", ValueError, u.adapt, 3.0, 3.0),
        raises("adapt of a zero-width domain", ZeroDivisionError, s.flat.adapt, 0.0, 1.0),
        raises("trajops.adapt of a zero-width domain", ZeroDivisionError, trajops.adapt,
               s.flat, 0.0, 1.0),
        raises("setValueAm at a zero", ZeroDivisionError, s.zero.setValueAm, (0.5, 1.0, 0)),
        raises("trajops.setValueAm at a zero", ZeroDivisionError, trajops.setValueAm, s.zero,
               Point1d(0.5, 1.0, 0)),
        raises("setValueAm at the anchor of an antiderivative", ZeroDivisionError,
               t.setValueAm, (0.0, 1.0, 1)),
        raises("setValueTr on an antiderivative", ValueError, t.setValueTr, (0.5, 1.0, 1)),
        raises("setValueTr with a bad tuple", TypeError, t.setValueTr, ("a", 1.0, 2)),
        raises("trajops.setValueSm of other orders", ValueError, trajops.setValueSm, t,
               s.displacement, p),
        raises("trajops.setValueSm of other degrees", ValueError, trajops.setValueSm, t,
               s.quadratic.copy(), (0.7, 2.5, 2)),
        raises("trajops.setValueSm at a zero", ZeroDivisionError, trajops.setValueSm,
               s.displacement, s.zero, (0.5, 1.0, 0)),
        raises("Point1d with a negative order", OverflowError, Point1d, 1.0, 2.0, -1),
        raises("Point1d.from_tuple of a list", TypeError, Point1d.from_tuple, [1.0, 2.0, 0]),
        raises("Point1d.from_tuple of a bad item", TypeError, Point1d.from_tuple,
               (1.0, "b", 0)),
        raises("pickling a point", TypeError, pickle.dumps, p),
        raises("unpickling with another checksum", pickle.PickleError, unpickle,
               PyKESTAObject, 5, None),
        raises("_dset_data with short bytes", ValueError, target._dset_data, knots[:40],
               knots, 3, 7, 0, True),
        raises("_dset_data without knots", TypeError, target._dset_data, None, knots, 3, 7, 0,
               True),
        raises("__setstate__ of five", TypeError, target.__setstate__, (knots, knots, 3, 7, 0)),
        raises("trajsli out of the domain", ValueError, trajops.trajsli, t, 2.5),
        raises("trajsli of an empty trajectory", TypeError, trajops.trajsli, s.empty, 0.5),
        raises("join of other degrees", ValueError, trajops.join, t, s.quadratic),
        raises("joins with a number", TypeError, trajops.joins, t, 5),
        raises("rshift by text", TypeError, trajops.rshift, t, "a"),
        raises("from_arrays of decreasing knots", ValueError, pykesta.from_arrays,
               KNOTS[::-1], CPTS, 3),
        raises("loadxml of a missing ID", ValueError, Trajectory1d.loadxml, saved, "zz",
               iterations=DOCUMENT_ROUNDS),
        raises("Point1d.loadxml of a missing ID", ValueError, Point1d.loadxml, saved, "zz",
               iterations=DOCUMENT_ROUNDS),
        raises("loadxml of a missing file", OSError, Trajectory1d.loadxml, missing, "a",
               iterations=DOCUMENT_ROUNDS),
        raises("loadxml of too few numbers", CorruptedFileError, Trajectory1d.loadxml, short,
               "a", iterations=DOCUMENT_ROUNDS),
        raises("loadxml of broken XML", etree.XMLSyntaxError, Trajectory1d.loadxml, broken,
               "a", iterations=DOCUMENT_ROUNDS),
        raises("savexml under another root", CorruptedFileError, t.savexml, other_root, "a",
               iterations=DOCUMENT_ROUNDS),
        raises("savexml of an empty trajectory", ValueError, s.empty.savexml, saved, "e",
               iterations=DOCUMENT_ROUNDS),
        raises("saveallxml with too few IDs", IndexError, trajops.saveallxml, [t, p], saved,
               ["a"], iterations=DOCUMENT_ROUNDS),
        raises("hash", TypeError, hash, t),
    ]


GROUPS = {"methods": methods, "operators": operators, "functions": functions, "state": state,
          "documents": documents, "errors": errors}
