"""The examples run as a user runs them, and their outputs are sane."""

import re
import subprocess
import sys
from pathlib import Path

import numpy as np

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"


def run_example(name, *args, timeout=600):
    return subprocess.run([sys.executable, str(EXAMPLES / name), *args], capture_output=True, text=True,
                          timeout=timeout, env={"MPLBACKEND": "Agg", **__import__("os").environ})


def test_velocity_profile_plots_and_stores():
    result = run_example("velocity_profile.py")
    assert result.returncode == 0, result.stderr
    picture = EXAMPLES / "out" / "velocity_profile.png"
    document = EXAMPLES / "out" / "velocity_profile.pykesta"
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and picture.stat().st_size > 20_000
    text = document.read_text()
    assert text.count("<Trajectory1d ") == 5 and text.count("<Point1d ") == 1
    assert "wrote" in result.stdout and "pinned to 0.25" in result.stdout

    from pykesta.curvetypes import Point1d, Trajectory1d

    position = Trajectory1d.loadxml(str(document), "position")
    assert abs(position(position.start) - 0.25) < 1e-12
    assert Point1d.loadxml(str(document), "start") == Point1d(position.start, 0.25, 0)
    velocity = Trajectory1d.loadxml(str(document), "velocity")
    times = np.linspace(velocity.start, velocity.stop, 101)
    np.testing.assert_allclose(position(times, 1), velocity(times), atol=1e-12)


def test_parallel_peak_agrees_with_one_call_and_scipy():
    from scipy.interpolate import BSpline

    samples = 5_000_000  # two dask tasks
    result = run_example("parallel_evaluation.py", str(samples), str(samples))
    assert result.returncode == 0, result.stderr
    peaks = re.findall(rf"^(one call|dask), {samples:,} samples: peak \|a\| = (\S+) at t = (\S+) s",
                       result.stdout, flags=re.MULTILINE)
    assert [how for how, *_ in peaks] == ["one call", "dask", "dask"]
    assert len({(value, at) for _, value, at in peaks}) == 1
    value, at = float(peaks[0][1]), float(peaks[0][2])
    knots = np.concatenate([[0.0] * 4, np.linspace(0.0, 10.0, 50)[1:-1], [10.0] * 4])
    oracle = BSpline(knots, np.exp(-np.linspace(-3.0, 3.0, len(knots) - 4) ** 2), 3)
    assert abs(abs(oracle(at, nu=2)) - value) < 1e-12
    grid = np.linspace(0.0, 10.0, 100_001)
    assert value >= np.abs(oracle(grid, nu=2)).max() - 1e-9


def test_three_axis_move_plots_axes_within_their_limits():
    result = run_example("three_axis_move.py")
    assert result.returncode == 0, result.stderr
    picture = EXAMPLES / "out" / "three_axis_move.png"
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and picture.stat().st_size > 20_000
    assert result.stdout.count("within its limits: True") == 3
    assert len({line.split("moved in ")[1][:6] for line in result.stdout.splitlines()
                if "moved in" in line}) == 1


def test_fitted_measurement_is_at_rest_at_both_ends_and_retimed_within_limits():
    result = run_example("fitted_measurement.py")
    assert result.returncode == 0, result.stderr
    picture = EXAMPLES / "out" / "fitted_measurement.png"
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and picture.stat().st_size > 20_000
    end_velocity = float(result.stdout.split("end velocity ")[1].split()[0])
    assert abs(end_velocity) < 1e-12
    assert "limits met: True" in result.stdout
