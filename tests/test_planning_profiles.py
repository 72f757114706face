"""Time-optimal rest-to-rest profiles: profile, synchronize, move.

The oracle is ruckig, an independent time-optimal trajectory generator, run on
the same one-axis problems (zero start and target velocity and acceleration).
"""

import numpy as np
import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import pykesta
from pykesta import planning

ruckig = pytest.importorskip("ruckig")

LIMITS = ("velocity", "acceleration", "jerk")


def ruckig_trajectory(distance, velocity, acceleration, jerk):
    problem = ruckig.InputParameter(1)
    problem.current_position = [0.0]
    problem.target_position = [distance]
    problem.max_velocity = [velocity]
    problem.max_acceleration = [acceleration]
    problem.max_jerk = [jerk if jerk is not None else float("inf")]
    trajectory = ruckig.Trajectory(1)
    assert ruckig.Ruckig(1).calculate(problem, trajectory) == ruckig.Result.Working
    return trajectory


def random_problems(count, seed):
    """Limits over three decades, distances from 1e-6 to 1e2 times the move's
    natural length (ruckig gives up on much longer
    moves), so that every case (each limit reached or not) comes up."""
    rng = np.random.default_rng(seed)
    for i in range(count):
        v, a, j = 10 ** rng.uniform(-1.5, 1.5, 3)
        if i % 4 == 1:  # the velocity limit binds before the acceleration limit
            j = a * a / v * 10 ** rng.uniform(-1.5, 0)
        natural = v * v / a + (v * a / j if i % 2 else 0.0)
        distance = natural * 10 ** rng.uniform(-6, 2) * rng.choice([-1.0, 1.0])
        yield distance, v, a, (j if i % 2 else None)


def spans(traj):
    """Distinct knots and the midpoints of the spans between them."""
    knots = np.unique(traj.get_knotvector_asarray())
    return knots, (knots[:-1] + knots[1:]) / 2


@pytest.mark.parametrize("seed", [1, 2])
def test_durations_equal_an_independent_generator(seed):
    shapes = set()
    for distance, v, a, j in random_problems(1500, seed):
        traj = planning.profile(distance, velocity=v, acceleration=a, jerk=j)
        expected = ruckig_trajectory(distance, v, a, j).duration
        assert traj.stop - traj.start == pytest.approx(expected, rel=1e-9, abs=0)
        shapes.add((traj.p, len(spans(traj)[1])))
    # trapezoid and triangle; seven phases, five either way, three
    assert shapes == {(2, 3), (2, 2), (3, 7), (3, 5), (3, 3)}


limit = st.floats(0.1, 10.0)
moderate_moves = st.tuples(
    st.floats(0.01, 100.0) | st.floats(-100.0, -0.01), limit, limit, st.none() | limit)


@settings(max_examples=300, deadline=None)
@given(moderate_moves)
@example((54.61012276366694, 8.906440717476002, 1.9, 1.3158704426831063))  # a 2e-5 s cruise
def test_profile_is_the_time_optimal_move(move):
    distance, v, a, j = move
    traj = planning.profile(distance, velocity=v, acceleration=a, jerk=j, start=1.5)
    bounds = dict(zip(LIMITS, (v, a, j)))
    p = 2 if j is None else 3
    assert (traj.p, traj.order, traj.start) == (p, 0, 1.5)

    # knots: clamped ends, every interior knot a phase boundary, each once
    knots = traj.get_knotvector_asarray()
    assert np.all(knots[: p + 1] == traj.start) and np.all(knots[-p - 1:] == traj.stop)
    interior, (breaks, middles) = knots[p + 1: -p - 1], spans(traj)
    assert np.all(np.diff(interior) > 0)
    top = traj(middles, p)
    top_bound = bounds[LIMITS[p - 1]]
    assert np.all(np.diff(top) != 0)
    at_bound = np.abs(top) >= top_bound / 2
    np.testing.assert_allclose(np.abs(top[at_bound]), top_bound, rtol=1e-9)
    # The other phases hold that derivative at zero up to the rounding of the
    # control points, which grows as a phase narrows: what it may change is
    # the derivative below, by a negligible part of what the bound can.
    widths = np.diff(breaks)[~at_bound]
    duration = traj.stop - traj.start
    assert np.all(np.abs(top[~at_bound]) * widths < 1e-9 * top_bound * duration)

    # from rest at 0 to rest at the distance
    assert traj(traj.start) == 0.0 and traj(traj.stop) == distance
    for nu in range(1, p):
        scale = bounds[LIMITS[nu - 1]]
        assert abs(traj(traj.start, nu)) <= 1e-12 * scale
        assert abs(traj(traj.stop, nu)) <= 1e-12 * scale

    # the same motion as the oracle's, compared inside the spans (ours runs
    # 1e-11 slower, its samples lose up to 1e-8 over long moves), within every
    # limit, the active ones met
    oracle = ruckig_trajectory(distance, v, a, j)
    times = middles[np.diff(breaks) > 1e-6 * duration]
    ours = np.array([traj(times, nu) for nu in range(3)])
    theirs = np.array([oracle.at_time(t - traj.start) for t in times])[:, :, 0].T
    scales = (abs(distance), v, a, j or 0.0)
    for nu in range(3):
        tolerance = 1e-7 * scales[nu] + 1e-10 * duration * scales[nu + 1]
        np.testing.assert_allclose(ours[nu], theirs[nu], rtol=0, atol=tolerance)
    report = planning.check_limits(traj, **{k: b for k, b in bounds.items() if b is not None})
    assert report.ok
    for name, bound in bounds.items():
        if bound is None:
            continue
        peak = max(-report[name].min, report[name].max)
        oracle_peak = bound if name == "jerk" else np.max(np.abs(theirs[LIMITS.index(name) + 1]))
        if oracle_peak >= bound * (1 - 1e-7):
            assert peak == pytest.approx(bound, rel=1e-10)

    # no faster uniform scaling exists
    fastest = planning.retime(traj, **{k: b for k, b in bounds.items() if b is not None})
    assert fastest.stop - fastest.start == pytest.approx(traj.stop - traj.start, rel=1e-10)


