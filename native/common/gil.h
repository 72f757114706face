// Running native work without the interpreter lock.
#pragma once

#include <Python.h>

namespace pykesta {

// Runs `work` with the interpreter lock released when `release` is true (the
// work must not touch interpreter objects), in place otherwise.
template <class F> inline void run_without_gil_if(bool release, F&& work) {
    if (!release) {
        work();
        return;
    }
    struct Unlocked {
        PyThreadState* state = PyEval_SaveThread();
        ~Unlocked() { PyEval_RestoreThread(state); } // also when `work` throws
    } unlocked;
    work();
}

} // namespace pykesta
