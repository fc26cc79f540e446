#include "json/json_reader.hpp"

#include "json/utf8.hpp"

#include <charconv>
#include <cstring>
#include <vector>

namespace voralix {

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// An int from decimal digits of any length: 32-bit limbs multiplied up by
// 10**9 per chunk (no limit on the digit count, unlike int(str)). The work
// grows with the square of the length, so it checks for signals as it goes.
PyObject* big_int(std::string_view digits, bool negative, InterruptCheck& tick)
{
    std::vector<std::uint32_t> limbs;
    std::size_t at = 0;
    std::size_t chunk = digits.size() % 9 == 0 ? 9 : digits.size() % 9;
    while (at < digits.size()) {
        std::uint32_t value = 0, scale = 1;
        for (std::size_t i = 0; i < chunk; ++i) {
            value = value * 10 + static_cast<std::uint32_t>(digits[at + i] - '0');
            scale *= 10;
        }
        std::uint64_t carry = value;
        for (std::uint32_t& limb : limbs) {
            const std::uint64_t cur = static_cast<std::uint64_t>(limb) * scale + carry;
            limb = static_cast<std::uint32_t>(cur);
            carry = cur >> 32;
        }
        if (carry != 0) limbs.push_back(static_cast<std::uint32_t>(carry));
        if (!tick.tick(static_cast<std::uint32_t>(limbs.size()))) return nullptr;
        at += chunk;
        chunk = 9;
    }
    Ref magnitude = Ref::steal(PyLong_FromUnsignedNativeBytes(limbs.data(), limbs.size() * 4,
                                                              Py_ASNATIVEBYTES_LITTLE_ENDIAN));
    if (!magnitude || !negative) return magnitude.release();
    return PyNumber_Negative(magnitude.get());
}

} // namespace

void JsonReader::skip_space() noexcept
{
    while (p_ < text_.size()) {
        const char c = text_[p_];
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return;
        ++p_;
    }
}

std::size_t JsonReader::here()
{
    skip_space();
    return p_;
}

bool JsonReader::at_end()
{
    skip_space();
    return p_ == text_.size();
}

bool JsonReader::fail(std::string message, std::size_t at)
{
    if (!failed_) {
        failed_ = true;
        message_ = std::move(message);
        failed_at_ = at;
    }
    return false;
}

bool JsonReader::begin(char open)
{
    skip_space();
    if (p_ < text_.size() && text_[p_] == open) {
        ++p_;
        return true;
    }
    return fail(std::string("Expecting '") + open + "'", p_);
}

int JsonReader::next_member(bool& first, std::string& name, std::size_t& name_at)
{
    skip_space();
    if (p_ < text_.size() && text_[p_] == '}') {
        ++p_;
        return 0;
    }
    if (!first) {
        if (p_ >= text_.size() || text_[p_] != ',') return fail("Expecting ',' delimiter", p_), -1;
        ++p_;
        skip_space();
    }
    first = false;
    if (p_ >= text_.size() || text_[p_] != '"') {
        return fail("Expecting property name enclosed in double quotes", p_), -1;
    }
    name_at = p_;
    if (!string(name)) return -1;
    skip_space();
    if (p_ >= text_.size() || text_[p_] != ':') return fail("Expecting ':' delimiter", p_), -1;
    ++p_;
    return 1;
}

int JsonReader::next_item(bool& first)
{
    skip_space();
    if (p_ < text_.size() && text_[p_] == ']') {
        ++p_;
        return 0;
    }
    if (!first) {
        if (p_ >= text_.size() || text_[p_] != ',') return fail("Expecting ',' delimiter", p_), -1;
        ++p_;
    }
    first = false;
    if (!tick_.tick()) return python_failure(), -1;
    return 1;
}

