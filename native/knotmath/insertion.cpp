// Knot insertion and refinement.
//
// Both come down to refine_to: the coefficient of the new basis function t is
// the blossom of the curve at the knots Ubar[t + 1 .. t + p] (de Boor-Fix),
// taken on an original span inside that function's support. Where the knot
// window Ubar[t .. t + p + 1] holds none of the added knots the basis function
// is an old one and its control point is copied, a whole stretch at a time.
// This handles insertions at either end and past multiplicity p + 1 with no
// special case: a basis function of zero width takes the blossom of the
// nearest piece.
#include "knotmath/refinement.h"

#include "knotmath/checks.h"
#include "knotmath/degree.h"
#include "knotmath/kernels.h"
#include "knotmath/span.h"

#include <algorithm>
#include <vector>

namespace pykesta::knotmath {
namespace {

bool is_nonempty(const double* U, int32_t s) { return U[s] < U[s + 1]; }

// Next non-empty span of Ubar at or after `from`, -1 when there is none.
int32_t next_nonempty(const double* Ubar, int32_t nUbar, int32_t from) {
    for (int32_t s = from; s + 1 < nUbar; ++s)
        if (is_nonempty(Ubar, s)) return s;
    return -1;
}

// Last non-empty span of Ubar, -1 when there is none.
int32_t last_nonempty(const double* Ubar, int32_t nUbar) {
    int32_t s = nUbar - 2;
    while (s >= 0 && !is_nonempty(Ubar, s)) --s;
    return s;
}

// Number of leading knots at or below u (U increasing): where u goes so that
// the vector stays sorted, after any copies of u. None for NaN.
int32_t insertion_point(const double* U, int32_t nU, double u) {
    if (u != u) return 0;
    return static_cast<int32_t>(std::upper_bound(U, U + nU, u) - U);
}

// Control points of the basis functions t in [from, to] of Ubar, each from the
// blossom of U's piece on the non-empty span of Ubar that decides it: the
// first one at or after t (inside its support when it has width), else the
// last one. `following` carries the first of them from call to call.
struct Blossoms {
    const double* U;
    const double* P;
    int32_t p;
    const double* Ubar;
    int32_t nUbar;
    Spans spans;
    int32_t last;
    int32_t following;

