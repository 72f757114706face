// A square system with kl sub- and ku super-diagonals, solved by Gaussian
// elimination with partial pivoting inside the band (the row exchanges widen
// the upper band to kl + ku). Eigen offers no banded LU, and its general
// sparse LU costs several times as much on these systems.
#pragma once

#include <cstdint>
#include <vector>

namespace pykesta::planmath {

class BandedLU {
  public:
    BandedLU(int32_t size, int32_t kl, int32_t ku);

    // Entry (i, j), |i - j| within the band, of the matrix to factor.
    double& at(int32_t i, int32_t j) { return column(j)[i - j]; }

    // Factors in place; returns the first column whose pivot is below
    // `tolerance` times the largest entry of that column (the matrix is then
    // numerically singular), or -1.
    int32_t factor(double tolerance);
    // Overwrites b (size entries) with the solution.
    void solve(double* b) const;

  private:
    // The diagonal entry of column j; entries above it at negative offsets.
    double* column(int32_t j) { return band_.data() + int64_t{j} * stride_ + kl_ + ku_; }
    const double* column(int32_t j) const {
        return band_.data() + int64_t{j} * stride_ + kl_ + ku_;
    }

    int32_t size_, kl_, ku_, stride_;
    std::vector<double> band_;
    std::vector<int32_t> pivots_;
    std::vector<double> inverses_; // of the pivots
};

} // namespace pykesta::planmath
