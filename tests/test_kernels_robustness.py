"""Every kernel survives malformed input.

The kernels run in a child interpreter (this file run as a script), so that a crash
fails these tests instead of the test session. Every array handed to a kernel is a
view into a larger one whose margins hold a sentinel: a write outside an array shows
up even when it does not crash. Inputs must come back unchanged, and where the sizes
do not fit together as documented the outputs must be NaN and the result 0 / NaN /
(0, 0). The only exceptions allowed are those of argument conversion.
"""

import json
import math
import subprocess
import sys

import numpy as np
import pytest

MARGIN = 8
SENTINEL = -7.25e103
CONVERSION_ERRORS = (TypeError, ValueError, OverflowError, BufferError)
INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
# Output lengths derived from huge scalars are capped; the kernels then see a
# mismatch and must write NaN.
LONGEST = 300
REPORT_MARK = "REPORT "


class Buffer:
    """A float64 view with sentinel margins; role is 'in', 'out' or 'inout'."""

    def __init__(self, values, role, shape=None):
        values = np.asarray(values, dtype=float).ravel()
        self.whole = np.full(len(values) + 2 * MARGIN, SENTINEL)
        self.whole[MARGIN : MARGIN + len(values)] = values
        self.view = self.whole[MARGIN : MARGIN + len(values)]
        if shape is not None:
            self.view = self.view.reshape(shape)
        self.before = self.whole.copy()
        self.role = role

    def margins_changed(self) -> bool:
        now, then = self.whole.tobytes(), self.before.tobytes()
        size = MARGIN * 8
        return now[:size] != then[:size] or now[-size:] != then[-size:]

    def contents_changed(self) -> bool:
        return self.whole.tobytes() != self.before.tobytes()

    def all_nan(self) -> bool:
        return bool(np.isnan(self.view).all())


def In(values):
    return Buffer(values, "in")


def InOut(values):
    return Buffer(values, "inout")


def Out(length, rows=None):
    """An output of `length` entries (rows x length for a 2-D one)."""
    length = max(0, length)
    if rows is None:
        return Buffer(np.zeros(length), "out")
    rows = max(0, rows)
    return Buffer(np.zeros(rows * length), "out", shape=(rows, length))


def capped(length: int) -> int:
    return min(max(length, 0), LONGEST)


def around(length: int) -> list[int]:
    """The documented length and lengths just off it."""
    return sorted({capped(length), capped(length - 1), capped(length + 1), 0})


class Torture:
    def __init__(self, knotmath):
        self.km = knotmath
        self.calls = 0
        self.raised = []
        self.outside_writes = []
        self.input_writes = []
        self.nan_contract = []

    def call(self, label, name, *args, misfit=False, expected=None):
        """Runs one kernel; when misfit, its outputs must be NaN and its result
        `expected`."""
        print(label, flush=True)
        self.calls += 1
        plain = [a.view if isinstance(a, Buffer) else a for a in args]
        try:
            result = getattr(self.km, name)(*plain)
        except CONVERSION_ERRORS as error:
            self.raised.append(f"{label}: {error!r}")
            return None
        buffers = [a for a in args if isinstance(a, Buffer)]
        if any(b.margins_changed() for b in buffers):
            self.outside_writes.append(label)
        if any(b.contents_changed() for b in buffers if b.role == "in"):
            self.input_writes.append(label)
        if misfit:
            outputs_nan = all(b.all_nan() for b in buffers if b.role == "out")
            if not outputs_nan or not same_result(result, expected):
                self.nan_contract.append(f"{label}: returned {result!r}")
        return result

    def report(self) -> dict:
        return {
            "calls": self.calls,
            "raised": self.raised,
            "outside_writes": self.outside_writes,
            "input_writes": self.input_writes,
            "nan_contract": self.nan_contract,
        }


def same_result(result, expected) -> bool:
    if isinstance(expected, float) and math.isnan(expected):
        return isinstance(result, float) and math.isnan(result)
    return result == expected


