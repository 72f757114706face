"""Every public operation of pykesta.curvetypes and pykesta.trajops, as functions of
a World that draw their arguments and make the calls, grouped by area.

Besides surviving, a few outcomes are checked where they are fixed: constructive
operations leave their inputs alone (World.call), and a trajectory or point that
was pickled or saved comes back as it was.
"""

import copy
import operator
import os
import pickle

import numpy as np
from hypothesis import strategies as st

import hostile
import pykesta
import pykesta.curvetypes as curvetypes
import values
from pykesta import trajops
from pykesta.curvetypes import Point1d, PyKESTAObject, Trajectory1d
from world import Violation

AREAS = {}


def operation(*areas, among_all=True):
    """Registers an operation under its areas and, unless told otherwise, under
    "all", which the hostile runs draw from."""

    def register(fn):
        for area in areas + (("all",) if among_all else ()):
            AREAS.setdefault(area, []).append(fn)
        return fn

    return register


def _nu(w):
    return w.integer(-2, 10)


# ---- evaluation -------------------------------------------------------------------


@operation("evaluation")
def peval(w):
    t = w.trajectory()
    w.invoke(t, "peval", w.real(t))


@operation("evaluation")
def dpeval(w):
    t = w.trajectory()
    x = w.real(t)
    form = w.choose(("default", "positional", "keyword"))
    if form == "default":
        w.invoke(t, "dpeval", x)
    elif form == "positional":
        w.invoke(t, "dpeval", x, _nu(w))
    else:
        w.invoke(t, "dpeval", x, nu=_nu(w))


@operation("evaluation")
def ceval(w):
    t = w.trajectory()
    w.invoke(t, "ceval", w.points_array(t))


@operation("evaluation")
def dceval(w):
    t = w.trajectory()
    xp = w.points_array(t)
    if w.chance(2):
        w.invoke(t, "dceval", xp, _nu(w))
    else:
        w.invoke(t, "dceval", xp, nu=_nu(w))


@operation("evaluation")
def call_operator(w):
    t = w.trajectory()
    x = w.real(t) if w.chance(3) else w.points_array(t)

    def evaluate(*args, **keywords):
        return t(*args, **keywords)

    form = w.choose(("default", "positional", "keyword"))
    if form == "default":
        w.call("call", evaluate, x)
    elif form == "positional":
        w.call("call", evaluate, x, _nu(w))
    else:
        w.call("call", evaluate, x, nu=_nu(w))


@operation("evaluation")
def call_resized_by_override(w):
    """The call operator on a copy of a trajectory whose ceval and dceval shrink,
    grow or free the array they are handed."""
    t = w.trajectory()
    resizing = hostile.HostileTrajectory()
    try:
        Trajectory1d._dset_data(resizing, Trajectory1d._sget_knotvector(t),
                                Trajectory1d._sget_cpts(t), t.p, t.n, t.order, True)
    except Exception:
        return  # not a trajectory, or an empty one
    behaviour = w.choose(tuple(hostile.HANDED_ARRAY_BEHAVIOURS))
    resizing.junk = {"ceval": behaviour, "dceval": behaviour}
    w.journal.write(f"{w.label(resizing)}: a copy of {w.label(t)} whose evaluations {behaviour}")
    w.call("call", resizing, w.points_array(t), w.integer(0, 3), keep=False)


@operation("evaluation")
def inspection(w):
    t = w.trajectory()
    name = w.choose(("get_xcpts", "_getAttrib", "__str__", "__repr__", "_sget_knotvector",
                     "_sget_cpts", "__getstate__"))
    w.invoke(t, name)
    attribute = w.choose(("p", "n", "order", "start", "stop"))
    w.call(f"getattr {attribute}", getattr, t, attribute)


# ---- domain transforms, calculus, knots -------------------------------------------


@operation("shape")
def transform(w):
    t = w.trajectory()
    name = w.choose(("rshift", "ashift", "hscale"))
    w.invoke(t, name, w.real(t))


@operation("shape")
def adapt(w):
    t = w.trajectory()
    if w.chance(2):
        w.invoke(t, "adapt", w.real(t), w.real(t))
    else:
        w.invoke(t, "adapt", start=w.real(t), stop=w.real(t))


