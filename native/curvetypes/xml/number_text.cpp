#include "curvetypes/xml/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

namespace pykesta::curvetypes {

// The longest repr of a double: "-2.2250738585072014e-308".
static constexpr int64_t max_text_length = 24;

static char* write_zeros(char* out, int count) {
    for (int i = 0; i < count; ++i) *out++ = '0';
    return out;
}

// Writes the interpreter's repr of a finite `x` at `out`; returns the end.
// std::to_chars gives the shortest digits that read back as `x`; the layout
// around them follows the interpreter: positional notation while the decimal
// exponent lies in [-4, 16), always with a point; otherwise d[.ddd]e±XX.
static char* write_finite(char* out, double x) {
    char scientific[32]; // always enough: at most 24 characters
    const char* last =
        std::to_chars(scientific, scientific + sizeof scientific, x, std::chars_format::scientific)
            .ptr;
    const char* p = scientific;
    if (*p == '-') *out++ = *p++;
    char digits[17];
    int count = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits[count++] = *p;
    bool negative_exponent = p[1] == '-';
    int exponent = 0;
    std::from_chars(p + 2, last, exponent);
    if (negative_exponent) exponent = -exponent;

    int point = exponent + 1; // the value is 0.<digits> times ten to `point`
    if (point > -4 && point <= 16) {
        if (point <= 0) {
            *out++ = '0';
            *out++ = '.';
            out = write_zeros(out, -point);
            std::memcpy(out, digits, count);
            return out + count;
        }
        if (point >= count) {
            std::memcpy(out, digits, count);
            out = write_zeros(out + count, point - count);
            *out++ = '.';
            *out++ = '0';
            return out;
        }
        std::memcpy(out, digits, point);
        out += point;
        *out++ = '.';
        std::memcpy(out, digits + point, count - point);
        return out + (count - point);
    }
    *out++ = digits[0];
    if (count > 1) {
        *out++ = '.';
        std::memcpy(out, digits + 1, count - 1);
        out += count - 1;
    }
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) *out++ = '0';
    return std::to_chars(out, out + 3, magnitude).ptr;
}

static char* write_double(char* out, double x) {
    if (std::isfinite(x)) return write_finite(out, x);
    const char* text = std::isnan(x) ? "nan" : x < 0 ? "-inf" : "inf"; // no sign for a NaN
    std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
}

Ref number_list_text(const double* values, int64_t count) {
    auto text = std::make_unique_for_overwrite<char[]>(count * (max_text_length + 1) + 1);
    char* out = text.get();
    for (int64_t i = 0; i < count; ++i) {
        if (i > 0) *out++ = ' ';
        out = write_double(out, values[i]);
    }
    Py_ssize_t length = out - text.get();
    Ref result = Ref::steal(PyUnicode_New(length, 127));
    std::memcpy(PyUnicode_DATA(result.get()), text.get(), length);
    return result;
}

// ---- reading ------------------------------------------------------------------

NumberList::NumberList(PyObject* text) {
    // The interpreter's own error for text.split on a non-text (None).
    if (!PyUnicode_Check(text)) Ref::steal(PyObject_GetAttrString(text, "split"));
    text_ = Ref::borrow(text);
    utf8_ = check(PyUnicode_AsUTF8AndSize(text, &length_));
    size_ = 1;
    for (const char* p = utf8_;
         (p = static_cast<const char*>(std::memchr(p, ' ', utf8_ + length_ - p))) != nullptr; ++p)
        ++size_;
}

// Reads a piece in the common form [-]digits[.digits][e±digits] when
// std::from_chars takes it whole and in range; false for anything else.
static bool read_plain(const char* first, const char* last, double& value) {
    const char* p = first;
    if (p != last && *p == '-') ++p;
    if (p == last || !((*p >= '0' && *p <= '9') || *p == '.')) return false;
    auto [end, status] = std::from_chars(first, last, value);
    return status == std::errc{} && end == last;
}

// Everything else goes to the interpreter's float(), so that its accepted
// syntax (blanks other than U+0020, underscores, "Infinity", non-ASCII
// digits, ...), its overflow to inf and its error texts are kept.
static double read_with_float(const char* first, const char* last) {
    Ref piece = Ref::steal(PyUnicode_DecodeUTF8(first, last - first, nullptr));
    Ref number = Ref::steal(PyFloat_FromString(piece.get()));
    return PyFloat_AS_DOUBLE(number.get());
}

void NumberList::convert(double* out, int64_t count) const {
    const char* end = utf8_ + length_;
    const char* first = utf8_;
    for (int64_t i = 0;; ++i) {
        const char* blank = static_cast<const char*>(std::memchr(first, ' ', end - first));
        const char* last = blank ? blank : end;
        double value;
        if (!read_plain(first, last, value)) value = read_with_float(first, last);
        if (i < count) out[i] = value;
        if (blank == nullptr) return;
        first = blank + 1;
    }
}

} // namespace pykesta::curvetypes
