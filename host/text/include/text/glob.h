// Shell-style globs, as the tools' options take them (--columns, --tags,
// --match): "*" any run of characters, "?" any one, "[...]" one of a set
// (with ranges, "!" or "^" to negate); anything else stands for itself.
// Written out because the C library's fnmatch is not on Windows.
#pragma once

#include <string>

namespace host {

// Whether the glob matches the whole text, byte by byte. Time grows with
// the product of the two lengths at worst, whatever the pattern.
bool GlobMatch(const std::string& glob, const std::string& text);

}  // namespace host