@operation("shape")
def calculus(w):
    t = w.trajectory()
    name = w.choose(("derivative", "antiderivative", "degelev"))
    form = w.choose(("default", "positional", "keyword"))
    if form == "default":
        w.invoke(t, name, constructive=True)
    elif form == "positional":
        w.invoke(t, name, _nu(w), constructive=True)
    else:
        w.invoke(t, name, nu=_nu(w), constructive=True)


@operation("shape")
def knotins(w):
    t = w.trajectory()
    w.invoke(t, "knotins", w.real(t), w.integer(-1, 9), constructive=True)


@operation("shape")
def knotref(w):
    t = w.trajectory()
    w.invoke(t, "knotref", w.points_array(t), constructive=True)


@operation("shape")
def knot_removal(w):
    t = w.trajectory()
    name = w.choose(("knotrem", "knotrem_notol", "knotsrem"))
    tol = w.draw(st.one_of(st.sampled_from((1e-13, 0.0, -1.0, 1e300)), values.any_floats))
    if name == "knotsrem":
        args = () if w.chance(3) else (tol,)
    elif name == "knotrem" and w.chance(2):
        args = (w.real(t), w.integer(-1, 12), tol)
    else:
        args = (w.real(t), w.integer(-1, 12))
    w.invoke(t, name, *args, constructive=True)


# ---- arithmetic, comparison, constraints ------------------------------------------

NUMBER_OPERATORS = {
    "t + x": lambda t, x: t + x, "x + t": lambda t, x: x + t, "t - x": lambda t, x: t - x,
    "x - t": lambda t, x: x - t, "t * x": lambda t, x: t * x, "x * t": lambda t, x: x * t,
    "t / x": lambda t, x: t / x, "x / t": lambda t, x: x / t, "t ** x": lambda t, x: t**x,
    "t // x": lambda t, x: t // x,
}
TRAJECTORY_OPERATORS = {
    "a + b": operator.add, "a - b": operator.sub, "a * b": operator.mul,
    "a / b": operator.truediv, "a == b": operator.eq, "a != b": operator.ne,
    "a < b": operator.lt, "a >= b": operator.ge,
}
IN_PLACE = {"+=": operator.iadd, "-=": operator.isub, "*=": operator.imul,
            "/=": operator.itruediv}
UNARY = {"-t": operator.neg, "+t": operator.pos, "abs": abs, "hash": hash, "bool": bool}


@operation("arithmetic")
def with_number(w):
    t = w.trajectory()
    name = w.choose(sorted(NUMBER_OPERATORS))
    w.call(name, NUMBER_OPERATORS[name], t, w.real(), constructive=(t,))


@operation("arithmetic")
def with_trajectory(w):
    a, b = w.trajectory(), w.trajectory()
    name = w.choose(sorted(TRAJECTORY_OPERATORS))
    w.call(name, TRAJECTORY_OPERATORS[name], a, b, constructive=(a, b))


@operation("arithmetic")
def sum_methods(w):
    a = w.trajectory()
    b = w.trajectory(junk_one_in=5)
    w.invoke(a, w.choose(("c_splcsum", "c_splcmul")), b, constructive=True)


@operation("arithmetic")
def in_place(w):
    t = w.trajectory()
    name = w.choose(sorted(IN_PLACE))
    other = w.trajectory() if w.chance(4) else w.real()
    w.call(name, IN_PLACE[name], t, other, keep=False)


@operation("arithmetic")
def unary(w):
    t = w.trajectory()
    name = w.choose(sorted(UNARY))
    w.call(name, UNARY[name], t, keep=False)


@operation("arithmetic")
def constraint_method(w):
    t = w.trajectory()
    name = w.choose(("setValueTr", "setValueAm"))
    arity = w.draw(st.sampled_from((1, 1, 1, 1, 0, 2)))
    w.invoke(t, name, *[w.constraint(t) for _ in range(arity)], keep=False)


# ---- functions of pykesta.trajops ---------------------------------------------------


@operation("functions")
def join(w):
    a, b = w.trajectory(), w.trajectory()
    if w.chance(3):
        w.call("join", trajops.join, traj1=a, traj2=b, constructive=(a, b))
    else:
        w.call("join", trajops.join, a, b, constructive=(a, b))


@operation("functions")
def joins(w):
    trajectories = [w.trajectory(junk_one_in=20) for _ in range(w.draw(st.integers(0, 5)))]
    w.call("joins", trajops.joins, *trajectories, constructive=trajectories)


@operation("functions")
def trajsli(w):
    t = w.trajectory()
    w.call("trajsli", trajops.trajsli, t, w.real(t), constructive=(t,))