GOOD_U = [0, 0, 0, 0, 1, 2, 3, 3, 3, 3.0]
GOOD_P = [1, -2, 3, 0.5, 4, -1.0]


def malformed_splines():
    """(name, U, P, p, ordinary): ordinary when the values are finite and sorted, so
    that only the sizes can make the case malformed."""
    U, P = np.array(GOOD_U), np.array(GOOD_P)

    def knots_with(index, value):
        changed = U.copy()
        changed[index] = value
        return changed

    def points_with(index, value):
        changed = P.copy()
        changed[index] = value
        return changed

    nan, inf = math.nan, math.inf
    return [
        ("clamped", U, P, 3, True),
        ("nan knot", knots_with(4, nan), P, 3, False),
        ("nan knots", np.full(10, nan), P, 3, False),
        ("inf knot", knots_with(5, inf), P, 3, False),
        ("-inf start", knots_with(slice(0, 4), -inf), P, 3, False),
        ("inf stop", knots_with(slice(6, 10), inf), P, 3, False),
        ("nan control point", U, points_with(2, nan), 3, False),
        ("inf control points", U, points_with(slice(0, 2), [inf, -inf]), 3, False),
        ("huge values", U * 1e308, P * 1e308, 3, False),
        ("tiny spans", U * 5e-324, P, 3, False),
        ("decreasing knots", U[::-1].copy(), P, 3, False),
        ("unsorted knots", np.array([0, 3, 0, 2, 1, 0, 3, 0, 3, 3.0]), P, 3, False),
        ("knot beyond p + 1", np.array([0, 0, 0, 0, 1, 1, 1, 1, 1, 3, 3, 3, 3.0]),
         np.arange(9.0), 3, True),
        ("start beyond p + 1", np.array([0, 0, 0, 0, 0, 0, 1, 3, 3, 3, 3.0]),
         np.arange(7.0), 3, True),
        ("unclamped knots", np.arange(10.0), P, 3, True),
        ("all knots equal", np.full(10, 2.0), P, 3, True),
        ("all knots equal, equal points", np.full(10, 2.0), np.full(6, 1.5), 3, True),
        ("n < p", np.array([0, 0, 0, 1, 1, 1.0]), np.array([1, 2.0]), 3, True),
        ("one point, degree 5", np.array([0, 0, 0, 1, 1, 1, 1.0]), np.array([1.0]), 5, True),
        ("degree 0", np.array([0, 1, 2.0]), np.array([1, 2.0]), 0, True),
        ("degree 0, one span", np.array([0, 1.0]), np.array([4.0]), 0, True),
        ("knots short", U[:8].copy(), P, 3, True),
        ("knots long", np.concatenate([U, [3, 3.0]]), P, 3, True),
        ("no knots", np.empty(0), P, 3, True),
        ("no control points", U, np.empty(0), 3, True),
        ("nothing", np.empty(0), np.empty(0), 0, True),
        ("single knot", np.array([1.0]), np.array([2.0]), 0, True),
        ("degree -1", U, P, -1, True),
        ("degree int32 min", U, P, INT32_MIN, True),
        ("degree int32 max", U, P, INT32_MAX, True),
        ("degree beyond arrays", U, P, 20, True),
    ]


def fits(U, P, p) -> bool:
    return p >= 0 and len(P) >= 1 and len(U) == len(P) + p + 1


def distinct_inside(U) -> int:
    inside = U[(U > U[0]) & (U < U[-1])] if len(U) else U
    return len(np.unique(inside))


SCALARS = [math.nan, math.inf, -math.inf, 0.0, 1.5, 3.0, -1e308, 1e308]
COUNTS = [INT32_MIN, -1, 0, 1, 2, 4, 1000, INT32_MAX]
TOLERANCES = [math.nan, -1.0, 0.0, 1e-9, math.inf]


