"""The objects of one fuzz example and the calls made on them.

A World holds the trajectories, points and array views of one example; the
operations draw their arguments from it and run every call through `call`,
which writes the call to the journal first (so that a crash leaves its cause
on disk), classifies the outcome and keeps new trajectories for later calls.
"""

import os
import reprlib

import numpy as np
from hypothesis import strategies as st

import hostile
import values
from pykesta.curvetypes import Point1d, PyKESTAObject, Trajectory1d

POOL_LIMIT = 8
# A folder of the scratch folder, named like a document, to save into.
FOLDER_NAME = "folder.pykesta"
_short = reprlib.Repr()
_short.maxstring = 60
_short.maxother = 60


class Violation(AssertionError):
    """An outcome other than a result or an ordinary Python exception."""


class Journal:
    """The calls of the current example, rewritten from the start for each one."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644) if path else None
        self.lines = []

    def restart(self):
        self.lines = []
        if self.fd is not None:
            os.ftruncate(self.fd, 0)
            os.lseek(self.fd, 0, os.SEEK_SET)

    def write(self, line):
        self.lines.append(line)
        if self.fd is not None:
            os.write(self.fd, (line + "\n").encode("utf-8", "backslashreplace"))

    def tail(self, count=30):
        return "\n".join(self.lines[-count:])


class Tally:
    """Counts of examples, calls and outcomes over a whole run."""

    def __init__(self):
        self.examples = 0
        self.calls = 0
        self.outcomes = {}
        self.by_call = {}

    def record(self, name, outcome):
        self.calls += 1
        self.outcomes[outcome] = self.outcomes.get(outcome, 0) + 1
        outcomes = self.by_call.setdefault(name, {})
        outcomes[outcome] = outcomes.get(outcome, 0) + 1


class World:
    def __init__(self, data, journal, tally, folder):
        self.data = data
        self.journal = journal
        self.tally = tally
        self.folder = folder
        self.pool = []
        self.points = []
        self.views = []
        self.labels = {}
        self.hostile = False
        self.files = 0
        self.ok = False  # whether the last call returned normally

    # ---- drawing ----------------------------------------------------------------

    def draw(self, strategy):
        return self.data.draw(strategy)

    def chance(self, one_in):
        return self.draw(st.integers(0, one_in - 1)) == 0

    def choose(self, options):
        return options[self.draw(st.integers(0, len(options) - 1))]

    def trajectory(self, junk_one_in=25):
        """A trajectory of the example, now and then something that is not one."""
        if not self.pool or self.chance(junk_one_in):
            return self.choose([None, 5, Point1d(0.5, 1.0, 0), PyKESTAObject(), Trajectory1d(),
                                "traj"])
        return self.choose(self.pool)

    def knots_of(self, t):
        """The knots as the native class holds them, whatever the subclass says."""
        try:
            raw = Trajectory1d._sget_knotvector(t)
        except Exception:
            return ()
        return tuple(np.frombuffer(raw, dtype=np.float64)) if raw else ()

    def near(self, t):
        knots = self.knots_of(t)
        if not knots:
            return (0.0, 1.0)
        return (knots[0], knots[-1]) + knots[:: max(1, len(knots) // 6)]

    def real(self, t=None):
        if self.resizing_argument():
            return hostile.ResizingNumber()
        return values.real(self.draw, self.near(t) if t is not None else (0.0, 1.0))

    def integer(self, low=-2, high=12):
        if self.resizing_argument():
            return hostile.ResizingNumber()
        return self.draw(values.ints(low, high))

    def resizing_argument(self):
        """Now and then, once the hostile behaviours are aimed, a number whose
        conversion replaces a trajectory's arrays in the middle of a call."""
        return hostile.Context.resized is not None and self.chance(15)

    def points_array(self, t=None):
        """Abscissae for the evaluation over a set: sorted or not, empty, of the wrong
        type or layout, or a view of a trajectory's own storage."""
        kind = self.choose(("sorted", "sorted", "sorted", "unsorted", "repeated", "empty",
                            "float32", "float16", "longdouble", "big_endian", "object", "int",
                            "strided", "2d", "readonly", "list", "view", "none", "scalar",
                            "junk"))
        if kind == "view" and self.views:
            return self.choose(self.views)
        lo, hi = self.near(t)[:2] if t is not None else (0.0, 1.0)
        length = self.draw(st.one_of(st.integers(1, 8), st.integers(1, 600)))
        array = values.float_array(self.draw, length, 0.0, 1.0, scaled=False)
        with np.errstate(all="ignore"):
            array = lo + (hi - lo) * np.clip(array, 0.0, 1.0)
        if kind == "sorted":
            return np.sort(array)
        if kind == "repeated":
            return np.sort(np.concatenate([array, array[:1]]))
        if kind == "empty":
            return np.empty(0)
        if kind in ("float32", "float16", "longdouble", "object"):
            return np.sort(array).astype(getattr(np, kind, object))
        if kind == "big_endian":
            return np.sort(array).astype(">f8")
        if kind == "int":
            return np.arange(length)
        if kind == "strided":
            return np.sort(np.repeat(array, 2))[::2]
        if kind == "2d":
            return np.sort(array).reshape(1, -1)
        if kind == "readonly":
            array = np.sort(array)
            array.flags.writeable = False
            return array
        if kind == "list":
            return list(array)
        if kind == "none":
            return None
        if kind == "scalar":
            return float(array[0])
        if kind == "junk":
            return self.draw(values.junk)
        return array

    def constraint(self, t=None):
        """A constraint: a point or a 3-tuple, sometimes of the wrong shape or type."""
        kind = self.choose(("point", "point", "point", "tuple", "tuple", "tuple", "short_tuple",
                            "long_tuple", "list", "junk", "hostile_point", "pool_point"))
        when, value = self.real(t), self.real()
        own = t.order if isinstance(t, Trajectory1d) else 0
        order = (self.integer(-1, 5) if self.chance(4)
                 else self.choose((own, own, own + 1, own - 1, own + 2)))
        if kind == "point":
            try:
                return Point1d(when, value, order)
            except Exception:
                return Point1d(0.5, 1.0, 0)
        if kind == "tuple":
            return (when, value, order)
        if kind == "short_tuple":
            return (when, value, order)[: self.draw(st.integers(0, 2))]
        if kind == "long_tuple":
            return (when, value, order, self.real())
        if kind == "list":
            return [when, value, order]
        if kind == "hostile_point":
            return self.hostile_point(t)
        if kind == "pool_point" and self.points:
            return self.choose(self.points)
        return self.draw(values.junk)

    def hostile_point(self, t=None):
        self.hostile = True
        point = hostile.HostilePoint(0.5, 1.0, 0)
        names = hostile.POINT_METHODS + hostile.POINT_PROPERTIES
        junk = {name: self.choose(hostile.BEHAVIOURS)
                for name in sorted(self.draw(st.sets(st.sampled_from(names))))}
        point.junk = junk
        self.journal.write(f"hostile point {self.label(point)} with {junk}")
        return point

    def file_name(self):
        """A file of the example's folder, now and then a name that cannot work."""
        self.files += 1
        kind = self.choose(("plain", "plain", "plain", "extension", "dot", "folder",
                            "missing_folder", "none", "int", "empty"))
        base = os.path.join(self.folder, f"doc{self.files}")
        return {
            "plain": base, "extension": base + ".xml", "dot": base + ".",
            "folder": os.path.join(self.folder, FOLDER_NAME),
            "missing_folder": os.path.join(base, "nowhere", "doc"),
            "none": None, "int": 3, "empty": "",
        }[kind]

    def identifier(self):
        return self.draw(st.one_of(st.sampled_from(("a", "b", "None", "it's", "x\x00y", "]",
                                                    "\u00e9\u4e2d", "")),
                                   st.none(), st.text(max_size=6), st.integers(0, 3)))

    # ---- building ----------------------------------------------------------------

    def build(self, recipe):
        cls = {"Trajectory1d": Trajectory1d, "PlainSubclass": hostile.PlainSubclass,
               "HostileTrajectory": hostile.HostileTrajectory}[recipe.cls]
        t = cls()
        label = self.label(t)
        self.journal.write(f"{label} = {recipe.cls}(); {label}._dset_data(<{recipe!r}>)")
        self.call("_dset_data", Trajectory1d._dset_data, t, recipe.knots, recipe.cpts, recipe.p,
                  recipe.n, recipe.order, recipe.owner, keep=False)
        if cls is hostile.HostileTrajectory:
            self.make_hostile(t)
        self.pool.append(t)
        return t

    def make_hostile(self, t):
        self.hostile = True
        names = hostile.TRAJECTORY_METHODS + hostile.TRAJECTORY_PROPERTIES
        t.junk = {name: self.choose(hostile.behaviours_of(name))
                  for name in sorted(self.draw(st.sets(st.sampled_from(names), max_size=6)))}
        self.journal.write(f"{self.label(t)}.junk = {t.junk}")

    def aim_hostile_behaviours(self, recipe):
        """Where the misbehaving redefinitions point: another trajectory of the
        example, a victim and the arrays they swap in."""
        self.hostile = True
        hostile.Context.other = self.choose(self.pool) if self.pool else None
        hostile.Context.victim = self.choose(self.pool) if self.pool else None
        hostile.Context.resized = (recipe.knots, recipe.cpts, recipe.p, recipe.n)
        self.journal.write(f"other = {self.label(hostile.Context.other)}; victim = "
                           f"{self.label(hostile.Context.victim)}; resized = <{recipe!r}>")

    def label(self, obj):
        """A short name for the journal; the object is kept until the end of the
        example, so that its id stays its own."""
        if obj is None:
            return "None"
        key = id(obj)
        if key not in self.labels:
            prefix = ("T" if isinstance(obj, Trajectory1d)
                      else "P" if isinstance(obj, Point1d) else "O")
            self.labels[key] = (f"{prefix}{len(self.labels)}", obj)
        return self.labels[key][0]

    def describe(self, obj):
        if id(obj) in self.labels:
            return self.labels[id(obj)][0]
        if isinstance(obj, np.ndarray):
            return (f"array(dtype={obj.dtype}, shape={obj.shape}, "
                    f"data={_short.repr(obj.tolist())})")
        return _short.repr(obj)

    # ---- calling -----------------------------------------------------------------

    def invoke(self, obj, name, *args, keep=True, constructive=False, allowed=Exception,
               **kwargs):
        """obj.name(*args, **kwargs) through `call`; obj may be anything."""

        def method(receiver, *a, **k):
            return getattr(receiver, name)(*a, **k)

        return self.call(f"{type(obj).__name__}.{name}", method, obj, *args, keep=keep,
                         constructive=(obj,) if constructive else (), allowed=allowed, **kwargs)

    def call(self, name, fn, *args, keep=True, constructive=(), allowed=Exception, **kwargs):
        """Runs fn(*args, **kwargs). Python exceptions are counted; SystemError
        (a native function that failed without saying why, or returned a result
        with an error set), an exception other than those `allowed` and a
        changed input of a constructive operation are violations. Trajectories
        in the result join the pool when `keep`."""
        shown = ", ".join([self.describe(a) for a in args]
                          + [f"{k}={self.describe(v)}" for k, v in kwargs.items()])
        self.journal.write(f"{name}({shown})")
        guarded = [t for t in constructive if type(t) is Trajectory1d and not self.hostile]
        before = [t.__getstate__() for t in guarded]
        self.ok = False
        try:
            result = fn(*args, **kwargs)
        except SystemError as error:
            raise Violation(f"{name}: SystemError {error}\n{self.journal.tail()}") from error
        except Exception as error:
            if not isinstance(error, allowed):
                raise Violation(f"{name}: {type(error).__name__} {error}\n"
                                f"{self.journal.tail()}") from error
            self.tally.record(name, type(error).__name__)
            return None
        self.ok = True
        self.tally.record(name, "returned")
        for t, state in zip(guarded, before):
            if t.__getstate__() != state:
                raise Violation(f"{name} changed its input {self.label(t)}\n"
                                f"{self.journal.tail()}")
        if keep:
            self.keep(result)
        return result

    def keep(self, result):
        found = result if isinstance(result, tuple) else (result,)
        for item in found:
            if isinstance(item, Trajectory1d) and not any(item is t for t in self.pool):
                if len(self.pool) >= POOL_LIMIT:
                    self.pool.pop(self.draw(st.integers(0, len(self.pool) - 1)))
                self.label(item)
                self.pool.append(item)
            elif isinstance(item, Point1d):
                self.points.append(item)

    def end(self):
        """Drops every object of the example, then uses the views that outlived
        their trajectories."""
        self.pool.clear()
        self.points.clear()
        self.labels.clear()
        hostile.Context.other = hostile.Context.victim = hostile.Context.resized = None
        for view in self.views:
            self.journal.write(f"reading and writing a view of {view.size} values after the end")
            view[:] = view[::-1].copy()
        self.views.clear()
