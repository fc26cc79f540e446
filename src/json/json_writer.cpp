#include "json/json_writer.hpp"

#include "json/utf8.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace voralix {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// The escape of a byte below 0x80, or 0 when it is written as it is.
char short_escape(unsigned char c)
{
    switch (c) {
    case '"': return '"';
    case '\\': return '\\';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    case '\b': return 'b';
    case '\f': return 'f';
    default: return 0;
    }
}

bool needs_escape(unsigned char c)
{
    return c < 0x20 || c == '"' || c == '\\';
}

void unicode_escape(std::string& out, unsigned code)
{
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
}

void escape_byte(std::string& out, unsigned char c)
{
    if (char e = short_escape(c)) {
        out += '\\';
        out += e;
    } else {
        unicode_escape(out, c);
    }
}

// Appends bytes, escaping only what JSON requires (bytes >= 0x80 pass);
// returns whether any byte was outside ASCII.
bool escape_bytes(std::string& out, const char* p, std::size_t n)
{
    std::size_t run = 0;
    unsigned char all = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        all |= c;
        if (!needs_escape(c)) continue;
        out.append(p + run, i - run);
        escape_byte(out, c);
        run = i + 1;
    }
    out.append(p + run, n - run);
    return (all & 0x80) != 0;
}

// The digits of a non-negative int too large for 64 bits: its bytes in
// 32-bit limbs, divided down by 10**9 (checking for signals: the work grows
// with the square of the length).
bool append_big_magnitude(std::string& out, PyObject* magnitude, InterruptCheck& tick)
{
    const int flags = Py_ASNATIVEBYTES_LITTLE_ENDIAN | Py_ASNATIVEBYTES_UNSIGNED_BUFFER;
    const Py_ssize_t size = PyLong_AsNativeBytes(magnitude, nullptr, 0, flags);
    if (size < 0) return false;
    std::vector<std::uint32_t> limbs((static_cast<std::size_t>(size) + 3) / 4, 0);
    if (PyLong_AsNativeBytes(magnitude, limbs.data(), static_cast<Py_ssize_t>(limbs.size() * 4),
                             flags) < 0) {
        return false;
    }
    while (!limbs.empty() && limbs.back() == 0) limbs.pop_back();
    std::vector<std::uint32_t> chunks; // base 10**9, least significant first
    while (!limbs.empty()) {
        std::uint64_t rem = 0;
        for (std::size_t i = limbs.size(); i-- > 0;) {
            const std::uint64_t cur = (rem << 32) | limbs[i];
            limbs[i] = static_cast<std::uint32_t>(cur / 1000000000u);
            rem = cur % 1000000000u;
        }
        chunks.push_back(static_cast<std::uint32_t>(rem));
        while (!limbs.empty() && limbs.back() == 0) limbs.pop_back();
        if (!tick.tick(static_cast<std::uint32_t>(limbs.size()))) return false;
    }
    char buf[16];
    for (std::size_t i = chunks.size(); i-- > 0;) {
        auto r = std::to_chars(buf, buf + sizeof buf, chunks[i]);
        const auto len = static_cast<std::size_t>(r.ptr - buf);
        if (i + 1 != chunks.size()) out.append(9 - len, '0');
        out.append(buf, len);
    }
    return true;
}

// One open container on the writer's stack.
struct Frame {
    Ref container;
    Ref key;             // dict: the key whose value is being written
    Py_ssize_t pos = 0;  // dict: PyDict_Next position; list: next index
    Py_ssize_t size = 0; // dict: its size when opened
    bool is_dict = false;
    bool first = true;
};

// Containers on the stack, to refuse a value that contains itself. The first
// frames are scanned; deeper ones are looked up in a set.
class OpenSet {
public:
    static constexpr std::size_t kScanned = 16;
    bool contains(const std::vector<Frame>& stack, PyObject* o) const
    {
        const std::size_t n = stack.size() < kScanned ? stack.size() : kScanned;
        for (std::size_t i = 0; i < n; ++i) {
            if (stack[i].container.get() == o) return true;
        }
        return deep_.count(o) != 0;
    }
    void opened(std::size_t depth, PyObject* o)
    {
        if (depth >= kScanned) deep_.insert(o);
    }
    void closed(std::size_t depth, PyObject* o)
    {
        if (depth >= kScanned) deep_.erase(o);
    }

private:
    std::unordered_set<PyObject*> deep_;
};

// The subscripts leading to the value being written in the top frame
// (or, with `include_top` false, to the top frame's container).
bool describe_path(const std::vector<Frame>& stack, bool include_top, std::string& path)
{
    const std::size_t n = include_top ? stack.size() : stack.size() - 1;
    for (std::size_t i = 0; i < n; ++i) {
        const Frame& f = stack[i];
        path += '[';
        if (f.is_dict) {
            Ref r = Ref::steal(PyObject_Repr(f.key.get()));
            if (!r) return false;
            const char* text = PyUnicode_AsUTF8(r.get());
            if (text == nullptr) return false;
            path += text;
        } else {
            path += std::to_string(f.pos - 1);
        }
        path += ']';
    }
    return true;
}

// "is a tuple", "is an OrderedDict", or "has a key of class int (3)".
bool describe_class(PyObject* o, const char* prefix, bool with_repr, std::string& what)
{
    what = prefix;
    Ref name = Ref::steal(PyType_GetName(Py_TYPE(o)));
    if (!name) return false;
    const char* text = PyUnicode_AsUTF8(name.get());
    if (text == nullptr) return false;
    if (!with_repr) what += std::strchr("aeiouAEIOU", text[0]) != nullptr ? "an " : "a ";
    what += text;
    if (!with_repr) return true;
    Ref r = Ref::steal(PyObject_Repr(o));
    if (!r) return false;
    const char* rtext = PyUnicode_AsUTF8(r.get());
    if (rtext == nullptr) return false;
    std::string_view shown(rtext);
    what += " (";
    what += shown.substr(0, 60);
    if (shown.size() > 60) what += "...";
    what += ')';
    return true;
}

} // namespace

