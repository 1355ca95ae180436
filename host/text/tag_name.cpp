#include "text/tag_name.h"

#include <array>
#include <map>
#include <mutex>

#include "text/glob.h"

namespace host {

namespace {

// The small letter of a capital in the scripts the code pages hold (Latin,
// Greek, Cyrillic); anything else comes back as it is.
char32_t SmallLetter(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F)) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c == 0x178) return 0xFF;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    // Latin Extended-A pairs capital and small letters: even and odd from
    // U+0100, odd and even between U+0139 and U+0148 and from U+0179.
    const bool evenPairs = (c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177);
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (evenPairs && c % 2 == 0) return c + 1;
    if (oddPairs && c % 2 == 1) return c + 1;
    return c;
}

}  // namespace

std::optional<TagName> TagName::OfText(const std::string& utf8, const CodePage& codePage, size_t* at) {
    std::optional<std::string> bytes = codePage.Encode(utf8, at);
    if (!bytes) return std::nullopt;
    return TagName(std::move(*bytes));
}

std::string FoldLetterCase(const std::string& bytes, const CodePage& codePage) {
    // One table a page, made the first time: a catalogue of tens of
    // thousands of names is folded whole for every check.
    static std::mutex guard;
    static std::map<int, std::array<char, 256>> tables;
    const std::array<char, 256>* table = nullptr;
    {
        const std::lock_guard<std::mutex> lock(guard);
        auto found = tables.find(codePage.Number());
        if (found == tables.end()) {
            std::array<char, 256> small{};
            for (int b = 0; b < 256; ++b) {
                const std::string one(1, static_cast<char>(b));
                const std::string text = codePage.Decode(one);
                size_t length = 0;
                std::string smallText;
                AppendUtf8(smallText, SmallLetter(NextCharacter(text, 0, &length)));
                const std::optional<std::string> smallByte = codePage.Encode(smallText);
                small[static_cast<size_t>(b)] = smallByte && smallByte->size() == 1 ? (*smallByte)[0] : one[0];
            }
            found = tables.emplace(codePage.Number(), small).first;
        }
        table = &found->second;
    }
    std::string folded = bytes;
    for (char& ch : folded) ch = (*table)[static_cast<unsigned char>(ch)];
    return folded;
}

bool GlobMatchName(const std::string& glob, const TagName& name, const CodePage& codePage) {
    if (const std::optional<std::string> bytes = codePage.Encode(glob)) return GlobMatch(*bytes, name.Bytes());
    return GlobMatch(glob, name.Text(codePage));
}

}  // namespace host