bool JsonReader::scan_string(std::string& buf, std::string_view& raw, bool& escaped, bool& lone)
{
    const std::size_t start = p_; // at the opening quote
    std::size_t i = start + 1;
    const std::size_t n = text_.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text_[i]);
        if (c == '"' || c == '\\' || c < 0x20) break;
        ++i;
    }
    if (i < n && text_[i] == '"') {
        raw = text_.substr(start + 1, i - start - 1);
        escaped = false;
        p_ = i + 1;
        return true;
    }
    escaped = true;
    buf.assign(text_.data() + start + 1, i - start - 1);
    while (true) {
        if (i >= n) return fail("Unterminated string starting at", start);
        const auto c = static_cast<unsigned char>(text_[i]);
        if (c == '"') break;
        if (c < 0x20) return fail("Invalid control character at", i);
        if (c != '\\') {
            buf += static_cast<char>(c);
            ++i;
            continue;
        }
        if (i + 1 >= n) return fail("Unterminated string starting at", start);
        const char e = text_[i + 1];
        const char* simple = nullptr;
        switch (e) {
        case '"': simple = "\""; break;
        case '\\': simple = "\\"; break;
        case '/': simple = "/"; break;
        case 'b': simple = "\b"; break;
        case 'f': simple = "\f"; break;
        case 'n': simple = "\n"; break;
        case 'r': simple = "\r"; break;
        case 't': simple = "\t"; break;
        case 'u': break;
        default: return fail("Invalid \\escape", i);
        }
        if (simple != nullptr) {
            buf += *simple;
            i += 2;
            continue;
        }
        auto read_hex = [&](std::size_t at, std::uint32_t& out) {
            if (at + 4 > n) return false;
            out = 0;
            for (std::size_t k = 0; k < 4; ++k) {
                const int h = hex_value(text_[at + k]);
                if (h < 0) return false;
                out = out * 16 + static_cast<std::uint32_t>(h);
            }
            return true;
        };
        std::uint32_t code;
        if (!read_hex(i + 2, code)) return fail("Invalid \\uXXXX escape", i);
        i += 6;
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < n && text_[i] == '\\' &&
            text_[i + 1] == 'u') {
            std::uint32_t low;
            if (read_hex(i + 2, low) && low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i += 6;
            }
        }
        // A lone surrogate gets the same three-byte form as other code points,
        // which the "surrogatepass" decoder reads.
        if (code >= 0xD800 && code <= 0xDFFF) lone = true;
        append_utf8(buf, code);
    }
    p_ = i + 1;
    return true;
}

bool JsonReader::string(std::string& out)
{
    skip_space();
    if (p_ >= text_.size() || text_[p_] != '"') return fail("Expecting string", p_);
    const std::size_t start = p_;
    std::string_view raw;
    bool escaped = false, lone = false;
    if (!scan_string(out, raw, escaped, lone)) return false;
    if (lone) return fail("A name cannot hold a lone surrogate", start);
    if (!escaped) out.assign(raw);
    return true;
}

PyObject* JsonReader::string_object()
{
    std::string buf;
    std::string_view raw;
    bool escaped = false, lone = false;
    if (!scan_string(buf, raw, escaped, lone)) return nullptr;
    PyObject* s =
        escaped
            ? PyUnicode_DecodeUTF8(buf.data(), static_cast<Py_ssize_t>(buf.size()), "surrogatepass")
            : PyUnicode_DecodeUTF8(raw.data(), static_cast<Py_ssize_t>(raw.size()), nullptr);
    if (s == nullptr) python_failure();
    return s;
}

bool JsonReader::index(std::uint64_t& out)
{
    skip_space();
    const std::size_t start = p_;
    const char* first = text_.data() + p_;
    const char* last = text_.data() + text_.size();
    auto r = std::from_chars(first, last, out);
    const bool leading_zero = r.ptr - first > 1 && *first == '0';
    if (r.ec != std::errc() || leading_zero ||
        (r.ptr < last && (*r.ptr == '.' || *r.ptr == 'e' || *r.ptr == 'E'))) {
        return fail("Expecting an index (an integer from 0)", start);
    }
    p_ += static_cast<std::size_t>(r.ptr - first);
    return true;
}

PyObject* JsonReader::number()
{
    const std::size_t start = p_;
    const std::size_t n = text_.size();
    std::size_t i = p_;
    const bool negative = i < n && text_[i] == '-';
    if (negative) ++i;
    const std::size_t digits_at = i;
    if (i < n && text_[i] == '0') {
        ++i;
    } else if (i < n && is_digit(text_[i])) {
        while (i < n && is_digit(text_[i])) ++i;
    } else {
        fail("Expecting value", start);
        return nullptr;
    }
    const std::size_t digits_end = i;
    bool is_float = false;
    if (i < n && text_[i] == '.') {
        ++i;
        if (i >= n || !is_digit(text_[i])) {
            fail("Expecting digits after the decimal point", i);
            return nullptr;
        }
        while (i < n && is_digit(text_[i])) ++i;
        is_float = true;
    }
    if (i < n && (text_[i] == 'e' || text_[i] == 'E')) {
        ++i;
        if (i < n && (text_[i] == '+' || text_[i] == '-')) ++i;
        if (i >= n || !is_digit(text_[i])) {
            fail("Expecting digits in the exponent", i);
            return nullptr;
        }
        while (i < n && is_digit(text_[i])) ++i;
        is_float = true;
    }
    p_ = i;
    PyObject* result;
    if (!is_float) {
        const std::string_view digits = text_.substr(digits_at, digits_end - digits_at);
        if (digits.size() <= 18) {
            long long v = 0;
            for (char c : digits) v = v * 10 + (c - '0');
            result = PyLong_FromLongLong(negative ? -v : v);
        } else {
            result = big_int(digits, negative, tick_);
        }
    } else {
        double d = 0;
        auto r = std::from_chars(text_.data() + start, text_.data() + i, d);
        if (r.ec == std::errc::result_out_of_range) {
            // Beyond the double range: infinity or zero, as float() gives.
            std::string copy(text_.substr(start, i - start));
            d = PyOS_string_to_double(copy.c_str(), nullptr, nullptr);
            if (d == -1.0 && PyErr_Occurred()) return python_failure(), nullptr;
        }
        result = PyFloat_FromDouble(d);
    }
    if (result == nullptr) python_failure();
    return result;
}