    void fill(int32_t from, int32_t to, double* Pbar) {
        with_degree(p, [&](auto degree) {
            Scratch<decltype(degree)> work(p);
            for (int32_t t = from; t <= to; ++t) {
                if (following >= 0 && following < t) following = next_nonempty(Ubar, nUbar, t);
                const int32_t s = following >= 0 ? following : last >= 0 ? last : t;
                const int32_t k = find_span(U, spans, Ubar[s]);
                Pbar[t] = blossom(
                    U, P + (k - p), degree, k, [&](int32_t r) { return Ubar[t + 1 + r]; },
                    work.data());
            }
        });
    }
};

} // namespace

std::vector<int32_t> added_positions(const double* U, int32_t nU, const double* Ubar,
                                     int32_t nUbar) {
    std::vector<int32_t> added;
    added.reserve(std::max(0, nUbar - nU));
    for (int32_t t = 0, i = 0; t < nUbar; ++t) {
        // Copies of a value are matched first come, first served; once as many
        // knots of Ubar are left as of U, the rest are matched whatever they hold.
        const bool matched = i < nU && (Ubar[t] == U[i] || nUbar - t <= nU - i);
        if (matched)
            ++i;
        else
            added.push_back(t);
    }
    return added;
}

void refine_to(const double* U, int32_t nU, const double* P, int32_t p, const double* Ubar,
               int32_t nUbar, const int32_t* added, int32_t nadded, double* Pbar) {
    const int32_t nbar = nUbar - p - 2;
    if (int64_t{nadded} != int64_t{nUbar} - nU) return fill_nan(Pbar, nbar + 1);
    Blossoms blossoms{U,
                      P,
                      p,
                      Ubar,
                      nUbar,
                      nonempty_spans(U, nU - p - 2, p),
                      last_nonempty(Ubar, nUbar),
                      next_nonempty(Ubar, nUbar, 0)};
    // Stretches of old basis functions, copied with the offset of the knots
    // added before them, alternate with those whose window holds an added knot
    // (from p + 1 before it up to the knot itself).
    int32_t t = 0;
    for (int32_t j = 0; t <= nbar;) {
        const int32_t changed = j < nadded ? std::clamp(added[j] - p - 1, t, nbar + 1) : nbar + 1;
        std::copy(P + (t - j), P + (changed - j), Pbar + t);
        t = changed;
        if (j == nadded) break;
        int32_t through = added[j++];
        while (j < nadded && added[j] - p - 1 <= through + 1) through = added[j++];
        through = std::min(through, nbar);
        blossoms.fill(t, through, Pbar);
        t = std::max(t, through + 1);
    }
}

namespace {

// Boehm's insertion of u r times into the span k (U[k] <= u < U[k+1], p <= k <= n)
// where u has s copies and s + r <= p: the points up to k - p and from k - s on
// are copied, the p - s + r - 1 between them come from r levels of one
// recurrence over R (p - s + 1 doubles).
void insert_in_span(const double* U, const double* P, int32_t nP, int32_t p, double u, int32_t r,
                    int32_t k, int32_t s, double* Po, double* R) {
    std::copy(P, P + (k - p + 1), Po);
    std::copy(P + (k - s), P + nP, Po + (k - s + r));
    std::copy(P + (k - p), P + (k - s + 1), R);
    int32_t L = k - p;
    for (int32_t j = 1; j <= r; ++j) {
        L = k - p + j;
        for (int32_t i = 0; i <= p - j - s; ++i) {
            const double alpha = safe_div(u - U[L + i], U[i + k + 1] - U[L + i]);
            R[i] = alpha * R[i + 1] + (1.0 - alpha) * R[i];
        }
        Po[L] = R[0];
        Po[k + r - j - s] = R[p - j - s];
    }
    for (int32_t i = L + 1; i < k - s; ++i) Po[i] = R[i - L];
}

} // namespace

void splkins(const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, double u,
             int32_t r, double* Uo, int32_t nUo, double* Po, int32_t nPo) {
    if (!is_spline(nU, nP, p) || r < 0 || int64_t{nUo} != int64_t{nU} + r ||
        int64_t{nPo} != int64_t{nP} + r) {
        fill_nan(Uo, nUo);
        return fill_nan(Po, nPo);
    }
    const int32_t at = insertion_point(U, nU, u);
    std::copy_n(U, at, Uo);
    std::fill_n(Uo + at, r, u);
    std::copy(U + at, U + nU, Uo + at + r);
    const int32_t k = at - 1;
    int32_t s = 0;
    while (s <= k && U[k - s] == u) ++s;
    if (r > 0 && k >= p && k < nP && s + r <= p) {
        return with_degree(p, [&](auto degree) {
            Scratch<decltype(degree)> R(p);
            insert_in_span(U, P, nP, p, u, r, k, s, Po, R.data());
        });
    }
    // At an end of the domain, past multiplicity p, or nothing to insert: the
    // general refinement.
    std::vector<int32_t> added(r);
    for (int32_t c = 0; c < r; ++c) added[c] = at + c;
    refine_to(U, nU, P, p, Uo, nUo, added.data(), r, Po);
}

void splkref(const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, const double* X,
             int32_t nX, double* Uo, int32_t nUo, double* Po, int32_t nPo) {
    if (!is_spline(nU, nP, p) || nX < 0 || int64_t{nUo} != int64_t{nU} + nX ||
        int64_t{nPo} != int64_t{nP} + nX) {
        fill_nan(Uo, nUo);
        return fill_nan(Po, nPo);
    }
    // Merge, each value of X after the knots at or below it, the knots between
    // two values copied as one block.
    std::vector<int32_t> added(nX);
    int32_t i = 0;
    for (int32_t j = 0; j < nX; ++j) {
        // NaN goes after every knot.
        const int32_t end = X[j] != X[j] ? nU : i + insertion_point(U + i, nU - i, X[j]);
        std::copy(U + i, U + end, Uo + i + j);
        i = end;
        added[j] = i + j;
        Uo[i + j] = X[j];
    }
    std::copy(U + i, U + nU, Uo + i + nX);
    refine_to(U, nU, P, p, Uo, nUo, added.data(), nX, Po);
}

} // namespace pykesta::knotmath