void JsonWriter::string(std::string_view utf8)
{
    out_ += '"';
    if (escape_bytes(out_, utf8.data(), utf8.size())) ascii_ = false;
    out_ += '"';
}

void JsonWriter::string(PyObject* str)
{
    const Py_ssize_t n = PyUnicode_GET_LENGTH(str);
    const void* data = PyUnicode_DATA(str);
    out_ += '"';
    if (PyUnicode_IS_ASCII(str)) {
        escape_bytes(out_, static_cast<const char*>(data), static_cast<std::size_t>(n));
    } else {
        ascii_ = false;
        const int kind = PyUnicode_KIND(str);
        for (Py_ssize_t i = 0; i < n; ++i) {
            const Py_UCS4 c = PyUnicode_READ(kind, data, i);
            if (c < 0x80) {
                if (needs_escape(static_cast<unsigned char>(c))) {
                    escape_byte(out_, static_cast<unsigned char>(c));
                } else {
                    out_ += static_cast<char>(c);
                }
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                unicode_escape(out_, c); // a lone surrogate has no UTF-8 form
            } else {
                append_utf8(out_, c);
            }
        }
    }
    out_ += '"';
}

void JsonWriter::integer(std::uint64_t v)
{
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

bool JsonWriter::python_int(PyObject* v)
{
    int overflow = 0;
    const long long small = PyLong_AsLongLongAndOverflow(v, &overflow);
    if (overflow == 0) {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, small);
        out_.append(buf, static_cast<std::size_t>(r.ptr - buf));
        return true;
    }
    Ref magnitude = Ref::steal(PyNumber_Absolute(v));
    if (!magnitude) return false;
    if (overflow < 0) out_ += '-';
    return append_big_magnitude(out_, magnitude.get(), tick_);
}

bool JsonWriter::python_float(PyObject* v, Unwritable& why)
{
    const double d = PyFloat_AS_DOUBLE(v);
    if (!std::isfinite(d)) {
        why.what =
            std::isnan(d) ? "is the float nan" : (d > 0 ? "is the float inf" : "is the float -inf");
        return false;
    }
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    const std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
    out_ += text;
    // Keep the float a float when read back: 1.0, not 1.
    if (text.find_first_of(".e") == std::string_view::npos) out_ += ".0";
    return true;
}

bool JsonWriter::value(PyObject* top, Unwritable& why)
{
    std::vector<Frame> stack;
    OpenSet open;

    // Writes a scalar, or opens a container; false when `v` has no JSON form.
    auto emit = [&](PyObject* v, bool is_top) -> bool {
        if (v == Py_None) {
            out_ += "null";
        } else if (v == Py_True) {
            out_ += "true";
        } else if (v == Py_False) {
            out_ += "false";
        } else if (PyLong_CheckExact(v)) {
            if (!python_int(v)) return false;
        } else if (PyFloat_CheckExact(v)) {
            return python_float(v, why);
        } else if (PyUnicode_CheckExact(v)) {
            string(v);
        } else if (PyDict_CheckExact(v) || PyList_CheckExact(v) || (is_top && PyDict_Check(v))) {
            if (open.contains(stack, v)) {
                why.what = "is a circular reference";
                return false;
            }
            const bool is_dict = !PyList_CheckExact(v);
            open.opened(stack.size(), v);
            Frame f;
            f.container = Ref::borrow(v);
            f.is_dict = is_dict;
            f.size = is_dict ? PyDict_GET_SIZE(v) : 0;
            stack.push_back(std::move(f));
            out_ += is_dict ? '{' : '[';
        } else {
            if (!describe_class(v, "is ", false, why.what)) why.what.clear();
            return false;
        }
        return true;
    };
    auto fail = [&](bool include_top) {
        if (why.what.empty()) return false; // a Python exception is set
        if (!describe_path(stack, include_top, why.path)) why.what.clear();
        return false;
    };

    if (!emit(top, true)) return fail(false);
    while (!stack.empty()) {
        if (!tick_.tick()) return false;
        Frame& f = stack.back();
        PyObject* item;
        if (f.is_dict) {
            if (PyDict_GET_SIZE(f.container.get()) != f.size) {
                PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
                return false;
            }
            PyObject* key;
            if (!PyDict_Next(f.container.get(), &f.pos, &key, &item)) {
                out_ += '}';
                open.closed(stack.size() - 1, f.container.get());
                stack.pop_back();
                continue;
            }
            if (!PyUnicode_CheckExact(key)) {
                if (!describe_class(key, "has a key of class ", true, why.what)) why.what.clear();
                return fail(false);
            }
            if (!f.first) out_ += ',';
            f.first = false;
            string(key);
            out_ += ':';
            f.key = Ref::borrow(key);
        } else {
            if (f.pos >= PyList_GET_SIZE(f.container.get())) {
                out_ += ']';
                open.closed(stack.size() - 1, f.container.get());
                stack.pop_back();
                continue;
            }
            item = PyList_GET_ITEM(f.container.get(), f.pos);
            if (f.pos != 0) out_ += ',';
            ++f.pos;
        }
        Ref held = Ref::borrow(item); // `f` may move when emit opens a container
        if (!emit(held.get(), false)) return fail(true);
    }
    return true;
}

} // namespace voralix
