#include "text/code_page.h"

#include <cstdio>

#include "code_page_tables.h"

namespace host {

std::optional<CodePage> CodePage::Find(int number) {
    for (size_t i = 0; i < kCodePageTableCount; ++i) {
        if (kCodePageTables[i].number == number) return CodePage(number, kCodePageTables[i].high);
    }
    return std::nullopt;
}

std::string CodePage::Supported() {
    std::string list;
    for (size_t i = 0; i < kCodePageTableCount; ++i) {
        list += (i == 0 ? "" : ", ") + std::to_string(kCodePageTables[i].number);
    }
    return list;
}

std::string CodePage::Name() const { return "code page " + std::to_string(number_); }

std::optional<std::string> CodePage::Encode(const std::string& utf8, size_t* at) const {
    std::string bytes;
    bytes.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        size_t length = 1;
        const char32_t c = NextCharacter(utf8, i, &length);
        int byte = -1;
        if (c < 0x80 && !(c == 0xFFFD && length == 1)) {
            byte = static_cast<int>(c);
        } else {
            for (int b = 0; b < 128 && byte < 0; ++b) {
                const char32_t held = high_[b] != 0 ? high_[b] : (b < 0x20 ? 0x80 + static_cast<char32_t>(b) : 0);
                // A malformed sequence decodes as U+FFFD of length 1; it
                // matches nothing.
                if (held == c && !(c == 0xFFFD && length == 1)) byte = 0x80 + b;
            }
        }
        if (byte < 0) {
            if (at != nullptr) *at = i;
            return std::nullopt;
        }
        bytes += static_cast<char>(byte);
        i += length;
    }
    return bytes;
}

std::string CodePage::Decode(const std::string& bytes) const {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            utf8 += ch;
            continue;
        }
        const uint16_t held = high_[byte - 0x80];
        AppendUtf8(utf8, held != 0 ? held : (byte < 0xA0 ? static_cast<char32_t>(byte) : 0xFFFD));
    }
    return utf8;
}

size_t DisplayWidth(const std::string& utf8) {
    size_t width = 0;
    for (size_t at = 0; at < utf8.size(); ++width) {
        size_t length = 1;
        NextCharacter(utf8, at, &length);
        at += length;
    }
    return width;
}

char32_t NextCharacter(const std::string& utf8, size_t at, size_t* length) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    *length = 1;
    if (lead < 0x80) return lead;
    size_t need = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3, c = lead & 0x07, least = 0x10000;
    } else {
        return 0xFFFD;
    }
    if (at + need >= utf8.size()) return 0xFFFD;
    for (size_t k = 1; k <= need; ++k) {
        const auto next = static_cast<unsigned char>(utf8[at + k]);
        if ((next & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0xFFFD;
    *length = need + 1;
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        size_t length = 1;
        if (NextCharacter(text, i, &length) == 0xFFFD && length == 1) return false;
        i += length;
    }
    return true;
}

std::optional<std::string> Utf8OfUtf16(const std::string& bytes, int* malformedLine) {
    if (bytes.size() < 2) return std::nullopt;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    bool bigEndian = false;
    if (byte(0) == 0xFE && byte(1) == 0xFF) {
        bigEndian = true;
    } else if (!(byte(0) == 0xFF && byte(1) == 0xFE)) {
        return std::nullopt;
    }
    const auto unit = [&](size_t i) -> char32_t {
        return bigEndian ? (byte(i) << 8 | byte(i + 1)) : (byte(i + 1) << 8 | byte(i));
    };
    std::string out;
    out.reserve(bytes.size());
    int line = 1;
    const auto malformed = [&]() {
        if (malformedLine != nullptr && *malformedLine == 0) *malformedLine = line;
        AppendUtf8(out, 0xFFFD);
    };
    if (malformedLine != nullptr) *malformedLine = 0;
    size_t i = 2;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            malformed();
            continue;
        }
        if (c == '\n') ++line;
        AppendUtf8(out, c);
    }
    if (i < bytes.size()) malformed();
    return out;
}

std::string DescribeCharacter(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return code;
    std::string text = std::string(code) + " '";
    AppendUtf8(text, c);
    return text + "'";
}

}  // namespace host
