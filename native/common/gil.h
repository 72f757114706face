// Running native work without the interpreter lock.
#pragma once

#include <Python.h>

namespace pykesta {

// Releases the interpreter lock for its scope (taken back also when the scope
// is left by an exception). Nothing inside may touch interpreter objects.
class WithoutInterpreterLock {
  public:
    WithoutInterpreterLock() : thread_(PyEval_SaveThread()) {}
    ~WithoutInterpreterLock() { PyEval_RestoreThread(thread_); }
    WithoutInterpreterLock(const WithoutInterpreterLock&) = delete;
    WithoutInterpreterLock& operator=(const WithoutInterpreterLock&) = delete;

  private:
    PyThreadState* thread_;
};

// Runs `work` with the interpreter lock released when `release` is true, in
// place otherwise.
template <class F> inline void run_without_gil_if(bool release, F&& work) {
    if (!release) {
        work();
        return;
    }
    WithoutInterpreterLock unlocked;
    work();
}

} // namespace pykesta