def point_sets(U):
    finite = U[np.isfinite(U)] if len(U) else U
    low, high = (finite.min(), finite.max()) if len(finite) else (0.0, 1.0)
    return [
        ("empty", np.empty(0)),
        ("inside", np.linspace(low, high, 9)),
        ("beyond", np.linspace(low - 5, high + 5, 7)),
        ("knots", np.array(U, dtype=float)),
        ("descending", np.linspace(high, low, 6)),
        ("with nan", np.array([low, math.nan, high])),
        ("with inf", np.array([-math.inf, low, math.inf])),
    ]


def torture_evaluation(t: Torture, name, U, P, p, ordinary):
    nU, nP = len(U), len(P)
    bad = ordinary and not fits(U, P, p)
    t.call(f"{name}: distintknots", "distintknots", In(U), p,
           misfit=ordinary and p < 0, expected=0)
    for nX in around(nU - p - 1):
        t.call(f"{name}: averagcpts nX={nX}", "averagcpts", In(U), p, Out(nX),
               misfit=ordinary and (p < 0 or nX != nU - p - 1))
    for x in SCALARS:
        t.call(f"{name}: splpev x={x}", "splpev", x, In(U), In(P), p,
               misfit=bad, expected=math.nan)
    for label, X in point_sets(U):
        X = InOut(X)
        t.call(f"{name}: splcev {label}", "splcev", X, In(U), In(P), p)
        if bad and not X.all_nan():
            t.nan_contract.append(f"{name}: splcev {label}")
    for x in (math.nan, 1.5, 1e308):
        for nu in COUNTS:
            for nD in around(nu + 1):
                t.call(f"{name}: dsplpev x={x} nu={nu} nD={nD}", "dsplpev",
                       x, In(U), In(P), p, nu, Out(nD),
                       misfit=bad or (ordinary and 0 <= nu and nD < nu + 1))
    orders = [(0, 0), (0, 2), (2, 0), (-1, 1), (1, 9), (0, INT32_MAX), (INT32_MIN, 0),
              (INT32_MAX, INT32_MAX), (INT32_MIN, INT32_MAX)]
    for label, X in point_sets(U)[:4] + point_sets(U)[5:6]:
        m = len(X)
        for d1, d2 in orders:
            for rows in around(d2 - d1 + 1):
                for cols in sorted({m, capped(m - 1), m + 2}):
                    short = 0 <= d1 <= d2 and (rows < d2 - d1 + 1 or cols < m)
                    t.call(f"{name}: dsplcev {label} d={d1},{d2} D={rows}x{cols}", "dsplcev",
                           In(X), In(U), In(P), p, d1, d2, Out(cols, rows=rows),
                           misfit=bad or (ordinary and short))


def torture_knots(t: Torture, name, U, P, p, ordinary):
    nU, nP = len(U), len(P)
    bad = ordinary and not fits(U, P, p)
    knot_values = [float(v) for v in np.unique(U)[:3]]
    for u in SCALARS[:5] + knot_values:
        for r in COUNTS:
            for nUo, nPo in {(capped(nU + r), capped(nP + r)), (capped(nU + r + 1),
                             capped(nP + r)), (capped(nU + r), capped(nP + r - 1))}:
                off = nUo != nU + r or nPo != nP + r
                t.call(f"{name}: splkins u={u} r={r} sizes={nUo},{nPo}", "splkins",
                       In(U), In(P), p, u, r, Out(nUo), Out(nPo),
                       misfit=bad or (ordinary and (r < 0 or off)))
            for tol in TOLERANCES:
                t.call(f"{name}: splkrem u={u} r={r} tol={tol}", "splkrem",
                       InOut(U), InOut(P), p, u, r, tol, misfit=bad, expected=0)
            t.call(f"{name}: splkrem_notol u={u} r={r}", "splkrem_notol",
                   InOut(U), InOut(P), p, u, r, misfit=bad, expected=0)
    for tol in TOLERANCES:
        t.call(f"{name}: splksrem tol={tol}", "splksrem", InOut(U), InOut(P), p, tol,
               misfit=bad, expected=0)
    for label, X in point_sets(U):
        for dU, dP in ((0, 0), (1, 0), (0, -1)):
            nUo, nPo = capped(nU + len(X) + dU), capped(nP + len(X) + dP)
            off = nUo != nU + len(X) or nPo != nP + len(X)
            t.call(f"{name}: splkref {label} sizes={nUo},{nPo}", "splkref",
                   In(U), In(P), p, In(X), Out(nUo), Out(nPo),
                   misfit=bad or (ordinary and off))


