// Hot loops compiled twice: for the x86-64 baseline and, chosen at run time,
// for processors with AVX2 and FMA, where they take four doubles per
// instruction. flatten inlines everything the work calls into each copy, so
// both are complete: what the work calls must be visible here (inline, a
// template or in the same file).
#pragma once

namespace pykesta::knotmath {

template <class Work> [[gnu::flatten]] inline void run_baseline(Work&& work) { work(); }

#if defined(__x86_64__) && defined(__GNUC__)
template <class Work> [[gnu::flatten, gnu::target("avx2,fma")]] inline void run_avx2(Work&& work) {
    work();
}

inline bool has_avx2() {
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }();
    return supported;
}

template <class Work> void run_fastest(Work&& work) {
    if (has_avx2())
        run_avx2(work);
    else
        run_baseline(work);
}
#else
template <class Work> void run_fastest(Work&& work) { run_baseline(work); }
#endif

} // namespace pykesta::knotmath