@pytest.mark.parametrize("jerk", [None, [4.0, 2.0, 3.0, 1.0]])
def test_move_starts_and_stops_all_axes_together(jerk):
    distances = [0.7, -3.0, 0.0, 1.2]
    velocity, acceleration = [1.0, 2.0, 1.0, 0.5], 2.5
    axes = planning.move(distances, velocity=velocity, acceleration=acceleration, jerk=jerk,
                         start=-1.0)
    assert len(axes) == 4
    assert len({(t.start, t.stop) for t in axes}) == 1 and axes[0].start == -1.0
    alone = {i: planning.profile(d, velocity=v, acceleration=acceleration,
                                 jerk=None if jerk is None else jerk[i], start=-1.0)
             for i, (d, v) in enumerate(zip(distances, velocity)) if d != 0}
    slowest = max(alone, key=lambda i: alone[i].stop)
    assert axes[0].stop == alone[slowest].stop
    assert axes[slowest] == alone[slowest]  # left time-optimal
    for i, (traj, distance) in enumerate(zip(axes, distances)):
        assert traj.p == (2 if jerk is None else 3)
        assert traj(traj.stop) == pytest.approx(distance, rel=1e-15, abs=0)
        limits = {"velocity": velocity[i], "acceleration": acceleration}
        if jerk is not None:
            limits["jerk"] = jerk[i]
        assert planning.check_limits(traj, **limits).ok
    assert np.all(axes[2].get_cpts_asarray() == 0)


@pytest.mark.parametrize("duration", [None, 9.0])
def test_synchronize_stretches_along_the_same_path(duration):
    position = planning.profile(2.0, velocity=1.0, acceleration=1.0, jerk=2.0, start=0.5)
    velocity = pykesta.from_arrays([1.0, 1.0, 1.0, 3.0, 3.0, 3.0], [0.0, 4.0, 0.0], 2, order=1)
    stretched = planning.synchronize([position, velocity], duration)
    width = duration or position.stop - position.start
    assert [t.start for t in stretched] == [0.5, 1.0]
    assert [t.stop - t.start for t in stretched] == pytest.approx([width] * 2, rel=1e-15)
    k = width / (position.stop - position.start)
    times = np.linspace(position.start, position.stop, 51)
    np.testing.assert_allclose(stretched[0](0.5 + k * (times - 0.5)), position(times),
                               rtol=1e-13, atol=1e-13)
    assert planning.integral(stretched[1]) == pytest.approx(planning.integral(velocity), rel=1e-13)


@pytest.mark.parametrize("call, error, message", [
    (lambda: planning.profile(0.0, velocity=1, acceleration=1), ValueError, "'distance'"),
    (lambda: planning.profile(float("nan"), velocity=1, acceleration=1), ValueError,
     "'distance'"),
    (lambda: planning.profile(1.0, velocity=-1, acceleration=1), ValueError, "'velocity'"),
    (lambda: planning.profile(1.0, velocity=1, acceleration=float("inf")), ValueError,
     "'acceleration'"),
    (lambda: planning.profile(1.0, velocity=1, acceleration=1, jerk=0), ValueError, "'jerk'"),
    (lambda: planning.profile(1.0, velocity=1, acceleration=1, start=float("nan")), ValueError,
     "'start'"),
    (lambda: planning.profile(1.0, velocity="1", acceleration=1), TypeError, "'velocity'"),
    (lambda: planning.profile(1.0, 1.0, acceleration=1), TypeError, "1 positional argument"),
    (lambda: planning.profile(1.0, velocity=1), TypeError, "'acceleration'"),
    (lambda: planning.profile(1.0, velocity=1, acceleration=1, speed=2), TypeError, "'speed'"),
    (lambda: planning.move([1.0, 2.0], velocity=[1, 2, 3], acceleration=1), ValueError,
     "'velocity'"),
    (lambda: planning.move([1.0, 2.0], velocity=[1, -2], acceleration=1), ValueError,
     "'velocity[1]'"),
    (lambda: planning.move([1.0, np.inf], velocity=1, acceleration=1), ValueError,
     "'distances[1]'"),
    (lambda: planning.move([0.0, 0.0], velocity=1, acceleration=1), ValueError, "'distances'"),
    (lambda: planning.synchronize([1.0]), TypeError, "'trajs[0]'"),
    (lambda: planning.synchronize([planning.profile(1.0, velocity=1, acceleration=1)], 1.0),
     ValueError, "'duration'"),
])
def test_bad_arguments_are_named(call, error, message):
    with pytest.raises(error, match=message.replace("[", r"\[").replace("]", r"\]")):
        call()
