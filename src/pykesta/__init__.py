"""B-spline trajectories for one-dimensional motion planning."""

__version__ = "0.1.0"
