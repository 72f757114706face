"""The examples run as a user runs them, and their outputs are sane."""

import subprocess
import sys
from pathlib import Path

import numpy as np

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"


def run_example(name, timeout=600):
    return subprocess.run([sys.executable, str(EXAMPLES / name)], capture_output=True, text=True,
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


def test_parallel_evaluation_agrees_with_one_process():
    result = run_example("parallel_evaluation.py")
    assert result.returncode == 0, result.stderr
    assert "process pool: 2000000 values, equal to one process: True" in result.stdout
    assert "dask: 2000000 values, equal to one process: True" in result.stdout


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
