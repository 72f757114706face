"""
A three-axis point-to-point move, jerk-limited and synchronised
===============================================================

Plans the time-optimal move of each axis under its own velocity, acceleration
and jerk limits, stretches the faster axes so that all start and stop
together, checks every axis against its limits, and draws position, velocity,
acceleration and jerk of each axis (limits dashed) into
examples/out/three_axis_move.png.
"""

import os
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # files only, no window
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from pykesta import planning  # noqa: E402
from pykesta.curvetypes import Trajectory1d  # noqa: E402

# Next to this script; argv[0] rather than __file__, which the documentation
# gallery does not define when it runs the script.
OUT = Path(sys.argv[0]).resolve().parent / "out"

AXES = ("x", "y", "z")
DISTANCES = [0.40, -0.25, 0.05]       # m
VELOCITY = [0.50, 0.40, 0.20]         # m/s
ACCELERATION = [2.0, 1.5, 1.0]        # m/s²
JERK = [20.0, 10.0, 5.0]              # m/s³
QUANTITIES: list[tuple[str, list[float] | None]] = [("position [m]", None), ("velocity [m/s]", VELOCITY),
              ("acceleration [m/s²]", ACCELERATION), ("jerk [m/s³]", JERK)]


def domain(traj: Trajectory1d) -> tuple[float, float]:
    start, stop = traj.start, traj.stop
    assert start is not None and stop is not None, "a trajectory without data has no domain"
    return start, stop


def duration(traj: Trajectory1d) -> float:
    start, stop = domain(traj)
    return stop - start


def plot(moves: list[Trajectory1d], path: Path) -> None:
    start, stop = domain(moves[0])
    times = np.linspace(start, stop, 4_000)
    figure, grid = plt.subplots(4, 3, sharex=True, figsize=(12, 9))
    for column, (name, traj) in enumerate(zip(AXES, moves)):
        grid[0, column].set_title(f"axis {name}")
        for nu, (label, limits) in enumerate(QUANTITIES):
            cell = grid[nu, column]
            # the jerk is piecewise constant: sampled, a jump would show as a slope
            cell.plot(times, traj(times, nu), drawstyle="steps-post" if nu == 3 else "default")
            if limits is not None:
                for bound in (-limits[column], limits[column]):
                    cell.axhline(bound, color="tab:red", linestyle="--", linewidth=1)
            cell.grid(True, alpha=0.3)
            if column == 0:
                cell.set_ylabel(label)
        grid[-1, column].set_xlabel("time [s]")
    figure.suptitle("A synchronised three-axis move, planned with pykesta")
    figure.tight_layout()
    figure.savefig(path, dpi=100)
    plt.close(figure)


def main() -> None:
    OUT.mkdir(exist_ok=True)
    alone = [planning.profile(d, velocity=v, acceleration=a, jerk=j)
             for d, v, a, j in zip(DISTANCES, VELOCITY, ACCELERATION, JERK)]
    moves = planning.move(DISTANCES, velocity=VELOCITY, acceleration=ACCELERATION, jerk=JERK)
    for name, own, traj, v, a, j in zip(AXES, alone, moves, VELOCITY, ACCELERATION, JERK):
        report = planning.check_limits(traj, velocity=v, acceleration=a, jerk=j)
        print(f"axis {name}: alone {duration(own):.4f} s, moved in "
              f"{duration(traj):.4f} s, within its limits: {report.ok}")
    path = OUT / "three_axis_move.png"
    plot(moves, path)
    print(f"wrote {os.path.relpath(path)}")


if __name__ == "__main__":
    main()
