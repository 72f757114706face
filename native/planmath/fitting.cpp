#include "planmath/fitting.h"

#include "planmath/basis.h"

#include <Eigen/Dense>
#include <Eigen/Eigenvalues>
#include <Eigen/SparseCholesky>

#include <algorithm>
#include <cmath>

namespace pykesta::planmath {

namespace {

// Below this fraction of its diagonal entry a pivot counts as zero.
constexpr double pivot_tolerance = 1e-12;

// A symmetric matrix of bandwidth p, lower half: entry (j + d, j) at j * (p + 1) + d.
class SymmetricBand {
  public:
    SymmetricBand(int32_t size, int32_t p)
        : size_(size), width_(p + 1), entries_(static_cast<size_t>(size) * (p + 1), 0.0) {}

    // Adds scale * b b^T for the p + 1 basis values b of the columns first .. first + p.
    void add_outer(int32_t first, const double* b, double scale) {
        for (int32_t c = 0; c < width_; ++c) {
            const double bc = scale * b[c];
            double* column = entries_.data() + static_cast<size_t>(first + c) * width_;
            for (int32_t r = c; r < width_; ++r) column[r - c] += bc * b[r];
        }
    }
    double trace() const {
        double sum = 0.0;
        for (int32_t j = 0; j < size_; ++j) sum += entries_[static_cast<size_t>(j) * width_];
        return sum;
    }
    // this += scale * other
    void add(const SymmetricBand& other, double scale) {
        for (size_t i = 0; i < entries_.size(); ++i) entries_[i] += scale * other.entries_[i];
    }
    Eigen::SparseMatrix<double> lower() const {
        Eigen::SparseMatrix<double> matrix(size_, size_);
        matrix.reserve(Eigen::VectorXi::Constant(size_, width_));
        for (int32_t j = 0; j < size_; ++j)
            for (int32_t d = 0; d < width_ && j + d < size_; ++d)
                matrix.insert(j + d, j) = entries_[static_cast<size_t>(j) * width_ + d];
        matrix.makeCompressed();
        return matrix;
    }

