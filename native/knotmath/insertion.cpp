// Knot insertion and refinement.
//
// Both come down to refine_to: the coefficient of the new basis function t is
// the blossom of the curve at the knots Ubar[t + 1 .. t + p] (de Boor-Fix),
// taken on an original span inside that function's support. Where the knot
// window Ubar[t .. t + p + 1] is an unchanged window of U the basis function
// is an old one and its control point is copied. This handles insertions at
// either end and past multiplicity p + 1 with no special case: a basis
// function of zero width takes the blossom of the nearest piece.
#include "knotmath/refinement.h"

#include "knotmath/checks.h"
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

// Number of leading knots at or below u: where u goes so that the vector stays
// sorted, after any copies of u.
int32_t insertion_point(const double* U, int32_t nU, double u) {
    int32_t i = 0;
    while (i < nU && U[i] <= u) ++i;
    return i;
}

} // namespace

void refine_to(const double* U, int32_t nU, const double* P, int32_t p, const double* Ubar,
               int32_t nUbar, double* Pbar) {
    const int32_t nbar = nUbar - p - 2;
    const Spans spans = nonempty_spans(U, nU - p - 2, p);
    // Index in U of each knot of Ubar, or -1 for an added one (copies of a value
    // are matched first come, first served).
    std::vector<int32_t> source(nUbar);
    for (int32_t t = 0, i = 0; t < nUbar; ++t) source[t] = i < nU && Ubar[t] == U[i] ? i++ : -1;
    const auto unchanged = [&](int32_t t) {
        return std::all_of(&source[t], &source[t] + p + 2, [](int32_t i) { return i >= 0; });
    };
    std::vector<double> work(p + 1);
    // The non-empty span of Ubar that decides the piece of function t: the first
    // one at or after t (inside its support when it has width), else the last
    // one before t.
    int32_t following = next_nonempty(Ubar, nUbar, 0);
    int32_t preceding = -1;
    for (int32_t t = 0; t <= nbar; ++t) {
        while (following >= 0 && following < t) {
            preceding = following;
            following = next_nonempty(Ubar, nUbar, following + 1);
        }
        if (unchanged(t)) {
            Pbar[t] = P[source[t]];
            continue;
        }
        const int32_t s = following >= 0 ? following : preceding >= 0 ? preceding : t;
        const int32_t k = find_span(U, spans, Ubar[s]);
        Pbar[t] =
            blossom(U, P + (k - p), p, k, [&](int32_t r) { return Ubar[t + 1 + r]; }, work.data());
    }
}

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
    refine_to(U, nU, P, p, Uo, nUo, Po);
}

void splkref(const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, const double* X,
             int32_t nX, double* Uo, int32_t nUo, double* Po, int32_t nPo) {
    if (!is_spline(nU, nP, p) || nX < 0 || int64_t{nUo} != int64_t{nU} + nX ||
        int64_t{nPo} != int64_t{nP} + nX) {
        fill_nan(Uo, nUo);
        return fill_nan(Po, nPo);
    }
    // Merge, each value of X after the knots at or below it.
    for (int32_t i = 0, j = 0, t = 0; t < nUo; ++t) {
        if (i < nU && (j == nX || !(X[j] < U[i])))
            Uo[t] = U[i++];
        else
            Uo[t] = X[j++];
    }
    refine_to(U, nU, P, p, Uo, nUo, Po);
}

} // namespace pykesta::knotmath
