"""What `import pykesta` offers, and the installed distribution agrees with it."""

from importlib.metadata import metadata

import pykesta


def test_the_package_reaches_types_and_functions():
    assert pykesta.Trajectory1d is pykesta.curvetypes.Trajectory1d
    assert pykesta.Point1d is pykesta.curvetypes.Point1d
    assert pykesta.trajops.join(pykesta.from_arrays([0, 0, 1, 1], [0, 1], 1),
                                pykesta.from_arrays([0, 0, 1, 1], [1, 0], 1)).stop == 2.0


def test_distribution_metadata_agrees_with_the_package():
    meta = metadata("pykesta")
    assert meta["Version"] == pykesta.__version__
    assert meta["License-Expression"] == "BSD-3-Clause"
    assert "Typing :: Typed" in meta.get_all("Classifier")
