// Kernels that combine or cut splines: knot union, sum, join and slice.
#include "knotmath/checks.h"
#include "knotmath/kernels.h"
#include "knotmath/refinement.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace pykesta::knotmath {
namespace {

// Leading copies of v from U[from]: at least 1 when `own` (v is U[from] itself).
int32_t copies_at(const double* U, int32_t nU, int32_t from, double v, bool own) {
    int32_t count = own ? 1 : 0;
    while (from + count < nU && U[from + count] == v) ++count;
    return count;
}

// Calls emit(value, copies) for each value of the union of two sorted knot
// vectors, in order, with the larger of its two multiplicities. Every step
// consumes at least one knot, whatever the values (NaN included).
template <class Emit>
void for_each_union_run(const double* U1, int32_t nU1, const double* U2, int32_t nU2, Emit&& emit) {
    for (int32_t i = 0, j = 0; i < nU1 || j < nU2;) {
        const bool from_first = j == nU2 || (i < nU1 && !(U2[j] < U1[i]));
        const double v = from_first ? U1[i] : U2[j];
        const int32_t c1 = copies_at(U1, nU1, i, v, from_first);
        const int32_t c2 = copies_at(U2, nU2, j, v, !from_first);
        emit(v, std::max(c1, c2));
        i += c1;
        j += c2;
    }
}

int64_t union_length(const double* U1, int32_t nU1, const double* U2, int32_t nU2) {
    int64_t length = 0;
    for_each_union_run(U1, nU1, U2, nU2, [&](double, int32_t copies) { length += copies; });
    return length;
}

} // namespace

IndexPair knotuniondim(const double* U1, int32_t nU1, const double* U2, int32_t nU2, int32_t p) {
    if (p < 0 || nU1 < 1 || nU2 < 1) return {0, 0};
    const int64_t length = union_length(U1, nU1, U2, nU2);
    if (length - 1 > INT32_MAX) return {0, 0};
    const auto m = static_cast<int32_t>(length - 1);
    return {m, m - p - 1};
}

void splcsum(const double* U1, int32_t nU1, const double* P1, int32_t nP1, const double* U2,
             int32_t nU2, const double* P2, int32_t nP2, int32_t p, int32_t m, double* U,
             int32_t nU, int32_t n, double* P, int32_t nP) {
    const IndexPair dims = knotuniondim(U1, nU1, U2, nU2, p);
    if (!is_spline(nU1, nP1, p) || !is_spline(nU2, nP2, p) || dims.first != m || dims.second != n ||
        int64_t{nU} != int64_t{m} + 1 || int64_t{nP} != int64_t{n} + 1 || nP < 1) {
        fill_nan(U, nU);
        return fill_nan(P, nP);
    }
    // The union is walked a second time: bounded by nU, not by its first length.
    int32_t size = 0;
    for_each_union_run(U1, nU1, U2, nU2, [&](double v, int32_t copies) {
        for (int32_t c = 0; c < copies && size < nU; ++c) U[size++] = v;
    });
    std::fill(U + size, U + nU, U[size - 1]);
    const std::vector<int32_t> added1 = added_positions(U1, nU1, U, nU);
    refine_to(U1, nU1, P1, p, U, nU, added1.data(), static_cast<int32_t>(added1.size()), P);
    const std::vector<int32_t> added2 = added_positions(U2, nU2, U, nU);
    std::vector<double> second(nP);
    refine_to(U2, nU2, P2, p, U, nU, added2.data(), static_cast<int32_t>(added2.size()),
              second.data());
    for (int32_t i = 0; i < nP; ++i) P[i] += second[i];
}

void splcjoin(const double* U1, int32_t nU1, const double* P1, int32_t nP1, const double* U2,
              int32_t nU2, const double* P2, int32_t nP2, int32_t p, double* U, int32_t nU,
              double* P, int32_t nP) {
    if (!sizes_fit(nU1, nP1, p) || !sizes_fit(nU2, nP2, p) ||
        int64_t{nU} != int64_t{nP1} + nP2 + p + 1 || int64_t{nP} != int64_t{nP1} + nP2) {
        fill_nan(U, nU);
        return fill_nan(P, nP);
    }
    // The second curve's knots, without its first p + 1, continue where the first ends.
    const double shift = U1[nU1 - 1] - U2[0];
    std::copy_n(U1, nU1, U);
    std::transform(U2 + p + 1, U2 + nU2, U + nU1, [shift](double u) { return u + shift; });
    std::copy_n(P1, nP1, P);
    std::copy_n(P2, nP2, P + nP1);
}

IndexPair splcsli(const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, double x,
                  double* Uk, int32_t nUk, double* Pk, int32_t nPk) {
    const auto fail = [&] {
        fill_nan(Uk, nUk);
        fill_nan(Pk, nPk);
        return IndexPair{0, 0};
    };
    if (!is_spline(nU, nP, p) || int64_t{nUk} != int64_t{nU} + p + 1 ||
        int64_t{nPk} != int64_t{nP} + p + 1)
        return fail();
    const int32_t n = nP - 1;
    if (!(U[0] <= x && x <= U[nU - 1])) return fail();
    if (x == U[0] || x == U[nU - 1]) {
        // One piece of zero length: p + 1 copies of x and of the value there,
        // before the curve at the start and after it at the end.
        const double value = splpev(x, U, nU, P, nP, p);
        const bool at_start = x == U[0];
        std::copy_n(U, nU, Uk + (at_start ? p + 1 : 0));
        std::fill_n(Uk + (at_start ? 0 : nU), p + 1, x);
        std::copy_n(P, nP, Pk + (at_start ? p + 1 : 0));
        std::fill_n(Pk + (at_start ? 0 : nP), p + 1, value);
        return at_start ? IndexPair{p, n} : IndexPair{n, p};
    }
    // Interior: raise x's multiplicity to p + 1 (U[0] < x, so the run of x
    // starts at index 1 or later).
    int32_t after = 0;
    while (after < nU && U[after] <= x) ++after;
    int32_t first = after;
    while (first > 0 && U[first - 1] == x) --first;
    const int32_t added = std::max(0, p + 1 - (after - first));
    std::copy_n(U, after, Uk);
    std::fill_n(Uk + after, added, x);
    std::copy(U + after, U + nU, Uk + after + added);
    std::vector<int32_t> positions(added);
    for (int32_t c = 0; c < added; ++c) positions[c] = after + c;
    refine_to(U, nU, P, p, Uk, nU + added, positions.data(), added, Pk);
    const int32_t nl = first - 1;
    return {nl, nP + added - nl - 2};
}

} // namespace pykesta::knotmath
