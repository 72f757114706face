"""
From a velocity profile to a planned, plotted and stored motion
===============================================================

Builds a trapezoidal-like velocity profile as a cubic B-spline, integrates it
to a position, pins the start position, samples position, velocity and
acceleration, appends a return segment, cuts the result, saves everything to
one document and loads it back, and draws the three quantities into
examples/out/velocity_profile.png.
"""

import os
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # files only, no window
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import pykesta  # noqa: E402
from pykesta import trajops  # noqa: E402
from pykesta.curvetypes import Point1d, Trajectory1d  # noqa: E402

# Next to this script; argv[0] rather than __file__, which the documentation
# gallery does not define when it runs the script.
OUT = Path(sys.argv[0]).resolve().parent / "out"


def trapezoidal_velocity(v_max: float = 0.5, ramp: float = 1.0,
                         cruise: float = 2.0) -> Trajectory1d:
    """A cubic velocity profile: 0 -> v_max in `ramp` s, `cruise` s at v_max, back to 0."""
    stop = 2 * ramp + cruise
    # Four equal control points over the span [ramp, ramp + cruise] make it flat.
    interior = [ramp / 3, 2 * ramp / 3, ramp, ramp + cruise, stop - 2 * ramp / 3, stop - ramp / 3]
    knots = np.concatenate([[0.0] * 4, interior, [stop] * 4])
    cpts = np.array([0.0, 0.0, v_max / 2, v_max, v_max, v_max, v_max, v_max / 2, 0.0, 0.0])
    return pykesta.from_arrays(knots, cpts, 3, order=1)


def domain(trajectory: Trajectory1d) -> tuple[float, float]:
    """The ends of the domain (None only for a trajectory without data)."""
    start, stop = trajectory.start, trajectory.stop
    assert start is not None and stop is not None, "a trajectory without data has no domain"
    return start, stop


def plot(trajectory: Trajectory1d, path: Path) -> None:
    times = np.linspace(*domain(trajectory), 10_000)
    quantities = [("position [m]", trajectory(times)),
                  ("velocity [m/s]", trajectory(times, 1)),
                  ("acceleration [m/s²]", trajectory(times, 2))]
    knot_vector = trajectory.get_knotvector_asarray()
    assert knot_vector is not None, "a trajectory without data has no knots"
    knots = np.unique(knot_vector)
    figure, axes = plt.subplots(3, 1, sharex=True, figsize=(8, 8))
    for nu, (axis, (label, values)) in enumerate(zip(axes, quantities)):
        axis.plot(times, values)
        axis.plot(knots, trajectory(knots, nu), "o", ms=3, label="knots")
        axis.set_ylabel(label)
        axis.grid(True, alpha=0.3)
    axes[0].legend(loc="upper left")
    axes[-1].set_xlabel("time [s]")
    figure.suptitle("Out and back: planned with pykesta")
    figure.tight_layout()
    figure.savefig(path, dpi=100)
    plt.close(figure)


def main() -> None:
    OUT.mkdir(exist_ok=True)
    velocity = trapezoidal_velocity()
    position = velocity.antiderivative()            # order 0, zero at the start
    start_position = 0.25
    start, stop = domain(position)
    position = trajops.setValueTr(position, (start, start_position, 0))

    times = np.linspace(start, stop, 10_000)
    sampled = {"position": position(times), "velocity": position(times, 1),
               "acceleration": position(times, 2)}

    back = trajops.mirror(position)                 # the same motion, time reversed
    out_and_back = trajops.join(position, back)
    joined_start, joined_stop = domain(out_and_back)
    cut = joined_start + 0.75 * (joined_stop - joined_start)
    first_part, last_part = trajops.trajsli(out_and_back, cut)

    document = OUT / "velocity_profile.pykesta"
    if document.exists():
        document.unlink()
    stored = [velocity, position, out_and_back, first_part, last_part,
              Point1d(start, start_position, 0)]
    names = ["velocity", "position", "out_and_back", "first_part", "last_part", "start"]
    trajops.saveallxml(stored, str(document), names)
    loaded = Trajectory1d.loadxml(str(document), "out_and_back")
    assert loaded == out_and_back, "the stored trajectory must load back equal"

    picture = OUT / "velocity_profile.png"
    plot(loaded, picture)

    print(f"domain: [{out_and_back.start}, {out_and_back.stop}] s, degree {out_and_back.p}, "
          f"{out_and_back.n + 1} control points, {out_and_back.n + out_and_back.p + 2} knots")
    print(f"position at t = {start}: {position(start):.6f} m "
          f"(pinned to {start_position}), peak velocity {sampled['velocity'].max():.4f} m/s, "
          f"peak acceleration {np.abs(sampled['acceleration']).max():.4f} m/s²")
    print(f"cut at t = {cut}: pieces on [{first_part.start}, {first_part.stop}] and "
          f"[{last_part.start}, {last_part.stop}]")
    print(f"wrote {os.path.relpath(document)}")
    print(f"wrote {os.path.relpath(picture)}")


if __name__ == "__main__":
    main()
