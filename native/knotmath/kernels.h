// The B-spline kernels: plain C++ over (pointer, length) pairs, no interpreter.
//
// Notation: U is a knot vector of nU = n + p + 2 doubles, P the n + 1 control
// points (nP = n + 1), p the degree. Inputs are never written unless a kernel
// says it works in place. Every kernel stays inside the arrays it is given
// whatever their contents (NaN, inf, unsorted or repeated knots, zero-width
// spans) and whatever the sizes: when the sizes do not fit together as stated
// it writes NaN into its outputs (as far as they reach) and returns 0 / NaN.
//
// PYKESTA_KERNELS lists every kernel with its return type and parameter list;
// the stringised pair is the signature text under which the module publishes
// it and against which its consumers bind it.
#pragma once

#include <cstdint>

namespace pykesta::knotmath {

// Pair of highest indices returned by knotuniondim (m, n) and splcsli (nl, nr).
struct IndexPair {
    int32_t first;
    int32_t second;
};

// The kernels (n = nP - 1; "fill" means writing the named outputs):
//
// distintknots  number of distinct knot values strictly inside (U[0], U[nU-1]).
// averagcpts    fill X (nX = nU - p - 1) with the Greville abscissae
//               (U[i+1] + ... + U[i+p]) / p; for p = 0 the midpoints of the spans.
// splpev        value at x. The span of x is the non-empty one holding it; left of
//               the domain the first, at or beyond its end the last (x == U[nU-1]
//               gives the end value). NaN for NaN x. Needs n >= p.
// splcev        overwrite the points X[0 .. m-1] with the values there. Fastest for
//               increasing points (one walk over the spans); any order is correct.
// dsplpev       fill D[k] (nD >= nu + 1) with the k-th derivative at x, k = 0 .. nu.
// dsplcev       fill D[k * cols + j] (rows >= d2 - d1 + 1, cols >= m) with the
//               derivative of order d1 + k at X[j] (fastest for increasing X, any order
//               correct). Orders above p are 0. With d1 == d2, D may be X itself.
// splkins       fill Uo (nU + r), Po (nP + r): u inserted r times, 0 <= r.
// splkref       fill Uo (nU + nX), Po (nP + nX): every value of the increasing X inserted.
// splkrem       in place: remove the interior knot u up to r times, each removal only
//               when Tiller's bound is within tol; returns t, the removals made, after
//               which U[0 .. nU-t-1] and P[0 .. nP-t-1] hold the curve.
// splksrem      as splkrem for every interior knot, from left to right, each as often
//               as tol allows; returns the total.
// splkrem_notol as splkrem with every removal accepted.
// degelevc      fill Uo (nU + nu (s + 2)), Po (nP + nu (s + 1)), s = distintknots:
//               the curve at degree p + nu, each distinct knot nu copies more.
// asplcpts      fill Uo (nU + 2 nu), Po (nP + nu): the nu-th antiderivative, 0 at U[0].
// dsplcpts2     fill Uo (nU), Po (nP) with the nu-th derivative (degree p - nu) and
//               return nk, its highest control-point index: Uo[0 .. nk + p - nu + 1],
//               Po[0 .. nk]. Interior knots above multiplicity p - nu + 1 lose the
//               extra copies with their zero-width basis functions. nu > p: the zero
//               function (Uo[0] = U[0], Uo[1] = U[nU-1], Po[0] = 0), returns 0.
// knotuniondim  {m, n} of the union of U1 and U2, each value with the larger of its two
//               multiplicities: m + 1 knots, n + 1 = m - p control points.
// splcsum       fill U (m + 1), P (n + 1), (m, n) = knotuniondim: the sum of the two
//               curves on the union of their knots.
// splcjoin      fill U (nP1 + nP2 + p + 1), P (nP1 + nP2): U1, then U2[p+1 ..] shifted
//               to continue from U1's end; P1 then P2.
// splcsli       fill Uk (n + 2p + 3), Pk (n + p + 2): the curve with x of multiplicity
//               p + 1; returns {nl, nr}: the left piece is Uk[0 .. nl+p+1], Pk[0 .. nl],
//               the right one Uk[nl+1 .. nl+nr+p+2], Pk[nl+1 .. nl+nr+1]. At the first
//               (last) knot the left (right) piece has zero length: p + 1 copies of x
//               and of the end value before (after) the curve.
#define PYKESTA_KERNELS(X)                                                                         \
    X(distintknots, int32_t, (const double* U, int32_t nU, int32_t p))                             \
    X(averagcpts, void, (const double* U, int32_t nU, int32_t p, double* X, int32_t nX))           \
    X(splpev, double,                                                                              \
      (double x, const double* U, int32_t nU, const double* P, int32_t nP, int32_t p))             \
    X(splcev, void,                                                                                \
      (double* X, int32_t m, const double* U, int32_t nU, const double* P, int32_t nP, int32_t p)) \
    X(dsplpev, void,                                                                               \
      (double x, const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,  \
       double* D, int32_t nD))                                                                     \
    X(dsplcev, void,                                                                               \
      (const double* X, int32_t m, const double* U, int32_t nU, const double* P, int32_t nP,       \
       int32_t p, int32_t d1, int32_t d2, double* D, int32_t rows, int32_t cols))                  \
    X(splkins, void,                                                                               \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, double u, int32_t r,   \
       double* Uo, int32_t nUo, double* Po, int32_t nPo))                                          \
    X(splkrem, int32_t,                                                                            \
      (double* U, int32_t nU, double* P, int32_t nP, int32_t p, double u, int32_t r, double tol))  \
    X(splksrem, int32_t, (double* U, int32_t nU, double* P, int32_t nP, int32_t p, double tol))    \
    X(splkrem_notol, int32_t,                                                                      \
      (double* U, int32_t nU, double* P, int32_t nP, int32_t p, double u, int32_t r))              \
    X(degelevc, void,                                                                              \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,            \
       double* Uo, int32_t nUo, double* Po, int32_t nPo))                                          \
    X(asplcpts, void,                                                                              \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,            \
       double* Uo, int32_t nUo, double* Po, int32_t nPo))                                          \
    X(dsplcpts2, int32_t,                                                                          \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,            \
       double* Uo, int32_t nUo, double* Po, int32_t nPo))                                          \
    X(splkref, void,                                                                               \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, const double* X,       \
       int32_t nX, double* Uo, int32_t nUo, double* Po, int32_t nPo))                              \
    X(knotuniondim, IndexPair,                                                                     \
      (const double* U1, int32_t nU1, const double* U2, int32_t nU2, int32_t p))                   \
    X(splcsum, void,                                                                               \
      (const double* U1, int32_t nU1, const double* P1, int32_t nP1, const double* U2,             \
       int32_t nU2, const double* P2, int32_t nP2, int32_t p, int32_t m, double* U, int32_t nU,    \
       int32_t n, double* P, int32_t nP))                                                          \
    X(splcjoin, void,                                                                              \
      (const double* U1, int32_t nU1, const double* P1, int32_t nP1, const double* U2,             \
       int32_t nU2, const double* P2, int32_t nP2, int32_t p, double* U, int32_t nU, double* P,    \
       int32_t nP))                                                                                \
    X(splcsli, IndexPair,                                                                          \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, double x, double* Uk,  \
       int32_t nUk, double* Pk, int32_t nPk))

#define PYKESTA_DECLARE_KERNEL(name, ret, params)                                                  \
    ret name params;                                                                               \
    using name##_fn = ret(*) params;                                                               \
    inline constexpr const char name##_signature[] = #ret " " #params;

PYKESTA_KERNELS(PYKESTA_DECLARE_KERNEL)

#undef PYKESTA_DECLARE_KERNEL

} // namespace pykesta::knotmath
