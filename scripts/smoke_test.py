"""What a new user tries first, against the package installed in the running environment."""

import os
import pickle
import sys
import tempfile
from pathlib import Path

import numpy as np

import pykesta
from pykesta import Trajectory1d, trajops

installed = Path(sys.prefix).resolve() in Path(pykesta.__file__).resolve().parents
assert installed, f"pykesta imported from {pykesta.__file__}, not from the environment"

knots = [0, 0, 0, 0, 1 / 3, 2 / 3, 1, 3, 10 / 3, 11 / 3, 4, 4, 4, 4]
velocity = pykesta.from_arrays(knots, [0, 0, 0.25, 0.5, 0.5, 0.5, 0.5, 0.25, 0, 0], 3, order=1)
times = np.linspace(0.0, 4.0, 1_000_000)
assert np.allclose(velocity(times)[times.size // 2], 0.5)
acceleration = velocity.derivative()
assert abs(acceleration(0.5) - velocity(0.5, 1)) < 1e-12
position = trajops.setValueTr(velocity.antiderivative(), (0.0, 0.25, 0))
path = os.path.join(tempfile.mkdtemp(), "smoke")
position.savexml(path, "position")
assert Trajectory1d.loadxml(path, "position") == position
assert pickle.loads(pickle.dumps(position)) == position
print(f"smoke test passed: pykesta {pykesta.__version__} from {Path(pykesta.__file__).parent}, "
      f"Python {sys.version.split()[0]}, numpy {np.__version__}")
