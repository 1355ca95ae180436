#include "markup.h"

#include <cmath>
#include <cstdio>

#include "text/code_page.h"

namespace host {

namespace {

// A control character (but tab and line feed), which neither XML nor HTML
// nor a terminal should get raw (an escape sequence would drive it), and
// U+FFFE and U+FFFF, which XML does not take: appended as \r, \xNN or
// \uNNNN. False for any other character.
bool AppendByNumber(std::string& out, char32_t c) {
    if (c == '\r') {
        out += "\\r";
        return true;
    }
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0xFFFE || c == 0xFFFF) {
        char code[16];
        std::snprintf(code, sizeof code, c < 0x80 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(c));
        out += code;
        return true;
    }
    return false;
}

// The text with control characters by their numbers and malformed bytes
// as U+FFFD, and with `markup` the characters of markup as entities.
std::string Shown(const std::string& text, bool markup) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t length = 1;
        const char32_t c = NextCharacter(text, i, &length);
        i += length;
        if (markup) {
            switch (c) {
            case '&': out += "&amp;"; continue;
            case '<': out += "&lt;"; continue;
            case '>': out += "&gt;"; continue;
            case '"': out += "&quot;"; continue;
            case '\'': out += "&#39;"; continue;
            default: break;
            }
        }
        if (!AppendByNumber(out, c)) AppendUtf8(out, c);
    }
    return out;
}

}  // namespace

std::string Escape(const std::string& text) { return Shown(text, true); }

std::string Visible(const std::string& text) { return Shown(text, false); }

std::string Number(double value) {
    char text[64];
    // A coordinate is bounded by the chart's size; anything else is a fault
    // upstream, and a plain 0 keeps the document valid.
    if (!std::isfinite(value) || std::fabs(value) > 1e12) value = 0.0;
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string ShortNumber(double value, int digits) {
    if (std::isnan(value)) return "-";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[64];  // %g with at most 17 digits fits in far less
    std::snprintf(text, sizeof text, "%.*g", digits < 1 ? 1 : (digits > 17 ? 17 : digits), value);
    return text;
}

std::string Thousands(size_t n) {
    std::string digits = std::to_string(n);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

}  // namespace host
