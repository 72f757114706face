"""pykesta.planning against the scipy route to the same answers, in one run.

    PYTHONPATH=<staged package> python benchmarks/bench_planning.py

Times are medians of repeated runs after a warm-up (time.perf_counter). A
ratio is the other side's time over ours ("x faster"); a row without another
side gives our time against its budget.
"""

import statistics
import time

import numpy as np
from scipy.interpolate import BSpline, PPoly, make_interp_spline, make_lsq_spline

import pykesta
from pykesta import planning

CONTROL_POINTS = 1_000
POINTS = 1_000_000


def median_time(action, repeats=15, calls=1):
    """Median seconds per call of `action` over `repeats` runs of `calls` calls, after a warm-up."""
    times = []
    for run in range(repeats + 1):
        start = time.perf_counter()
        for _ in range(calls):
            action()
        if run > 0:
            times.append((time.perf_counter() - start) / calls)
    return statistics.median(times)


def random_cubic(count, rng):
    interior = np.sort(rng.uniform(0.0, 10.0, count - 4))
    knots = np.concatenate([np.zeros(4), interior, np.full(4, 10.0)])
    return knots, rng.normal(size=count)


def analysis_rows(rng):
    knots, cpts = random_cubic(CONTROL_POINTS, rng)
    traj = pykesta.from_arrays(knots, cpts, 3)
    pp = PPoly.from_spline(BSpline(knots, cpts, 3))  # built once, outside the timing

    def scipy_extrema():
        velocity = pp.derivative(1)
        turning = velocity.derivative(1).roots(extrapolate=False)
        candidates = np.concatenate([[0.0, 10.0], knots[4:-4], turning])
        values = velocity(candidates)
        return values.min(), values.max()

    x = np.sort(rng.uniform(0.0, 10.0, POINTS))
    oracle = BSpline(knots, cpts, 3)
    rows = [
        ("extrema(nu=1), n = 1,000", median_time(lambda: planning.extrema(traj, 1), calls=10),
         median_time(scipy_extrema, calls=3), "scipy derivative + roots", 5.0),
        ("roots(nu=1), n = 1,000", median_time(lambda: planning.roots(traj, nu=1), calls=10),
         median_time(lambda: pp.derivative(1).roots(extrapolate=False), calls=3),
         "scipy derivative + roots", 5.0),
        ("sample(x, upto=2), 10^6 sorted", median_time(lambda: planning.sample(traj, x), 7),
         median_time(lambda: [traj(x, k) for k in range(3)], 7), "traj(x, k), k = 0, 1, 2",
         1.5),
        ("sample(x, upto=2), 10^6 sorted", median_time(lambda: planning.sample(traj, x), 7),
         median_time(lambda: [oracle(x, k) for k in range(3)], 5), "scipy BSpline(x, k) x 3",
         30.0),
    ]
    limits = {"velocity": 50.0, "acceleration": 500.0, "jerk": 5000.0}
    check = median_time(lambda: planning.check_limits(traj, **limits), calls=50)
    return rows, [("check_limits, three limits, n = 1,000", check, 100e-6)]


def profile_rows(rng):
    import ruckig

    distances = [float(d) for d in rng.uniform(0.1, 10.0, 10_000)]

    def ours():
        profile = planning.profile
        for d in distances:
            profile(d, velocity=1.5, acceleration=2.0, jerk=4.0)

    otg, problem, result = ruckig.Ruckig(1), ruckig.InputParameter(1), ruckig.Trajectory(1)
    problem.max_velocity, problem.max_acceleration, problem.max_jerk = [1.5], [2.0], [4.0]

    def theirs():
        calculate = otg.calculate
        for d in distances:
            problem.target_position = [d]
            calculate(problem, result)

    count = len(distances)
    per_profile = median_time(ours, 7) / count
    rows = [("profile with jerk, distance varying", per_profile, median_time(theirs, 7) / count,
             "ruckig calculate (preallocated)", 1.0)]
    return rows, [("profile with jerk, Python loop", per_profile, 1e-6)]


def construction_rows(rng):
    x = np.sort(rng.uniform(0.0, 100.0, 10_000))
    y = np.sin(x)
    knots = make_interp_spline(x, y, k=3).t  # the same knots on both sides
    t = np.sort(rng.uniform(0.0, 10.0, POINTS))
    samples = np.sin(t) + 0.1 * rng.normal(size=POINTS)
    fit_knots = np.concatenate([[t[0]] * 4, np.linspace(t[0], t[-1], CONTROL_POINTS - 2)[1:-1],
                                [t[-1]] * 4])
    rows = [
        ("interpolate, 10^4 values", median_time(lambda: planning.interpolate(x, y, knots=knots),
                                                 calls=10),
         median_time(lambda: make_interp_spline(x, y, k=3, t=knots), calls=10),
         "scipy make_interp_spline", 2.0),
        ("fit, 10^6 samples, n = 1,000", median_time(
            lambda: planning.fit(t, samples, knots=fit_knots), 5),
         median_time(lambda: make_lsq_spline(t, samples, fit_knots, k=3), 1),
         "scipy make_lsq_spline", 20.0),
    ]
    return rows, []


def main():
    rng = np.random.default_rng(1)
    rows, budgets = [], []
    for group in (analysis_rows, construction_rows, profile_rows):
        more_rows, more_budgets = group(rng)
        rows, budgets = rows + more_rows, budgets + more_budgets
    print(f"{'work':40} {'ours':>10} {'theirs':>10} {'ratio':>7} {'target':>7}  against")
    for name, ours, theirs, against, target in rows:
        ratio = theirs / ours
        flag = "" if ratio >= target else "  BELOW TARGET"
        unit, scale = ("us", 1e6) if ours < 1e-4 else ("ms", 1e3)
        print(f"{name:40} {ours * scale:8.3f}{unit} {theirs * scale:8.3f}{unit}"
              f" {ratio:6.1f}x {target:6.1f}x"
              f"  {against}{flag}")
    for name, ours, budget in budgets:
        flag = "" if ours <= budget else "  OVER BUDGET"
        print(f"{name:40} {ours * 1e6:8.1f}us  budget {budget * 1e6:.0f}us{flag}")


if __name__ == "__main__":
    main()
