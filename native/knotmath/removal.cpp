// Knot removal: one value (splkrem, splkrem_notol) or every interior knot in
// turn (splksrem), each single removal bounded as in Tiller's algorithm.
#include "knotmath/removal.h"

#include "knotmath/checks.h"
#include "knotmath/kernels.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace pykesta::knotmath {

int32_t remove_knot_copies(double* U, int32_t n, double* P, int32_t p, int32_t last,
                           int32_t multiplicity, int32_t count, Tolerance tolerance, double* temp) {
    const double u = U[last];
    const int32_t m = n + p + 1;
    const int32_t order = p + 1;
    const int32_t s = multiplicity;
    count = std::min(count, s);
    // The points P[first .. end] change: computed from the left into
    // temp[1 ..] and from the right into temp[.. end + 1 - off].
    int32_t first = last - p;
    int32_t end = last - s;
    int32_t t = 0;
    for (; t < count; ++t) {
        const int32_t off = first - 1;
        if (off < 0 || end + 1 > n) break;
        temp[0] = P[off];
        temp[end + 1 - off] = P[end + 1];
        int32_t i = first, j = end, ii = 1, jj = end - off;
        while (j - i > t) {
            const double alpha_i = safe_div(u - U[i], U[i + order + t] - U[i]);
            const double alpha_j = safe_div(u - U[j - t], U[j + order] - U[j - t]);
            temp[ii] = safe_div(P[i] - (1.0 - alpha_i) * temp[ii - 1], alpha_i);
            temp[jj] = safe_div(P[j] - alpha_j * temp[jj + 1], 1.0 - alpha_j);
            ++i, ++ii, --j, --jj;
        }
        double distance;
        if (j - i < t) {
            // Even number of unknowns: the two sweeps meet in one point.
            distance = std::fabs(temp[ii - 1] - temp[jj + 1]);
        } else {
            // Odd: the point left over must lie between its two neighbours.
            const double alpha_i = safe_div(u - U[i], U[i + order + t] - U[i]);
            const double between = alpha_i * temp[ii + t + 1] + (1.0 - alpha_i) * temp[ii - 1];
            distance = std::fabs(P[i] - between);
        }
        if (!tolerance.accepts(distance)) break;
        for (i = first, j = end; j - i > t; ++i, --j) {
            P[i] = temp[i - off];
            P[j] = temp[j - off];
        }
        --first;
        ++end;
    }
    if (t == 0) return 0;
    std::copy(U + last + 1, U + m + 1, U + last + 1 - t);
    // The t points to drop sit around the middle of the changed range.
    int32_t j = (2 * last - s - p) / 2;
    int32_t i = j;
    for (int32_t k = 1; k < t; ++k) {
        if (k % 2 == 1)
            ++i;
        else
            --j;
    }
    std::copy(P + i + 1, P + n + 1, P + j);
    return t;
}

namespace {

// Removes up to `count` copies of the interior run U[first .. last] (all the
// same value); 0 for a run that reaches an end of U or holds more than p + 1
// copies. temp: the scratch of removal_scratch(p).
int32_t remove_run(double* U, int32_t nU, double* P, int32_t p, int32_t first, int32_t last,
                   int32_t count, Tolerance tolerance, double* temp) {
    const int32_t multiplicity = last - first + 1;
    if (count <= 0 || first == 0 || last == nU - 1 || multiplicity > p + 1) return 0;
    return remove_knot_copies(U, nU - p - 2, P, p, last, multiplicity, count, tolerance, temp);
}

// Scratch for remove_knot_copies, taken once per kernel call.
std::vector<double> removal_scratch(int32_t p) {
    return std::vector<double>(2 * static_cast<std::size_t>(p) + 2);
}

// Index of the last copy in the run that starts at `first`.
int32_t run_end(const double* U, int32_t nU, int32_t first) {
    int32_t last = first;
    while (last + 1 < nU && U[last + 1] == U[first]) ++last;
    return last;
}

int32_t remove_value(double* U, int32_t nU, double* P, int32_t nP, int32_t p, double u,
                     int32_t count, Tolerance tolerance) {
    if (!is_spline(nU, nP, p)) {
        fill_nan(U, nU);
        fill_nan(P, nP);
        return 0;
    }
    // The knots are increasing: the first copy of u, if any, by binary search.
    const int32_t first = static_cast<int32_t>(std::lower_bound(U, U + nU, u) - U);
    if (first == nU || U[first] != u) return 0;
    std::vector<double> temp = removal_scratch(p);
    return remove_run(U, nU, P, p, first, run_end(U, nU, first), count, tolerance, temp.data());
}

} // namespace

int32_t splkrem(double* U, int32_t nU, double* P, int32_t nP, int32_t p, double u, int32_t r,
                double tol) {
    return remove_value(U, nU, P, nP, p, u, r, {tol, false});
}

int32_t splkrem_notol(double* U, int32_t nU, double* P, int32_t nP, int32_t p, double u,
                      int32_t r) {
    return remove_value(U, nU, P, nP, p, u, r, {0.0, true});
}

// The interior knots are visited from left to right, so on a sorted vector in
// increasing order; each is removed as often as the tolerance allows before the
// next one is looked at.
int32_t splksrem(double* U, int32_t nU, double* P, int32_t nP, int32_t p, double tol) {
    if (!is_spline(nU, nP, p)) {
        fill_nan(U, nU);
        fill_nan(P, nP);
        return 0;
    }
    std::vector<double> temp = removal_scratch(p);
    int32_t removed = 0;
    int32_t size = nU;
    for (int32_t first = run_end(U, size, 0) + 1; first < size;) {
        const int32_t last = run_end(U, size, first);
        const int32_t t =
            remove_run(U, size, P, p, first, last, last - first + 1, {tol, false}, temp.data());
        removed += t;
        size -= t;
        first = last - t + 1;
    }
    return removed;
}

} // namespace pykesta::knotmath
