"""Subclasses whose redefinitions misbehave on purpose.

Internal callers of both modules reach a subclass's redefinition of an operation.
An instance of these classes chooses, per operation, a behaviour: defer to the
native operation, raise, return something of the wrong kind, or change a
trajectory's arrays (its own or another's) in the middle of the caller's work.
"""

import math

import numpy as np

from pykesta.curvetypes import Point1d, Trajectory1d

TRAJECTORY_METHODS = (
    "copy", "peval", "ceval", "dpeval", "dceval", "rshift", "ashift", "hscale", "adapt",
    "derivative", "antiderivative", "degelev", "knotins", "knotref", "knotrem", "knotsrem",
    "knotrem_notol", "c_splcsum", "c_splcmul", "setValueTr", "setValueAm", "_sget_knotvector",
    "_sget_cpts", "_dset_data", "_getAttrib", "_addPyKESTAObject", "_updatePyKESTAObject",
    "savexml", "__eq__", "__iadd__", "__isub__", "__imul__", "__itruediv__", "__copy__",
)
TRAJECTORY_PROPERTIES = ("start", "stop")
POINT_METHODS = ("copy", "_getAttrib", "_addPyKESTAObject", "_updatePyKESTAObject", "savexml",
                 "__eq__")
POINT_PROPERTIES = ("t", "val", "order")

BEHAVIOURS = ("native", "native", "none", "int", "negative", "str", "nan", "empty", "point",
              "self", "other", "raise", "resize", "resize_victim", "empty_self", "bytes", "dict")

# What a redefined ceval or dceval may do to the array it is handed before
# running the native operation on what is left: shrink it to one point, grow it
# (its data move) or free its data. numpy's reference check is off, as it would
# be for a caller that knows better.
HANDED_ARRAY_BEHAVIOURS = {"shrink_handed": 1, "grow_handed": lambda size: 2 * size + 64,
                           "free_handed": 0}
HANDED_ARRAY_METHODS = ("ceval", "dceval")


class Context:
    """What the behaviours reach beyond the instance: another trajectory of the
    example, and a victim whose arrays they may replace. Set by the runner."""

    other = None
    victim = None
    resized = None  # (knots bytes, cpts bytes, p, n) used by the resizing behaviours


def _replace_arrays(trajectory):
    if isinstance(trajectory, Trajectory1d) and Context.resized is not None:
        knots, cpts, p, n = Context.resized
        Trajectory1d._dset_data(trajectory, knots, cpts, p, n, trajectory.order, True)


def _empty(trajectory):
    try:
        Trajectory1d._dset_data(trajectory, None, None, 0, 0, 0, False)
    except TypeError:
        pass  # the arrays are gone, which is the point


def behaviours_of(name):
    """The behaviours a redefinition of the method `name` may be given."""
    handed = tuple(HANDED_ARRAY_BEHAVIOURS) if name in HANDED_ARRAY_METHODS else ()
    return BEHAVIOURS + handed


def _resize_handed(array, behaviour):
    if isinstance(array, np.ndarray):
        size = HANDED_ARRAY_BEHAVIOURS[behaviour]
        array.resize(size(array.size) if callable(size) else size, refcheck=False)


def misbehave(behaviour, instance, native):
    """The outcome of `behaviour`; `native` runs the operation as the class would."""
    if behaviour == "native":
        return native()
    if behaviour == "resize":
        _replace_arrays(instance)
        return native()
    if behaviour == "resize_victim":
        _replace_arrays(Context.victim)
        return native()
    if behaviour == "empty_self":
        _empty(instance)
        return native()
    if behaviour == "raise":
        raise RuntimeError("hostile redefinition")
    return {
        "none": None, "int": 7, "negative": -3, "str": "junk", "nan": math.nan,
        "empty": Trajectory1d(), "point": Point1d(0.5, 1.0, 0), "self": instance,
        "other": Context.other, "bytes": b"\x01\x02\x03", "dict": {"p": 1, 2: None},
    }[behaviour]


def _method(base, name):
    def redefined(self, *args, **kwargs):
        def native():
            return getattr(base, name)(self, *args, **kwargs)

        behaviour = self.__dict__.get("junk", {}).get(name, "native")
        if behaviour in HANDED_ARRAY_BEHAVIOURS:
            _resize_handed(args[0] if args else kwargs.get("xp"), behaviour)
            behaviour = "native"
        return misbehave(behaviour, self, native)

    redefined.__name__ = name
    return redefined


def _property(base, name):
    def read(self):
        def native():
            return getattr(base, name).__get__(self, type(self))

        return misbehave(self.__dict__.get("junk", {}).get(name, "native"), self, native)

    return property(read)


def _hostile_class(name, base, methods, properties):
    namespace = {m: _method(base, m) for m in methods}
    namespace.update({p: _property(base, p) for p in properties})
    namespace["__hash__"] = None
    return type(name, (base,), namespace)


HostileTrajectory = _hostile_class("HostileTrajectory", Trajectory1d, TRAJECTORY_METHODS,
                                   TRAJECTORY_PROPERTIES)
HostilePoint = _hostile_class("HostilePoint", Point1d, POINT_METHODS, POINT_PROPERTIES)


class PlainSubclass(Trajectory1d):
    """A subclass that redefines nothing."""


class ResizingNumber:
    """A number whose conversions replace the victim's arrays first."""

    def __float__(self):
        _replace_arrays(Context.victim)
        return 0.5

    def __index__(self):
        _replace_arrays(Context.victim)
        return 1

    def __repr__(self):
        return "ResizingNumber()"
