#include "text/number_text.h"

#include <charconv>
#include <system_error>

namespace host {

void AppendNumberText(std::string& out, double value) {
    // The longest shortest form of a double ("-2.2250738585072014e-308") is
    // 24 characters; the room to spare keeps a future format from failing.
    char text[64];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    if (result.ec != std::errc()) {
        out += "nan";
        return;
    }
    out.append(text, result.ptr);
}

std::string NumberText(double value) {
    std::string text;
    AppendNumberText(text, value);
    return text;
}

}  // namespace host
