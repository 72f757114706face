// Compile-time degrees for the hot evaluation paths: the kernels are written
// once over a degree type that is either Degree<D> (D = 0 .. 5, loops unrolled,
// scratch on the stack) or a plain int32_t (any other degree).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace pykesta::knotmath {

template <int32_t D> using Degree = std::integral_constant<int32_t, D>;

// Calls f with p as a Degree<D> when it is one of the specialised degrees.
template <class F> decltype(auto) with_degree(int32_t p, F&& f) {
    switch (p) {
    case 0:
        return f(Degree<0>{});
    case 1:
        return f(Degree<1>{});
    case 2:
        return f(Degree<2>{});
    case 3:
        return f(Degree<3>{});
    case 4:
        return f(Degree<4>{});
    case 5:
        return f(Degree<5>{});
    default:
        return f(p);
    }
}

// Calls f with q, a degree not above `degree`, as a Degree<Q> when `degree` is
// a compile-time one (so that no Degree above it is instantiated), through
// with_degree otherwise.
template <int32_t D, class F> decltype(auto) with_degree_up_to(Degree<D> degree, int32_t q, F&& f) {
    if constexpr (D == 0) {
        return f(degree);
    } else {
        if (q >= D) return f(degree);
        return with_degree_up_to(Degree<D - 1>{}, q, f);
    }
}

template <class F> decltype(auto) with_degree_up_to(int32_t, int32_t q, F&& f) {
    return with_degree(q, f);
}

// p + 1 doubles of scratch: allocated once per call for a run-time degree.
template <class DegreeType> class Scratch {
  public:
    explicit Scratch(int32_t p) : values_(static_cast<std::size_t>(p) + 1) {}
    double* data() { return values_.data(); }

  private:
    std::vector<double> values_;
};

template <int32_t D> class Scratch<Degree<D>> {
  public:
    explicit Scratch(int32_t) {}
    double* data() { return values_.data(); }

  private:
    std::array<double, D + 1> values_{};
};

} // namespace pykesta::knotmath
