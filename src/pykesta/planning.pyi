from collections.abc import Iterable, Sequence
from typing import NamedTuple, final

import numpy as np
from numpy.typing import ArrayLike, NDArray

from pykesta.curvetypes import Point1d, Trajectory1d

__all__ = ["Extrema", "LimitCheck", "LimitReport", "check_limits", "extrema", "fit",
           "integral", "interpolate", "move", "profile", "retime", "roots", "sample",
           "synchronize"]

_Limit = float | tuple[float, float]

# Analysis

class Extrema(NamedTuple):
    tmin: float
    min: float
    tmax: float
    max: float

class LimitCheck(NamedTuple):
    min: float
    tmin: float
    max: float
    tmax: float
    lower: float
    upper: float
    ok: bool

@final
class LimitReport(dict[str, LimitCheck]):
    @property
    def ok(self) -> bool: ...

def sample(traj: Trajectory1d, x: ArrayLike, upto: int = 2) -> NDArray[np.float64]: ...
def integral(traj: Trajectory1d, a: float | None = None, b: float | None = None) -> float: ...
def extrema(traj: Trajectory1d, nu: int = 0, a: float | None = None,
            b: float | None = None) -> Extrema: ...
def roots(traj: Trajectory1d, value: float = 0.0, nu: int = 0, a: float | None = None,
          b: float | None = None) -> NDArray[np.float64]: ...
def check_limits(traj: Trajectory1d, *, position: _Limit | None = None,
                 velocity: _Limit | None = None, acceleration: _Limit | None = None,
                 jerk: _Limit | None = None) -> LimitReport: ...
def retime(traj: Trajectory1d, *, velocity: _Limit | None = None,
           acceleration: _Limit | None = None, jerk: _Limit | None = None) -> Trajectory1d: ...

# Construction

_Constraint = Point1d | tuple[float, float, int]

def interpolate(t: ArrayLike, y: ArrayLike, *, p: int = 3,
                constraints: Iterable[_Constraint] = (), order: int = 0,
                knots: ArrayLike | None = None) -> Trajectory1d: ...
def fit(t: ArrayLike, y: ArrayLike, *, p: int = 3, knots: ArrayLike | None = None,
        n: int | None = None, weights: ArrayLike | None = None,
        constraints: Iterable[_Constraint] = (), smoothing: float = 0.0, penalty: int = 2,
        order: int = 0) -> Trajectory1d: ...

# Profiles

def profile(distance: float, *, velocity: float, acceleration: float,
            jerk: float | None = None, start: float = 0.0) -> Trajectory1d: ...
def synchronize(trajs: Sequence[Trajectory1d],
                duration: float | None = None) -> list[Trajectory1d]: ...
def move(distances: Sequence[float], *, velocity: float | Sequence[float],
         acceleration: float | Sequence[float],
         jerk: float | Sequence[float] | None = None,
         start: float = 0.0) -> list[Trajectory1d]: ...