PyObject* JsonReader::literal()
{
    const std::string_view rest = text_.substr(p_);
    const std::pair<std::string_view, PyObject*> kLiterals[] = {
        {"true", Py_True}, {"false", Py_False}, {"null", Py_None}};
    for (const auto& [word, object] : kLiterals) {
        if (rest.substr(0, word.size()) == word) {
            p_ += word.size();
            return Py_NewRef(object);
        }
    }
    fail("Expecting value", p_);
    return nullptr;
}

PyObject* JsonReader::value()
{
    struct Frame {
        Ref container;
        Ref key;
        bool is_dict;
    };
    std::vector<Frame> stack;
    // Reads the member name after "{" or ",", and its ":".
    auto read_name = [&](Frame& f) -> bool {
        skip_space();
        if (p_ >= text_.size() || text_[p_] != '"') {
            return fail("Expecting property name enclosed in double quotes", p_);
        }
        std::string buf;
        std::string_view raw;
        bool escaped = false, lone = false;
        const std::size_t at = p_;
        if (!scan_string(buf, raw, escaped, lone)) return false;
        if (!escaped) {
            auto [it, added] = names_.try_emplace(raw);
            if (added) {
                it->second = Ref::steal(
                    PyUnicode_DecodeUTF8(raw.data(), static_cast<Py_ssize_t>(raw.size()), nullptr));
                if (!it->second) {
                    names_.erase(it);
                    return python_failure();
                }
            }
            f.key = it->second;
        } else {
            p_ = at;
            f.key = Ref::steal(string_object());
            if (!f.key) return false;
        }
        skip_space();
        if (p_ >= text_.size() || text_[p_] != ':') return fail("Expecting ':' delimiter", p_);
        ++p_;
        return true;
    };

    while (true) {
        if (!tick_.tick()) return python_failure(), nullptr;
        skip_space();
        if (p_ >= text_.size()) return fail("Expecting value", p_), nullptr;
        Ref v;
        const char c = text_[p_];
        if (c == '{' || c == '[') {
            ++p_;
            const bool is_dict = c == '{';
            Ref container = Ref::steal(is_dict ? PyDict_New() : PyList_New(0));
            if (!container) return python_failure(), nullptr;
            skip_space();
            if (p_ < text_.size() && text_[p_] == (is_dict ? '}' : ']')) {
                ++p_;
                v = std::move(container);
            } else {
                stack.push_back({std::move(container), Ref(), is_dict});
                if (is_dict && !read_name(stack.back())) return nullptr;
                continue;
            }
        } else if (c == '"') {
            v = Ref::steal(string_object());
        } else if (c == '-' || is_digit(c)) {
            v = Ref::steal(number());
        } else {
            v = Ref::steal(literal());
        }
        if (!v) return nullptr;
        // Store the value in its container; close every container that ends here.
        while (true) {
            if (stack.empty()) return v.release();
            Frame& f = stack.back();
            const int r = f.is_dict ? PyDict_SetItem(f.container.get(), f.key.get(), v.get())
                                    : PyList_Append(f.container.get(), v.get());
            if (r < 0) return python_failure(), nullptr;
            skip_space();
            if (p_ < text_.size() && text_[p_] == ',') {
                ++p_;
                if (f.is_dict && !read_name(f)) return nullptr;
                break;
            }
            if (p_ < text_.size() && text_[p_] == (f.is_dict ? '}' : ']')) {
                ++p_;
                v = std::move(f.container);
                stack.pop_back();
                continue;
            }
            return fail("Expecting ',' delimiter", p_), nullptr;
        }
    }
}

} // namespace voralix
