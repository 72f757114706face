"""The functions of pykesta.planning as fuzz operations of the "planning" area.
Each draws its arguments around a trajectory of the example (now and then
something that is not one) and calls the function through the World."""

import math

from operations import _nu, operation
from pykesta import planning
from pykesta.curvetypes import Point1d, Trajectory1d


def _bound(w, t):
    return w.choose((None, w.real(t)))


def _limit(w):
    kind = w.choose(("none", "number", "pair", "pair", "junk"))
    if kind == "none":
        return None
    if kind == "number":
        return w.real()
    if kind == "pair":
        return (w.real(), w.real())
    return w.choose(((1.0,), (1.0, 2.0, 3.0), "fast", [-1.0, math.nan], object()))


@operation("planning", among_all=False)
def sample(w):
    t = w.trajectory()
    x = w.choose((w.points_array(t), w.real(t)))
    w.call("sample", planning.sample, t, x, upto=w.choose((0, 1, 2, _nu(w), w.integer())))


@operation("planning", among_all=False)
def integral(w):
    t = w.trajectory()
    w.call("integral", planning.integral, t, _bound(w, t), _bound(w, t))


@operation("planning", among_all=False)
def extrema(w):
    t = w.trajectory()
    w.call("extrema", planning.extrema, t, nu=w.choose((0, 1, _nu(w))), a=_bound(w, t),
           b=_bound(w, t))


@operation("planning", among_all=False)
def roots(w):
    t = w.trajectory()
    w.call("roots", planning.roots, t, w.choose((0.0, w.real(t))), nu=w.choose((0, 1, _nu(w))),
           a=_bound(w, t), b=_bound(w, t))


@operation("planning", among_all=False)
def check_limits(w):
    t = w.trajectory()
    w.call("check_limits", planning.check_limits, t, position=_limit(w), velocity=_limit(w),
           acceleration=_limit(w), jerk=_limit(w))


@operation("planning", among_all=False)
def retime(w):
    t = w.trajectory()
    w.call("retime", planning.retime, t, velocity=_limit(w), acceleration=_limit(w),
           jerk=_limit(w))


def _move_limit(w, axes):
    kind = w.choose(("number", "number", "per axis", "junk"))
    if kind == "number":
        return w.real()
    if kind == "per axis":
        return [w.real() for _ in range(w.choose((axes, axes, axes + 1)))]
    return w.choose(("fast", [[1.0]], object(), None))


@operation("planning", among_all=False)
def profile(w):
    w.call("profile", planning.profile, w.real(), velocity=w.real(), acceleration=w.real(),
           jerk=w.choose((None, w.real())), start=w.real())


@operation("planning", among_all=False)
def synchronize(w):
    trajs = [w.trajectory() for _ in range(w.choose((0, 1, 2, 3)))]
    w.call("synchronize", planning.synchronize, trajs, w.choose((None, w.real())))


@operation("planning", among_all=False)
def move(w):
    axes = w.choose((0, 1, 3))
    w.call("move", planning.move, [w.real() for _ in range(axes)],
           velocity=_move_limit(w, axes), acceleration=_move_limit(w, axes),
           jerk=w.choose((None, _move_limit(w, axes))), start=w.real())


def _constraints(w):
    kind = w.choose(("none", "some", "some", "junk"))
    if kind == "none":
        return ()
    if kind == "junk":
        return w.choose((5, [(1.0, 2.0)], [object()], ["abc"], None))
    items = []
    for _ in range(w.choose((1, 2, 4, 7))):
        point = Point1d(w.choose((0.0, 0.5, 1.0)), 1.0, w.choose((0, 1, 2)))
        items.append(w.choose(((w.real(), w.real(), w.choose((0, 1, 2, w.integer()))), point)))
    return items


def _knots(w):
    t = w.trajectory(junk_one_in=4)
    if isinstance(t, Trajectory1d) and t.get_knotvector_asarray() is not None:
        return t.get_knotvector_asarray()
    return w.choose((None, w.points_array()))


@operation("planning", among_all=False)
def interpolate(w):
    t = w.points_array()
    w.call("interpolate", planning.interpolate, t, w.choose((t, w.points_array())),
           p=w.choose((0, 1, 3, 5, w.integer())), constraints=_constraints(w),
           order=w.choose((0, 1, w.integer())), knots=w.choose((None, _knots(w))))


@operation("planning", among_all=False)
def fit(w):
    t = w.points_array()
    given_knots = w.choose((True, False))
    w.call("fit", planning.fit, t, w.choose((t, w.points_array())),
           p=w.choose((1, 3, 5, w.integer())),
           knots=_knots(w) if given_knots else None,
           n=None if given_knots else w.choose((3, 5, 20, w.integer())),
           weights=w.choose((None, w.points_array())), constraints=_constraints(w),
           smoothing=w.choose((0.0, w.real())), penalty=w.choose((1, 2, 3, w.integer())),
           order=w.choose((0, 1, w.integer())))