@operation("functions")
def mirror(w):
    t = w.trajectory()
    w.call("mirror", trajops.mirror, t, constructive=(t,))


@operation("functions")
def add(w):
    a, b = w.trajectory(), w.trajectory()
    w.call("add", trajops.add, a, b, constructive=(a, b))


@operation("functions")
def thin_function(w):
    t = w.trajectory()
    name = w.choose(("rshift", "ashift", "hscale", "adapt", "derivative", "antiderivative"))
    if name == "adapt":
        args = (t, w.real(t), w.real(t))
    elif name in ("derivative", "antiderivative"):
        args = (t,) if w.chance(3) else (t, _nu(w))
    else:
        args = (t, w.real(t))
    w.call(name, getattr(trajops, name), *args, constructive=(t,))


@operation("functions")
def constraint_function(w):
    a, b = w.trajectory(), w.trajectory()
    name = w.choose(("setValueTr", "setValueAm", "setValueSm"))
    p = w.constraint(a)
    if name == "setValueSm":
        # traj2 is scaled in place: only traj1 is left alone
        w.call(name, trajops.setValueSm, a, b, p, constructive=(a,) if a is not b else ())
    elif w.chance(4):
        w.call(name, getattr(trajops, name), traj=a, p=p, constructive=(a,))
    else:
        w.call(name, getattr(trajops, name), a, p, constructive=(a,))


@operation("functions")
def from_arrays(w):
    t = w.trajectory()
    knots = w.points_array(t) if w.chance(4) else np.array(w.knots_of(t))
    p = w.integer(-1, 9) if w.chance(4) or not isinstance(t, Trajectory1d) else t.p
    fitting = np.size(knots) - p - 2 if type(p) is int and 0 <= p <= 64 else 1
    cpts = w.points_array(t) if w.chance(4) else np.arange(float(max(fitting, 0)))
    order = w.integer(-1, 5) if w.chance(4) else 0
    w.call("from_arrays", pykesta.from_arrays, knots, cpts, p, order)


# ---- copies, state, pickling, views ---------------------------------------------------


@operation("persistence")
def copies(w):
    obj = w.constraint() if w.chance(4) else w.trajectory()
    how = w.choose(("copy", "copy.copy", "copy.deepcopy", "__copy__", "__deepcopy__"))
    if how == "copy.copy":
        w.call(how, copy.copy, obj, constructive=(obj,))
    elif how == "copy.deepcopy":
        w.call(how, copy.deepcopy, obj, constructive=(obj,))
    elif how == "__deepcopy__":
        w.invoke(obj, how, w.choose(({}, None, 5)), constructive=True)
    else:
        w.invoke(obj, how, constructive=True)


@operation("persistence")
def pickle_round_trip(w):
    obj = w.choose((w.trajectory, w.constraint, PyKESTAObject))()
    protocol = w.draw(st.integers(0, pickle.HIGHEST_PROTOCOL))
    dumped = w.call("pickle.dumps", pickle.dumps, obj, protocol, keep=False)
    if not w.ok:
        return
    restored = w.call("pickle.loads", pickle.loads, dumped)
    if type(obj) is Trajectory1d and not w.hostile:
        state = obj.__getstate__()
        if state[0] is not None and (not w.ok or restored.__getstate__() != state):
            raise Violation(f"pickling changed {w.label(obj)}\n{w.journal.tail()}")


@operation("persistence")
def state(w):
    t = w.trajectory()
    kind = w.choose(("setstate", "setstate_junk", "dset_data", "dset_data_keywords"))
    recipe = w.draw(values.recipes())
    p, n, order = w.draw(values.raw_fields()) if w.chance(3) else (recipe.p, recipe.n,
                                                                     recipe.order)
    fields = [recipe.knots, recipe.cpts, p, n, order, recipe.owner]
    if w.chance(6):
        fields[w.draw(st.integers(0, 5))] = w.draw(values.junk)
    if kind == "setstate":
        w.invoke(t, "__setstate__", tuple(fields), keep=False)
    elif kind == "setstate_junk":
        w.invoke(t, "__setstate__", w.choose((fields[:5], fields + [1], None, 5, "abcdef",
                                              iter(fields))), keep=False)
    elif kind == "dset_data":
        w.invoke(t, "_dset_data", *fields, keep=False)
    else:
        names = ("knots", "cpts", "p", "n", "order", "owner")
        w.invoke(t, "_dset_data", **dict(zip(names, fields)), keep=False)


