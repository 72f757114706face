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

#define PYKESTA_KERNELS(X)                                                                       \
    X(distintknots, int32_t, (const double* U, int32_t nU, int32_t p))                           \
    X(averagcpts, void, (const double* U, int32_t nU, int32_t p, double* X, int32_t nX))         \
    X(splpev, double,                                                                            \
      (double x, const double* U, int32_t nU, const double* P, int32_t nP, int32_t p))           \
    X(splcev, void,                                                                              \
      (double* X, int32_t m, const double* U, int32_t nU, const double* P, int32_t nP,           \
       int32_t p))                                                                               \
    X(dsplpev, void,                                                                             \
      (double x, const double* U, int32_t nU, const double* P, int32_t nP, int32_t p,            \
       int32_t nu, double* D, int32_t nD))                                                       \
    X(dsplcev, void,                                                                             \
      (const double* X, int32_t m, const double* U, int32_t nU, const double* P, int32_t nP,     \
       int32_t p, int32_t d1, int32_t d2, double* D, int32_t rows, int32_t cols))                \
    X(splkins, void,                                                                             \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, double u,            \
       int32_t r, double* Uo, int32_t nUo, double* Po, int32_t nPo))                             \
    X(splkrem, int32_t,                                                                          \
      (double* U, int32_t nU, double* P, int32_t nP, int32_t p, double u, int32_t r,             \
       double tol))                                                                              \
    X(splksrem, int32_t,                                                                         \
      (double* U, int32_t nU, double* P, int32_t nP, int32_t p, double tol))                     \
    X(splkrem_notol, int32_t,                                                                    \
      (double* U, int32_t nU, double* P, int32_t nP, int32_t p, double u, int32_t r))            \
    X(degelevc, void,                                                                            \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,          \
       double* Uo, int32_t nUo, double* Po, int32_t nPo))                                        \
    X(asplcpts, void,                                                                            \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,          \
       double* Uo, int32_t nUo, double* Po, int32_t nPo))                                        \
    X(dsplcpts2, int32_t,                                                                        \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,          \
       double* Uo, int32_t nUo, double* Po, int32_t nPo))                                        \
    X(splkref, void,                                                                             \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, const double* X,     \
       int32_t nX, double* Uo, int32_t nUo, double* Po, int32_t nPo))                            \
    X(knotuniondim, IndexPair,                                                                   \
      (const double* U1, int32_t nU1, const double* U2, int32_t nU2, int32_t p))                 \
    X(splcsum, void,                                                                             \
      (const double* U1, int32_t nU1, const double* P1, int32_t nP1, const double* U2,           \
       int32_t nU2, const double* P2, int32_t nP2, int32_t p, int32_t m, double* U, int32_t nU,  \
       int32_t n, double* P, int32_t nP))                                                        \
    X(splcjoin, void,                                                                            \
      (const double* U1, int32_t nU1, const double* P1, int32_t nP1, const double* U2,           \
       int32_t nU2, const double* P2, int32_t nP2, int32_t p, double* U, int32_t nU, double* P,  \
       int32_t nP))                                                                              \
    X(splcsli, IndexPair,                                                                        \
      (const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, double x,            \
       double* Uk, int32_t nUk, double* Pk, int32_t nPk))

#define PYKESTA_DECLARE_KERNEL(name, ret, params)                                                \
    ret name params;                                                                             \
    using name##_fn = ret(*) params;                                                             \
    inline constexpr const char name##_signature[] = #ret " " #params;

PYKESTA_KERNELS(PYKESTA_DECLARE_KERNEL)

#undef PYKESTA_DECLARE_KERNEL

} // namespace pykesta::knotmath
