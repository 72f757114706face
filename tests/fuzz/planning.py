"""The functions of pykesta.planning as fuzz operations of the "planning" area.
Each draws its arguments around a trajectory of the example (now and then
something that is not one) and calls the function through the World."""

import math

from operations import _nu, operation
from pykesta import planning


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