@operation("persistence")
def views(w):
    t = w.trajectory()
    name = w.choose(("get_knotvector_asarray", "get_cpts_asarray"))
    view = w.invoke(t, name, keep=False)
    if not isinstance(view, np.ndarray) or view.size == 0:
        return
    w.views.append(view)
    place = w.draw(st.integers(0, view.size - 1))
    written = w.draw(st.one_of(values.any_floats, st.just(None)))
    if written is None:
        w.journal.write(f"view of {w.label(t)} reversed")
        view[:] = view[::-1].copy()
    else:
        w.journal.write(f"view of {w.label(t)}[{place}] = {written!r}")
        view[place] = written


@operation("persistence")
def base_object(w):
    obj = PyKESTAObject(*[w.real() for _ in range(w.draw(st.integers(0, 2)))])
    name = w.choose(("_getAttrib", "__reduce__", "__setstate__", "_addPyKESTAObject",
                     "_updatePyKESTAObject", "savexml", "loadxml", "unpickle"))
    if name == "__setstate__":
        w.invoke(obj, name, w.choose(((), ({},), ({"a": 1},), None, 5, ([1],))))
    elif name == "_addPyKESTAObject":
        w.invoke(obj, name, w.draw(values.junk), w.identifier())
    elif name == "_updatePyKESTAObject":
        w.invoke(obj, name, w.draw(values.junk), w.draw(values.junk), w.identifier())
    elif name in ("savexml", "loadxml"):
        w.invoke(obj, name, w.file_name(), w.identifier())
    elif name == "unpickle":
        unpickle = getattr(curvetypes, "__unpickle_PyKESTAObject")
        cls = w.choose((PyKESTAObject, Trajectory1d, Point1d, int, None))
        w.call("__unpickle_PyKESTAObject", unpickle, cls, w.choose((0xD41D8CD, 5, -1, 2**70, None)),
               w.choose(((), ({},), None, 5, ({"a": 1},))))
    else:
        w.invoke(obj, name)


@operation("persistence")
def point(w):
    p = w.constraint()
    name = w.choose(("copy", "str", "repr", "eq", "ne", "lt", "hash", "set", "del", "init",
                     "from_tuple", "_getAttrib", "new"))
    if name in ("str", "repr", "hash"):
        w.call(name, {"str": str, "repr": repr, "hash": hash}[name], p)
    elif name in ("eq", "ne", "lt"):
        w.call(name, getattr(operator, name), p, w.constraint())
    elif name == "set":
        w.call("setattr", setattr, p, w.choose(("t", "val", "order")), w.real())
    elif name == "del":
        w.call("delattr", delattr, p, w.choose(("t", "val", "order")))
    elif name == "init":
        w.invoke(p, "__init__", *[w.real() for _ in range(w.draw(st.integers(0, 4)))])
    elif name == "from_tuple":
        w.call("from_tuple", Point1d.from_tuple, w.constraint())
    elif name == "new":
        w.call("Point1d.__new__", Point1d.__new__, w.choose((Point1d, Trajectory1d, int)))
    else:
        w.invoke(p, name)


# ---- XML documents ------------------------------------------------------------------


def _same_numbers(a, b):
    return a is not None and b is not None and np.array_equal(
        np.frombuffer(a), np.frombuffer(b), equal_nan=True)


def _check_loaded(w, saved, loaded):
    if isinstance(saved, Trajectory1d):
        same = (loaded.p, loaded.n, loaded.order) == (saved.p, saved.n, saved.order)
        same = same and _same_numbers(saved._sget_knotvector(), loaded._sget_knotvector())
        same = same and _same_numbers(saved._sget_cpts(), loaded._sget_cpts())
    else:
        same = (np.array_equal([saved.t, saved.val], [loaded.t, loaded.val], equal_nan=True)
                and saved.order == loaded.order)
    if not same:
        raise Violation(f"{w.label(saved)} came back changed from its document\n"
                        f"{w.journal.tail()}")