def torture_calculus(t: Torture, name, U, P, p, ordinary):
    nU, nP = len(U), len(P)
    bad = ordinary and not fits(U, P, p)
    s = distinct_inside(U)
    for nu in COUNTS:
        for dU, dP in ((0, 0), (1, 0), (0, -1)):
            nUo, nPo = capped(nU + nu * (s + 2) + dU), capped(nP + nu * (s + 1) + dP)
            off = nUo != nU + nu * (s + 2) or nPo != nP + nu * (s + 1)
            t.call(f"{name}: degelevc nu={nu} sizes={nUo},{nPo}", "degelevc",
                   In(U), In(P), p, nu, Out(nUo), Out(nPo),
                   misfit=bad or (ordinary and nu >= 0 and off))
            nUo, nPo = capped(nU + 2 * nu + dU), capped(nP + nu + dP)
            off = nUo != nU + 2 * nu or nPo != nP + nu
            t.call(f"{name}: asplcpts nu={nu} sizes={nUo},{nPo}", "asplcpts",
                   In(U), In(P), p, nu, Out(nUo), Out(nPo),
                   misfit=bad or (ordinary and nu >= 0 and off))
            nUo, nPo = capped(nU + dU), capped(nP + dP)
            off = nUo != nU or nPo != nP
            t.call(f"{name}: dsplcpts2 nu={nu} sizes={nUo},{nPo}", "dsplcpts2",
                   In(U), In(P), p, nu, Out(nUo), Out(nPo),
                   misfit=bad or (ordinary and nu >= 0 and off), expected=0)


def as_int32(value) -> int:
    return max(INT32_MIN, min(INT32_MAX, int(value)))


def union_dims(U1, U2, p):
    values = np.unique(np.concatenate([U1, U2]))
    length = sum(max(np.count_nonzero(U1 == v), np.count_nonzero(U2 == v)) for v in values)
    return int(length) - 1, int(length) - p - 2


def torture_combination(t: Torture, name, U, P, p, ordinary):
    nU, nP = len(U), len(P)
    bad = ordinary and not fits(U, P, p)
    # Paired with the well-formed cubic, in both orders, and with itself.
    good = (np.array(GOOD_U), np.array(GOOD_P))
    for order, (U1, P1, U2, P2) in {"first": (U, P, *good), "second": (*good, U, P),
                                    "twice": (U, P, U, P)}.items():
        pair_bad = ordinary and not (fits(U1, P1, p) and fits(U2, P2, p))
        label = f"{name} ({order})"
        t.call(f"{label}: knotuniondim", "knotuniondim", In(U1), In(U2), p,
               misfit=ordinary and p < 0, expected=(0, 0))
        m, n = union_dims(U1, U2, p)
        for dm, dn in ((0, 0), (1, 0), (0, 1), (-1, -1)):
            mm, nn = as_int32(m + dm), as_int32(n + dn)
            misfit = pair_bad or (ordinary and (dm or dn))
            t.call(f"{label}: splcsum m={mm} n={nn}", "splcsum",
                   In(U1), In(P1), In(U2), In(P2), p, mm, Out(capped(mm + 1)), nn,
                   Out(capped(nn + 1)), misfit=misfit)
        for m, n in ((INT32_MAX, INT32_MAX), (INT32_MIN, -1), (-1, INT32_MIN)):
            t.call(f"{label}: splcsum m={m} n={n}", "splcsum",
                   In(U1), In(P1), In(U2), In(P2), p, m, Out(3), n, Out(3),
                   misfit=ordinary)
        nA, nB = len(P1) - 1, len(P2) - 1
        for dU, dP in ((0, 0), (1, 0), (0, -1)):
            nUj, nPj = capped(nA + nB + p + 3 + dU), capped(nA + nB + 2 + dP)
            off = nUj != nA + nB + p + 3 or nPj != nA + nB + 2
            t.call(f"{label}: splcjoin sizes={nUj},{nPj}", "splcjoin",
                   In(U1), In(P1), In(U2), In(P2), p, Out(nUj), Out(nPj),
                   misfit=pair_bad or (ordinary and off))
    n = nP - 1
    for x in SCALARS + [float(v) for v in np.unique(U)[:3]]:
        for dU, dP in ((0, 0), (1, 0), (0, -1), (-1, 0)):
            nUk, nPk = capped(n + 2 * p + 3 + dU), capped(n + p + 2 + dP)
            off = nUk != n + 2 * p + 3 or nPk != n + p + 2
            t.call(f"{name}: splcsli x={x} sizes={nUk},{nPk}", "splcsli",
                   In(U), In(P), p, x, Out(nUk), Out(nPk),
                   misfit=bad or (ordinary and off), expected=(0, 0))


