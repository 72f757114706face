"""B-spline trajectories for one-dimensional motion planning.

The types live in :mod:`pykesta.curvetypes`, the functions over them in
:mod:`pykesta.trajops` and the B-spline kernels in :mod:`pykesta.knotmath`;
:func:`from_arrays` builds a trajectory from arrays with every check a
B-spline needs, :func:`from_bspline` and :func:`to_bspline` convert from and
to ``scipy.interpolate.BSpline``.

Examples
--------
A velocity ramp from 0 to 2 over one second, integrated into a displacement
that starts at 5:

>>> import numpy as np
>>> from pykesta import Point1d, from_arrays, trajops
>>> velocity = from_arrays([0, 0, 1, 1], [0, 2], 1, order=1)
>>> position = trajops.setValueTr(velocity.antiderivative(), Point1d(0.0, 5.0, 0))
>>> print(position(np.array([0.0, 0.5, 1.0])))
[5.   5.25 6.  ]
"""

# The one place the version is written: the build reads it from here, and
# curvetypes writes it into new documents, so it comes before every import.
__version__ = "0.1.0"

from pykesta.curvetypes import Point1d, Trajectory1d  # noqa: E402
# curvetypes before trajops: imported the other way round, pickling a trajectory
# grows traced memory once by about 1 MB after ~9000 calls (tests/test_leaks.py).
from pykesta import trajops  # noqa: E402
from pykesta.bspline import from_bspline, to_bspline  # noqa: E402
from pykesta.factory import from_arrays  # noqa: E402

__all__ = ["Point1d", "Trajectory1d", "trajops", "from_arrays", "from_bspline", "to_bspline",
           "__version__"]