@operation("persistence")
def xml_round_trip(w):
    obj = w.constraint() if w.chance(3) else w.trajectory()
    fname = w.file_name()
    ident = w.identifier()
    if w.chance(5):
        w.call("trajops.savexml", trajops.savexml, obj, fname, ident, keep=False)
    else:
        w.invoke(obj, "savexml", fname, ident, keep=False)
    saved = w.ok
    cls = Point1d if isinstance(obj, Point1d) else Trajectory1d
    loaded = w.call(f"{cls.__name__}.loadxml", cls.loadxml, fname, ident)
    checkable = type(obj) in (Trajectory1d, Point1d) and not w.hostile
    if saved and checkable and not (cls is Trajectory1d and obj.order >= 2**31):
        if not w.ok:
            raise Violation(f"{w.label(obj)} was saved but does not load\n{w.journal.tail()}")
        _check_loaded(w, obj, loaded)


@operation("persistence")
def xml_many(w):
    objects = [w.constraint() if w.chance(3) else w.trajectory()
               for _ in range(w.draw(st.integers(0, 4)))]
    fname = os.path.join(w.folder, "shared") if w.chance(2) else w.file_name()
    identifiers = [w.identifier() for _ in range(w.draw(st.integers(0, len(objects) + 1)))]
    if w.chance(6):
        identifiers = w.draw(values.junk)
    w.call("saveallxml", trajops.saveallxml, objects, fname, identifiers, keep=False)
    if w.chance(2) and objects:
        cls = w.choose((Trajectory1d, Point1d, PyKESTAObject))
        known = identifiers if isinstance(identifiers, list) and identifiers else [None]
        w.call(f"{cls.__name__}.loadxml", cls.loadxml, fname, w.choose(known))


@operation("persistence")
def xml_elements(w):
    """The add and update operations called directly with lxml elements of a
    document that lacks parts, and with things that are no elements."""
    from lxml import etree

    obj = w.trajectory() if w.chance(2) else w.constraint()
    root = etree.Element(w.choose(("PyKESTAObjectList", "Other")))
    node = etree.SubElement(root, "Trajectory1d", ID="a")
    if w.chance(2):
        etree.SubElement(node, "cpts").text = "1.0"
    if w.chance(2):
        etree.SubElement(node, "knots")
    tree = etree.ElementTree(root)
    if w.chance(2):
        w.invoke(obj, "_addPyKESTAObject", w.choose((root, node, None, 5)), w.identifier(),
                 keep=False)
    else:
        w.invoke(obj, "_updatePyKESTAObject", w.choose((tree, root, None)),
                 w.choose((node, root, None, 5)), w.choose(("a", "b", None, 5)), keep=False)


# ---- argument parsing, by shotgun -------------------------------------------------------

METHODS = ("peval", "dpeval", "ceval", "dceval", "__call__", "rshift", "ashift", "hscale",
           "adapt", "derivative", "antiderivative", "degelev", "knotins", "knotref", "knotrem",
           "knotsrem", "knotrem_notol", "c_splcsum", "c_splcmul", "setValueTr", "setValueAm",
           "copy", "get_xcpts", "_dset_data", "__setstate__", "savexml", "loadxml",
           "get_knotvector_asarray", "__deepcopy__", "_getAttrib", "from_tuple", "__init__")
KEYWORDS = ("nu", "x", "u", "r", "tol", "start", "stop", "X", "xp", "other", "p", "fname", "ID",
            "traj", "traj1", "traj2", "knots", "cpts", "n", "order", "owner", "pnt", "memo",
            "t", "val", "PyKESTAObjectList", "IDList", "bogus")


def _any_argument(w, t):
    kind = w.choose(("real", "int", "array", "trajectory", "constraint", "junk"))
    return {"real": lambda: w.real(t), "int": w.integer, "array": lambda: w.points_array(t),
            "trajectory": w.trajectory, "constraint": lambda: w.constraint(t),
            "junk": lambda: w.draw(values.junk)}[kind]()


@operation("arguments")
def shotgun(w):
    """Any method or function with any number of arguments of any kind."""
    t = w.trajectory()
    args = [_any_argument(w, t) for _ in range(w.draw(st.integers(0, 4)))]
    keywords = {w.choose(KEYWORDS): _any_argument(w, t)
                for _ in range(w.draw(st.sampled_from((0, 0, 0, 1, 2))))}
    if w.chance(3):
        name = w.choose(trajops.__all__)
        w.call(f"trajops.{name}", getattr(trajops, name), *args, **keywords)
    else:
        owner = w.choose((t, w.constraint(t), Trajectory1d, Point1d))
        name = w.choose(METHODS)
        w.invoke(owner, name, *args, **keywords)