def torture_conversion(t: Torture):
    """Arguments the conversions must refuse."""
    U, P = In(GOOD_U), In(GOOD_P)
    t.call("int64 degree", "splpev", 1.0, U, P, 2**31)
    t.call("float32 knots", "splpev", 1.0, np.array(GOOD_U, dtype=np.float32), P, 3)
    t.call("strided knots", "splpev", 1.0, np.array(GOOD_U * 2)[::2], P, 3)
    readonly = np.zeros(6)
    readonly.flags.writeable = False
    t.call("read-only output", "averagcpts", U, 3, readonly)
    t.call("1-D derivative table", "dsplcev", In([1.0]), U, P, 3, 0, 0, np.zeros(1))
    t.call("list of knots", "distintknots", list(GOOD_U), 3)


def torture():
    from pykesta import knotmath

    t = Torture(knotmath)
    for case in malformed_splines():
        torture_evaluation(t, *case)
        torture_knots(t, *case)
        torture_calculus(t, *case)
        torture_combination(t, *case)
    torture_conversion(t)
    print(REPORT_MARK + json.dumps(t.report()), flush=True)


@pytest.fixture(scope="module")
def child():
    """Runs the torture in a child interpreter; returns (returncode, output, report)."""
    command = [sys.executable, "-X", "faulthandler", __file__]
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=600)
    except subprocess.TimeoutExpired as expired:
        tail = (expired.stdout or b"")[-2000:].decode(errors="replace")
        pytest.fail(f"the kernels did not finish (hung?); last calls:\n{tail}")
    lines = done.stdout.splitlines()
    report = None
    if lines and lines[-1].startswith(REPORT_MARK):
        report = json.loads(lines[-1][len(REPORT_MARK) :])
    output = "\n".join(lines[-20:]) + "\n" + done.stderr[-3000:]
    return done.returncode, output, report


def test_every_kernel_survives_malformed_input(child):
    returncode, output, report = child
    assert returncode == 0, f"child exited with {returncode}; last calls:\n{output}"
    assert report is not None and report["calls"] > 5000


def test_no_kernel_writes_outside_its_arrays(child):
    _, output, report = child
    assert report is not None, output
    assert report["outside_writes"] == []


def test_no_kernel_writes_its_inputs(child):
    _, output, report = child
    assert report is not None, output
    assert report["input_writes"] == []


def test_sizes_that_do_not_fit_give_nan(child):
    _, output, report = child
    assert report is not None, output
    assert report["nan_contract"] == []


def test_only_bad_buffers_and_integers_raise(child):
    _, output, report = child
    assert report is not None, output
    # Exactly the conversion cases are refused: the rest reach the kernels.
    refused = [entry.split(":")[0] for entry in report["raised"]]
    expected = ["int64 degree", "float32 knots", "strided knots", "read-only output",
                "1-D derivative table", "list of knots"]
    assert refused == expected, report["raised"]


if __name__ == "__main__":
    torture()
