// Small pieces every report format shares: text made safe for HTML and
// SVG, and numbers written for people.
#pragma once

#include <cstddef>
#include <string>

namespace host {

// `text` with &, <, >, " and ' replaced by entities, for element content
// and quoted attribute values alike, and made valid in HTML and XML whatever
// bytes it holds: control characters (but tab and line feed) are shown as
// \r, \xNN or \uNNNN, and a byte that is not UTF-8 becomes U+FFFD.
std::string Escape(const std::string& text);
// `text` for a terminal or a plain-text file: the same numbers for control
// characters and U+FFFD for malformed bytes, nothing else replaced.
std::string Visible(const std::string& text);

// A coordinate: two decimals.
std::string Number(double value);
// A short axis or table figure: up to `digits` significant digits, so 0.0004
// stays 0.0004 and 1e8 stays 1e+08 rather than a run of digits.
std::string ShortNumber(double value, int digits = 6);
// A count with thousands separators: 20,002.
std::string Thousands(size_t n);

}  // namespace host
