"""
From noisy measurements of a move to a trajectory that respects the limits
==========================================================================

Fits a quintic B-spline to measured-looking position samples of a 0.4 m move,
holding the start and end at rest (velocity and acceleration 0) exactly and
smoothing the jerk; checks the fit against velocity, acceleration and jerk
limits, retimes it to the fastest uniform time scaling that meets them, and
draws samples, fit and retimed motion into examples/out/fitted_measurement.png.
"""

import os
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # files only, no window
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
import numpy.typing as npt  # noqa: E402

from pykesta.curvetypes import Trajectory1d  # noqa: E402
from pykesta.planning import check_limits, fit, retime  # noqa: E402

# Next to this script; argv[0] rather than __file__, which the documentation
# gallery does not define when it runs the script.
OUT = Path(sys.argv[0]).resolve().parent / "out"
Samples = npt.NDArray[np.float64]
LIMITS = {"velocity": 0.4, "acceleration": 1.0, "jerk": 8.0}


def measured_move(rng: np.random.Generator, distance: float = 0.4, duration: float = 1.5,
                  count: int = 600,
                  noise: float = 2e-3) -> tuple[Samples, Samples]:
    """Positions of a smooth rest-to-rest move at jittered times, with sensor noise."""
    t = np.sort(rng.uniform(0.0, duration, count))
    t[0], t[-1] = 0.0, duration
    s = t / duration
    clean = distance * (10 * s**3 - 15 * s**4 + 6 * s**5)
    return t, clean + noise * rng.normal(size=count)


def rest_at(time: float, position: float) -> list[tuple[float, float, int]]:
    return [(time, position, 0), (time, 0.0, 1), (time, 0.0, 2)]


def domain(traj: Trajectory1d) -> tuple[float, float]:
    start, stop = traj.start, traj.stop
    assert start is not None and stop is not None, "a trajectory without data has no domain"
    return start, stop


def duration(traj: Trajectory1d) -> float:
    start, stop = domain(traj)
    return stop - start


def plot(t: Samples, y: Samples, fitted: Trajectory1d, retimed: Trajectory1d,
         path: Path) -> None:
    figure, axes = plt.subplots(3, 1, sharex=True, figsize=(8, 8))
    axes[0].plot(t, y, ".", ms=2, color="0.6", label="measured")
    for traj, label in ((fitted, "fitted, at rest at both ends"), (retimed, "retimed to limits")):
        times = np.linspace(*domain(traj), 2_000)
        for nu, axis in enumerate(axes):
            axis.plot(times, traj(times, nu), label=label if nu == 0 else None)
    for axis, name in zip(axes[1:], ("velocity", "acceleration")):
        axis.axhline(LIMITS[name], ls="--", color="k", lw=0.8)
        axis.axhline(-LIMITS[name], ls="--", color="k", lw=0.8)
    for axis, label in zip(axes, ("position [m]", "velocity [m/s]", "acceleration [m/s²]")):
        axis.set_ylabel(label)
        axis.grid(True, alpha=0.3)
    axes[0].legend(loc="lower right")
    axes[-1].set_xlabel("time [s]")
    figure.suptitle("A measured move, fitted and retimed with pykesta")
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    plt.close(figure)


def main() -> None:
    rng = np.random.default_rng(2024)
    t, y = measured_move(rng)
    start, stop = float(t.min()), float(t.max())
    fitted = fit(t, y, p=5, n=20, constraints=rest_at(start, 0.0) + rest_at(stop, 0.4),
                 smoothing=1e-7, penalty=3)
    rms = np.sqrt(np.mean((fitted(t) - y) ** 2))
    print(f"fit: {fitted.n + 1} control points, rms residual {rms * 1e3:.2f} mm, "
          f"end velocity {fitted(stop, 1):.1e} m/s")

    report = check_limits(fitted, **LIMITS)
    for name, item in report.items():
        print(f"  {name:12} peak {max(-item.min, item.max):7.3f} within {item.upper}: {item.ok}")
    retimed = retime(fitted, **LIMITS)
    print(f"retimed: {duration(fitted):.3f} s -> {duration(retimed):.3f} s, "
          f"limits met: {check_limits(retimed, **LIMITS).ok}")

    OUT.mkdir(exist_ok=True)
    picture = OUT / "fitted_measurement.png"
    plot(t, y, fitted, retimed, picture)
    print(f"wrote {os.path.relpath(picture)}")


if __name__ == "__main__":
    main()
