// Generated initialization strings that look like a plant's: six sections
// of tags named after their instruments, the odd name quoted (some because
// they hold a separator), CRLF and LF line ends, a few semicolons and blanks,
// data sets written in decimal, hex and octal, DCD entries with their 17
// numbers. The benchmarks that bind a case name their tags through
// CatalogueName, so that a case always finds the tag it was written for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "link_state.h"

namespace bench {

constexpr int32_t kKinds[] = {TAG_KIND_AI, TAG_KIND_AO, TAG_KIND_DI, TAG_KIND_DO, TAG_KIND_DCD, TAG_KIND_CALC};

inline const char* SectionHeader(int32_t kind) {
    switch (kind) {
    case TAG_KIND_AI: return "*AI*";
    case TAG_KIND_AO: return "*AO*";
    case TAG_KIND_DI: return "*DI*";
    case TAG_KIND_DO: return "*DO*";
    case TAG_KIND_DCD: return "*DCD*";
    default: return "*CALC*";
    }
}

// The name tag `index` of a kind has in the catalogue, as the parser stores
// it (without quotes). Now and then a name carries a comma, a semicolon or
// a line feed, which only quotes protect.
inline std::string CatalogueName(int32_t kind, int32_t index) {
    static const char* const kPrefix[] = {"FIC", "FV", "XS", "XY", "HV", "FY"};
    static const char* const kSuffix[] = {".PV", ".OP", ".RUN", ".CMD", "", ".CALC"};
    const int32_t k = kind == TAG_KIND_CALC ? 5 : kind - 1;
    char middle[8] = "";
    if (index % 40 == 7) {
        std::snprintf(middle, sizeof middle, ",A");
    } else if (index % 53 == 11) {
        std::snprintf(middle, sizeof middle, ";B");
    } else if (index % 97 == 31) {
        std::snprintf(middle, sizeof middle, "\nC");
    }
    char name[64];
    std::snprintf(name, sizeof name, "%s-%05d%s%s", kPrefix[k], static_cast<int>(index), middle, kSuffix[k]);
    return name;
}

// The data set of tag `index` (of every kind): 1 to 3.
inline int32_t CatalogueDataSet(int32_t index) { return 1 + index % 3; }

struct InitString {
    std::string text;
    int64_t entries = 0;
};

// perKind entries of each of the six kinds, in section order.
inline InitString MakeInitString(int32_t perKind) {
    InitString out;
    std::string& s = out.text;
    s.reserve(static_cast<size_t>(perKind) * 6 * 40);
    char field[64];
    for (int32_t kind : kKinds) {
        s += SectionHeader(kind);
        s += '\n';
        for (int32_t i = 0; i < perKind; ++i) {
            const std::string name = CatalogueName(kind, i);
            const bool needsQuotes = name.find_first_of(",;\n") != std::string::npos;
            const char sep = i % 17 == 5 ? ';' : ',';
            if (needsQuotes || i % 11 == 0) {
                const char quote = i % 2 == 0 ? '"' : '\'';
                s += quote;
                s += name;
                s += quote;
            } else {
                s += name;
            }
            s += sep;
            s += i % 13 == 4 ? " -" : "-";
            s += sep;
            const int32_t dataSet = CatalogueDataSet(i);
            if (i % 23 == 0) {
                std::snprintf(field, sizeof field, "0x%x", static_cast<unsigned>(dataSet));
            } else if (i % 29 == 0) {
                std::snprintf(field, sizeof field, "0%o", static_cast<unsigned>(dataSet));
            } else {
                std::snprintf(field, sizeof field, "%d", static_cast<int>(dataSet));
            }
            s += field;
            if (kind == TAG_KIND_AI || kind == TAG_KIND_AO) {
                std::snprintf(field, sizeof field, ",%d,%d.5", -(i % 50), 100 + i % 400);
                s += field;
            } else if (kind == TAG_KIND_DCD) {
                for (int32_t n = 0; n < kDcdNumberCount; ++n) {
                    std::snprintf(field, sizeof field, ",%d", (i + n) % 10);
                    s += field;
                }
            }
            s += i % 10 == 3 ? "\r\n" : "\n";
            ++out.entries;
        }
    }
    return out;
}

}  // namespace bench