  private:
    int32_t size_, width_;
    std::vector<double> entries_;
};

// Gauss-Legendre nodes and weights on [-1, 1] from the eigen-decomposition of
// the Jacobi matrix of the Legendre polynomials (Golub-Welsch).
void gauss_legendre(int32_t count, Eigen::VectorXd& nodes, Eigen::VectorXd& weights) {
    Eigen::VectorXd diagonal = Eigen::VectorXd::Zero(count);
    Eigen::VectorXd off(std::max(count - 1, 0));
    for (int32_t i = 1; i < count; ++i) off[i - 1] = i / std::sqrt(4.0 * i * i - 1.0);
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver;
    solver.computeFromTridiagonal(diagonal, off, Eigen::ComputeEigenvectors);
    nodes = solver.eigenvalues();
    weights = 2.0 * solver.eigenvectors().row(0).transpose().array().square();
}

// The data part: sum of w_i^2 b(t_i) b(t_i)^T and sum of w_i^2 y_i b(t_i).
void add_samples(const FitProblem& f, SymmetricBand& normal, Eigen::VectorXd& rhs) {
    BasisEvaluator basis(f.U, f.p);
    std::vector<double> b(f.p + 1);
    for (int64_t i = 0; i < f.m; ++i) {
        const double weight = f.w ? f.w[i] * f.w[i] : 1.0;
        if (weight == 0.0) continue;
        const int32_t k = span_of(f.U, f.n, f.p, f.t[i]);
        basis.values(k, f.t[i], b.data());
        normal.add_outer(k - f.p, b.data(), weight);
        for (int32_t r = 0; r <= f.p; ++r) rhs[k - f.p + r] += weight * f.y[i] * b[r];
    }
}

// The penalty: integral of B_i^(q) B_j^(q), exact with p - q + 1 nodes per span.
SymmetricBand penalty_matrix(const FitProblem& f) {
    SymmetricBand penalty(f.n + 1, f.p);
    const int32_t q = f.penalty;
    if (q > f.p) return penalty;
    Eigen::VectorXd nodes, weights;
    gauss_legendre(f.p - q + 1, nodes, weights);
    BasisEvaluator basis(f.U, f.p);
    std::vector<double> rows((q + 1) * (f.p + 1));
    for (int32_t k = f.p; k <= f.n; ++k) {
        const double left = f.U[k], right = f.U[k + 1];
        if (!(left < right)) continue;
        const double half = 0.5 * (right - left), centre = 0.5 * (left + right);
        for (Eigen::Index g = 0; g < nodes.size(); ++g) {
            basis.derivatives(k, centre + half * nodes[g], q, rows.data());
            penalty.add_outer(k - f.p, rows.data() + q * (f.p + 1), half * weights[g]);
        }
    }
    return penalty;
}

// The constraints' rows: row i is C[i][first[i] .. first[i] + p], zero elsewhere.
struct ConstraintRows {
    std::vector<int32_t> first;
    std::vector<double> values; // (p + 1) per row
    Eigen::VectorXd d;
};

ConstraintRows constraint_rows(const FitProblem& f) {
    const auto count = static_cast<int32_t>(f.constraints.size());
    const int32_t w = f.p + 1;
    ConstraintRows rows{std::vector<int32_t>(count),
                        std::vector<double>(static_cast<size_t>(count) * w),
                        Eigen::VectorXd(count)};
    BasisEvaluator basis(f.U, f.p);
    std::vector<double> derivatives(w * w);
    for (int32_t i = 0; i < count; ++i) {
        const Condition& c = f.constraints[i];
        const int32_t k = span_of(f.U, f.n, f.p, c.t);
        basis.derivatives(k, c.t, c.nu, derivatives.data());
        rows.first[i] = k - f.p;
        std::copy_n(derivatives.data() + c.nu * w, w,
                    rows.values.data() + static_cast<size_t>(i) * w);
        rows.d[i] = c.value;
    }
    return rows;
}

// The first control point whose pivot in the factorisation vanishes, or -1.
int32_t first_free(const Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower,
                                               Eigen::NaturalOrdering<int>>& ldlt,
                   const Eigen::SparseMatrix<double>& matrix) {
    const Eigen::VectorXd diagonal = matrix.diagonal();
    const Eigen::VectorXd pivots = ldlt.vectorD();
    for (Eigen::Index j = 0; j < diagonal.size(); ++j)
        if (!(diagonal[j] > 0.0) || !(pivots[j] > pivot_tolerance * diagonal[j]))
            return static_cast<int32_t>(j);
    return -1;
}

} // namespace

// With M = normal matrix + rho C^T C (positive definite exactly when the
// minimiser is unique, and banded like it since each row of C spans p + 1
// columns), the constrained minimum solves
//   M x + C^T mu = r + rho C^T d,   C x = d,
// and eliminating x leaves the small system (C M^-1 C^T) mu = C M^-1 r' - d.
FitFailure fit_spline(const FitProblem& f, double* P) {
    const int32_t size = f.n + 1, w = f.p + 1;
    const auto count = static_cast<int32_t>(f.constraints.size());
    if (count > size) return {FitFailure::too_many_constraints};
    if (int32_t i = find_repeated(f.constraints); i >= 0) return {FitFailure::repeated, i, i + 1};

    SymmetricBand normal(size, f.p);
    Eigen::VectorXd rhs = Eigen::VectorXd::Zero(size);
    add_samples(f, normal, rhs);
    if (f.smoothing > 0.0) normal.add(penalty_matrix(f), f.smoothing);

    const ConstraintRows rows = constraint_rows(f);
    Eigen::MatrixXd Ct = Eigen::MatrixXd::Zero(size, count);
    for (int32_t i = 0; i < count; ++i)
        for (int32_t r = 0; r < w; ++r)
            Ct(rows.first[i] + r, i) = rows.values[static_cast<size_t>(i) * w + r];
    if (count > 0) {
        const double data_scale = normal.trace(), held_scale = Ct.squaredNorm();
        const double rho = data_scale > 0.0 && held_scale > 0.0 ? data_scale / held_scale : 1.0;
        for (int32_t i = 0; i < count; ++i)
            normal.add_outer(rows.first[i], rows.values.data() + static_cast<size_t>(i) * w, rho);
        rhs += rho * (Ct * rows.d);
    }

    const Eigen::SparseMatrix<double> M = normal.lower();
    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower, Eigen::NaturalOrdering<int>>
        ldlt;
    ldlt.compute(M);
    if (int32_t j = first_free(ldlt, M); j >= 0) return {FitFailure::undetermined, j};
    Eigen::VectorXd x = ldlt.solve(rhs);

    if (count > 0) {
        const Eigen::MatrixXd Y = ldlt.solve(Ct); // M^-1 C^T
        const Eigen::MatrixXd S = Ct.transpose() * Y;
        const Eigen::LDLT<Eigen::MatrixXd> schur(S);
        // Pivoting takes the largest diagonal first, so a constraint that the
        // others already fix comes last, with a vanishing pivot.
        const Eigen::VectorXd pivots = schur.vectorD();
        const double largest = pivots.cwiseAbs().maxCoeff();
        Eigen::VectorXd order = Eigen::VectorXd::LinSpaced(count, 0, count - 1);
        order = schur.transpositionsP() * order;
        for (int32_t i = 0; i < count; ++i)
            if (!(pivots[i] > pivot_tolerance * largest))
                return {FitFailure::dependent, static_cast<int32_t>(order[i])};
        const Eigen::VectorXd mu = schur.solve(Ct.transpose() * x - rows.d);
        x -= Y * mu;
    }
    std::copy_n(x.data(), size, P);
    return {};
}

} // namespace pykesta::planmath
