// Number lists of the XML document: doubles written as the interpreter's
// repr() and read back with the rules of its float().
#pragma once

#include "common/pyref.h"

#include <cstdint>

namespace pykesta::curvetypes {

// The values as one str: each the interpreter's repr of the double, joined by
// single blanks.
Ref number_list_text(const double* values, int64_t count);

// The blank-separated pieces of an element's text, read as the interpreter's
// text.split(' ') and float() would read them.
class NumberList {
  public:
    // `text` must be a str; anything else (None for an element without text)
    // raises the interpreter's AttributeError for the missing `split`.
    explicit NumberList(PyObject* text);

    // Number of pieces, empty ones included (one more than the blanks).
    int64_t size() const { return size_; }

    // Converts every piece, storing the first `count` (<= size()) into `out`:
    // a malformed piece anywhere raises float()'s own ValueError.
    void convert(double* out, int64_t count) const;

  private:
    Ref text_;
    const char* utf8_ = nullptr;
    Py_ssize_t length_ = 0;
    int64_t size_ = 0;
};

} // namespace pykesta::curvetypes
