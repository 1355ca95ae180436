#include "report/markup.h"

#include <cmath>
#include <cstdio>

namespace host {

std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

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

}  // namespace host
