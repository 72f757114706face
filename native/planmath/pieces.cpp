#include "planmath/pieces.h"

#include <algorithm>

namespace pykesta::planmath {

using knotmath::safe_div;

Piece differentiate(const Piece& piece, double* b, double* c) {
    const int32_t q = piece.degree;
    if (q == 0) {
        b[0] = c[0] = 0.0;
        return {piece.left, piece.right, piece.centre, piece.half, 0, b, c};
    }
    const double width = piece.right - piece.left;
    for (int32_t j = 0; j < q; ++j) {
        b[j] = q * safe_div(piece.b[j + 1] - piece.b[j], width);
        c[j] = (j + 1) * safe_div(piece.c[j + 1], piece.half);
    }
    return {piece.left, piece.right, piece.centre, piece.half, q - 1, b, c};
}

DerivativeCoefficients::DerivativeCoefficients(const Spline& spline, int32_t nu)
    : data_(spline.P), degree_(spline.p) {
    if (nu <= 0) return;
    const int32_t n = spline.n, p = spline.p;
    const double* U = spline.U;
    if (nu > p) {
        owned_.assign(static_cast<std::size_t>(n) + 1, 0.0);
        degree_ = 0;
    } else {
        owned_.assign(spline.P, spline.P + n + 1);
        degree_ = p - nu;
        double* d = owned_.data();
        for (int32_t level = 1; level <= nu; ++level) {
            const int32_t reach = p - level + 1;
            for (int32_t i = n; i >= level; --i)
                d[i] = reach * safe_div(d[i] - d[i - 1], U[i + reach] - U[i]);
        }
    }
    data_ = owned_.data();
}

void bernstein_of_span(const double* U, const double* points, int32_t q, int32_t k, double* b,
                       double* work) {
    // De Boor's recurrence at x0 = U[k], every level kept (triangle[r][i]),
    // gives b[0]; b[j] continues level q - j with j levels at x1 = U[k + 1].
    const int32_t size = q + 1;
    double* triangle = work;
    double* weight1 = work + size * size; // the weights of x1, per level and index
    double* row = work + 2 * size * size;
    const double x0 = U[k], x1 = U[k + 1];
    std::copy_n(points, size, triangle);
    for (int32_t r = 1; r <= q; ++r) {
        for (int32_t i = q; i >= r; --i) {
            const double low = U[k - q + i], width = U[k + i + 1 - r] - low;
            const double weight0 = safe_div(x0 - low, width);
            weight1[r * size + i] = safe_div(x1 - low, width);
            triangle[r * size + i] = (1.0 - weight0) * triangle[(r - 1) * size + i - 1] +
                                     weight0 * triangle[(r - 1) * size + i];
        }
    }
    b[0] = triangle[q * size + q];
    for (int32_t j = 1; j <= q; ++j) {
        const int32_t from = q - j;
        std::copy_n(triangle + from * size + from, size - from, row + from);
        for (int32_t r = from + 1; r <= q; ++r)
            for (int32_t i = q; i >= r; --i) {
                const double weight = weight1[r * size + i];
                row[i] = (1.0 - weight) * row[i - 1] + weight * row[i];
            }
        b[j] = row[q];
    }
}

} // namespace pykesta::planmath
