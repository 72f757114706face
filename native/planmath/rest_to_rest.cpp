// Closed-form phase durations of the time-optimal rest-to-rest move, and the
// B-spline that integrates its piecewise-constant top derivative.
//
// Notation: D > 0 the distance, V, A, J the limits. Both profiles are
// symmetric: the second half brakes exactly as the first half speeds up, so
// the speed-up from rest to the peak velocity v lasts t_up and, its
// acceleration being symmetric about its middle, covers v t_up / 2.
#include "planmath/rest_to_rest.h"

#include <algorithm>
#include <cmath>

namespace pykesta::planmath {

namespace {

// Without a jerk limit the acceleration is +A, 0, -A.
// The speed-up to V lasts V/A and covers V^2/(2A) (so both ramps cover V^2/A):
//  - D >= V^2/A: the velocity limit is reached; ta = V/A and the cruise at V
//    covers the rest, tv = D/V - V/A;
//  - otherwise the profile is triangular with D = A ta^2, ta = sqrt(D/A).
// V * (V/A) overflows to inf only when the velocity limit is out of reach.
Phases trapezoidal(double D, double V, double A) {
    double ta = V / A;
    double tv = 0.0;
    if (D >= V * ta) {
        tv = std::fmax(D / V - ta, 0.0);
    } else {
        ta = std::sqrt(D / A);
    }
    return {2, 3, {ta, tv, ta}, {A, 0.0, -A}};
}

// With a jerk limit the jerk is +J, 0, -J (speed-up), 0 (cruise), -J, 0, +J
// (braking). Ramping the acceleration from 0 to A takes tj_a = A/J.
//
// Speed-up to V. If V >= A tj_a (i.e. V J >= A^2) the acceleration reaches A:
// tj = tj_a and the constant-acceleration stretch tc = V/A - tj_a; otherwise the
// acceleration peaks at J tj below A with V = J tj^2, tj = sqrt(V/J), tc = 0.
// It lasts t_up = 2 tj + tc and covers V t_up / 2.
//
// - D >= V t_up: the velocity limit is reached, the cruise lasts
//   tv = D/V - t_up.
// - Otherwise the peak v < V, tv = 0, and both halves of the jerk -J merge.
//   If the acceleration limit is still reached (tj = tj_a), v = A (tj + tc) and
//   D = v (2 tj + tc) = A (tj + tc)(2 tj + tc), so
//     tc^2 + 3 tj tc + 2 tj^2 - D/A = 0,
//     tc = (-3 tj + sqrt(tj^2 + 4 D/A)) / 2 = 2 (D/A - 2 tj^2) / (3 tj + sqrt(tj^2 + 4 D/A)),
//   the second form without cancellation for small tc. This needs tc >= 0,
//   i.e. D >= 2 A tj_a^2 = 2 A^3/J^2.
// - Below that the acceleration never reaches A: v = J tj^2 and
//   D = v * 2 tj = 2 J tj^3, tj = cbrt(D / (2J)), tc = 0.
// When V J < A^2 the velocity limit is met before the acceleration limit, and
// then V t_up = 2 V sqrt(V/J) < 2 A^3/J^2: a short move falls into the last case,
// so the three cases cover every distance exactly once.
Phases jerk_limited(double D, double V, double A, double J) {
    double tj_a = A / J;
    double tj = tj_a;
    double tc = 0.0;
    if (V >= A * tj_a) {
        tc = V / A - tj_a;
    } else {
        tj = std::sqrt(V / J);
    }
    double t_up = 2.0 * tj + tc;
    double tv = 0.0;
    if (D >= V * t_up) {
        tv = std::fmax(D / V - t_up, 0.0);
    } else if (D >= 2.0 * A * tj_a * tj_a) {
        tj = tj_a;
        double ratio = D / A;
        tc = std::fmax(
            2.0 * (ratio - 2.0 * tj * tj) / (3.0 * tj + std::sqrt(tj * tj + 4.0 * ratio)), 0.0);
    } else {
        tj = std::cbrt(D / (2.0 * J));
        tc = 0.0;
    }
    return {3, 7, {tj, tc, tj, tv, tj, tc, tj}, {J, 0.0, -J, 0.0, -J, 0.0, J}};
}

} // namespace

// The spline stores displacements, which near the distance D carry rounding
// of about eps |D|; its k-th derivative magnifies that by 1/T_min^k for the
// shortest phase T_min. Planning for limits a hair below those given keeps
// that rounding from showing as an excess over a limit met with equality,
// at a cost of the same 1e-11 in duration.
constexpr double limit_margin = 1.0 - 1e-11;

Phases rest_to_rest_phases(double distance, const MoveLimits& limits) {
    const double V = limits.velocity * limit_margin;
    const double A = limits.acceleration * limit_margin;
    if (limits.jerk > 0.0) return jerk_limited(distance, V, A, limits.jerk * limit_margin);
    return trapezoidal(distance, V, A);
}

namespace {

// Drops the pieces of no length and merges neighbours of equal level, in place.
// Both keep the symmetry of the phases (piece k and piece pieces-1-k last as
// long, with opposite levels).
void normalise(Phases& phases) {
    int kept = 0;
    for (int k = 0; k < phases.pieces; ++k) {
        if (!(phases.duration[k] > 0.0)) continue;
        if (kept > 0 && phases.level[k] == phases.level[kept - 1]) {
            phases.duration[kept - 1] += phases.duration[k];
            continue;
        }
        phases.duration[kept] = phases.duration[k];
        phases.level[kept] = phases.level[k];
        ++kept;
    }
    phases.pieces = kept;
}

// Boundaries 0 = b_0 < ... < b_m = T of the normalised pieces, symmetric
// about T/2 to the last bit: the first half is summed, the second mirrored
// as b_{m-i} = T - b_i. A piece whose boundaries round to the same double (in
// either half) gets length 0 and false is returned.
bool symmetric_bounds(Phases& phases, std::array<double, Phases::max_pieces + 1>& b) {
    const int m = phases.pieces;
    const int half = m / 2;
    b[0] = 0.0;
    for (int i = 1; i <= half; ++i) b[i] = b[i - 1] + phases.duration[i - 1];
    const double total = m % 2 ? 2.0 * b[half] + phases.duration[half] : 2.0 * b[half];
    for (int i = 0; i <= half; ++i) b[m - i] = total - b[i];
    bool distinct = true;
    for (int i = 1; i <= m; ++i) {
        if (!(b[i] > b[i - 1])) {
            phases.duration[i - 1] = 0.0;
            phases.duration[m - i] = 0.0;
            distinct = false;
        }
    }
    return distinct;
}

} // namespace

// The top derivative, a degree-0 spline on the pieces, is integrated `degree`
// times with the antiderivative recurrence d_i = d_{i-1} + c_{i-1} (u_{i+q} - u_i) / q
// over the clamped knots of each degree q. The first `degree` displacement
// coefficients come out exactly 0 (rest at the start). The move is odd about
// its middle, x(T - t) = D - x(t), and its knots are symmetric, so the
// coefficients satisfy c_{n-i} = D - c_i: the second half is taken from that
// rather than from the longer sums, which makes the end exactly at rest at D
// and keeps the rounding of the values near D down to one operation each.
ProfileSpline profile_spline(const Phases& input, double distance, double start) {
    ProfileSpline spline{};
    const int p = input.degree;
    spline.degree = p;

    Phases phases = input;
    phases.pieces = std::min(phases.pieces, Phases::max_pieces);
    std::array<double, Phases::max_pieces + 1> b{};
    do {
        normalise(phases);
        if (phases.pieces == 0) return spline;
    } while (!symmetric_bounds(phases, b));
    const int m = phases.pieces;
    if (!std::isfinite(b[m])) return spline;

    std::array<double, ProfileSpline::max_knots> u{};
    int nu = 0;
    for (int i = 0; i < p; ++i) u[nu++] = 0.0;
    for (int i = 0; i <= m; ++i) u[nu++] = b[i];
    for (int i = 0; i < p; ++i) u[nu++] = b[m];

    std::array<double, ProfileSpline::max_cpts> c{};
    for (int i = 0; i < m; ++i) c[i] = phases.level[i];
    for (int q = 1; q <= p; ++q) {
        // Coefficients of degree q live on u[p - q .. p + m + q]; there are m + q of them.
        double previous = c[0];
        c[0] = 0.0;
        for (int i = 1; i < m + q; ++i) {
            double current = c[i];
            c[i] = c[i - 1] + previous * (u[p + i] - u[p - q + i]) / q;
            previous = current;
        }
    }
    const int count = m + p;
    const double size = std::fabs(distance);
    for (int i = 0; i < count / 2; ++i) c[count - 1 - i] = size - c[i];
    if (count % 2) c[count / 2] = 0.5 * size;

    for (int i = 0; i < nu; ++i) {
        spline.knots[i] = u[i] + start;
        if (!std::isfinite(spline.knots[i])) return spline;
        // Interior knots must stay distinct after the shift.
        if (i > p && i < nu - p && !(spline.knots[i] > spline.knots[i - 1])) return spline;
    }
    const double sign = distance < 0.0 ? -1.0 : 1.0;
    for (int i = 0; i < count; ++i) spline.cpts[i] = sign * c[i];
    spline.knot_count = nu;
    spline.cpts_count = count;
    return spline;
}

} // namespace pykesta::planmath
