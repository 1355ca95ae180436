#include "text/glob.h"

namespace host {

namespace {

// Whether the element at glob[p] (not a "*") takes the byte c; *next is
// where the element ends. An unclosed "[" stands for itself.
bool TakesByte(const std::string& glob, size_t p, char c, size_t* next) {
    if (glob[p] != '[') {
        *next = p + 1;
        return glob[p] == '?' || glob[p] == c;
    }
    size_t q = p + 1;
    const bool negate = q < glob.size() && (glob[q] == '!' || glob[q] == '^');
    if (negate) ++q;
    bool matched = false;
    bool first = true;
    for (; q < glob.size() && (first || glob[q] != ']'); ++q, first = false) {
        if (q + 2 < glob.size() && glob[q + 1] == '-' && glob[q + 2] != ']') {
            matched = matched || (c >= glob[q] && c <= glob[q + 2]);
            q += 2;
        } else {
            matched = matched || c == glob[q];
        }
    }
    if (q >= glob.size()) {
        *next = p + 1;
        return c == '[';
    }
    *next = q + 1;
    return matched != negate;
}

}  // namespace

bool GlobMatch(const std::string& glob, const std::string& text) {
    // Every element but "*" takes exactly one byte, so only the last "*"
    // ever needs to take more: on a mismatch it takes one byte more and the
    // rest is tried again from there. No recursion, no blow-up.
    size_t g = 0, t = 0;
    size_t starAt = std::string::npos;  // the glob just after the last "*"
    size_t starText = 0;                // where the text after it was tried from
    while (t < text.size()) {
        size_t next = 0;
        if (g < glob.size() && glob[g] == '*') {
            starAt = ++g;
            starText = t;
        } else if (g < glob.size() && TakesByte(glob, g, text[t], &next)) {
            g = next;
            ++t;
        } else if (starAt != std::string::npos) {
            g = starAt;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') ++g;
    return g == glob.size();
}

}  // namespace host
