"""Building trajectories from arrays for the tests."""

import numpy as np

from pykesta.curvetypes import Trajectory1d


def make_trajectory(knots, cpts, p, order=0, owner=True, cls=Trajectory1d):
    knots = np.ascontiguousarray(knots, dtype=np.float64)
    cpts = np.ascontiguousarray(cpts, dtype=np.float64)
    t = cls()
    t._dset_data(knots.tobytes(), cpts.tobytes(), p, len(cpts) - 1, order, owner)
    return t


def clamped_knots(interior, p, start=0.0, stop=1.0):
    return np.concatenate([[start] * (p + 1), np.asarray(interior, dtype=float), [stop] * (p + 1)])
