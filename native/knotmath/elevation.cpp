// Degree elevation by Bezier decomposition: every piece between two distinct
// knots is written as a Bezier segment, elevated on its own, and the segments
// are joined again from left to right by removing, at each junction, the knot
// copies the original continuity allows (exact removals, no tolerance).
#include "knotmath/checks.h"
#include "knotmath/kernels.h"
#include "knotmath/removal.h"
#include "knotmath/span.h"

#include <algorithm>
#include <vector>

namespace pykesta::knotmath {
namespace {

struct Run {
    int32_t first;
    int32_t count;
};

// The runs of equal knots of a clamped, non-decreasing vector whose interior
// multiplicities are at most p + 1 and whose domain has width; empty otherwise.
std::vector<Run> clamped_runs(const double* U, int32_t nU, int32_t p) {
    std::vector<Run> runs;
    for (int32_t first = 0; first < nU;) {
        int32_t last = first;
        while (last + 1 < nU && U[last + 1] == U[first]) ++last;
        if (last + 1 < nU && !(U[last] < U[last + 1])) return {};
        runs.push_back({first, last - first + 1});
        first = last + 1;
    }
    const auto too_many = [p](const Run& run) { return run.count > p + 1; };
    if (runs.size() < 2 || runs.front().count != p + 1 || runs.back().count != p + 1 ||
        std::any_of(runs.begin(), runs.end(), too_many))
        return {};
    return runs;
}

// Bezier points b[0 .. p] of the piece on span k: the blossom at
// (a^(p - i), b^i) with a, b the span's knots.
void bezier_points(const double* U, const double* P, int32_t p, int32_t k, double* b,
                   double* work) {
    const double left = U[k], right = U[k + 1];
    for (int32_t i = 0; i <= p; ++i) {
        const auto arg = [&](int32_t r) { return r < p - i ? left : right; };
        b[i] = blossom(U, P + (k - p), p, k, arg, work);
    }
}

// Degree p + nu form of a Bezier segment: e[i] = sum_j C(p, j) C(nu, i - j) /
// C(p + nu, i) b[j]. The weights are hypergeometric probabilities, stepped by
// their ratios so that nothing overflows for a large nu.
void elevate_bezier(const double* b, int32_t p, int32_t nu, double* e) {
    const int32_t q = p + nu;
    double lowest_weight = 1.0; // weight of j = max(0, i - nu) for the current i
    for (int32_t i = 0; i <= q; ++i) {
        const int32_t low = std::max(0, i - nu), high = std::min(p, i);
        double weight = lowest_weight, sum = 0.0;
        for (int32_t j = low; j <= high; ++j) {
            sum += weight * b[j];
            weight *= static_cast<double>(p - j) / (j + 1) * (i - j) / (nu - i + j + 1);
        }
        e[i] = sum;
        if (i == q) break;
        if (i < nu)
            lowest_weight *= static_cast<double>(nu - i) / (q - i);
        else
            lowest_weight *= static_cast<double>(p - i + nu) / (i - nu + 1) * (i + 1) / (q - i);
    }
}

// The elevated curve into Uo, Po; false when U is not clamped and sorted or the
// result does not have the expected sizes.
bool elevate(const double* U, int32_t nU, const double* P, int32_t p, int32_t nu, double* Uo,
             int32_t nUo, double* Po, int32_t nPo) {
    const std::vector<Run> runs = clamped_runs(U, nU, p);
    if (runs.empty()) return false;
    const int32_t q = p + nu;
    const std::size_t width = static_cast<std::size_t>(q) + 1;
    std::vector<double> knots(width, U[0]), points, bezier(p + 1), elevated(width), work(p + 1),
        temp(2 * width);
    knots.reserve(runs.size() * width);
    points.reserve((runs.size() - 1) * width);
    for (std::size_t j = 0; j + 1 < runs.size(); ++j) {
        const int32_t k = runs[j].first + runs[j].count - 1;
        bezier_points(U, P, p, k, bezier.data(), work.data());
        elevate_bezier(bezier.data(), p, nu, elevated.data());
        points.insert(points.end(), elevated.begin(), elevated.end());
        knots.insert(knots.end(), width, U[k + 1]);
        if (j == 0) continue;
        // Junction at the knot of run j, now q + 1 copies: back to count + nu.
        const int32_t excess = p + 1 - runs[j].count;
        const int32_t last_copy = static_cast<int32_t>(knots.size() - width) - 1;
        const int32_t n = static_cast<int32_t>(points.size()) - 1;
        const int32_t removed = remove_knot_copies(knots.data(), n, points.data(), q, last_copy,
                                                   q + 1, excess, {0.0, true}, temp.data());
        if (removed != excess) return false;
        knots.resize(knots.size() - removed);
        points.resize(points.size() - removed);
    }
    if (knots.size() != static_cast<std::size_t>(nUo) ||
        points.size() != static_cast<std::size_t>(nPo))
        return false;
    std::copy(knots.begin(), knots.end(), Uo);
    std::copy(points.begin(), points.end(), Po);
    return true;
}

} // namespace

void degelevc(const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,
              double* Uo, int32_t nUo, double* Po, int32_t nPo) {
    const auto fail = [&] {
        fill_nan(Uo, nUo);
        fill_nan(Po, nPo);
    };
    if (!is_spline(nU, nP, p) || nu < 0) return fail();
    const int64_t s = distintknots(U, nU, p);
    if (nUo != nU + int64_t{nu} * (s + 2) || nPo != nP + int64_t{nu} * (s + 1)) return fail();
    if (nu == 0) {
        std::copy_n(U, nU, Uo);
        std::copy_n(P, nP, Po);
        return;
    }
    if (!elevate(U, nU, P, p, nu, Uo, nUo, Po, nPo)) fail();
}

} // namespace pykesta::knotmath
