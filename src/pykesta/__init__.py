"""B-spline trajectories for one-dimensional motion planning.

The types live in :mod:`pykesta.curvetypes`, the functions over them in
:mod:`pykesta.trajops` and the B-spline kernels in :mod:`pykesta.knotmath`;
:func:`from_arrays` builds a trajectory from arrays with every check a
B-spline needs.
"""

__version__ = "0.1.0"

from pykesta.factory import from_arrays  # noqa: E402  (curvetypes reads __version__)

__all__ = ["from_arrays", "__version__"]
