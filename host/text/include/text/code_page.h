// Texts between the case file (UTF-8) and the simulator's world. The real
// simulator is a Windows ANSI program: every text it hands the driver, and
// the tag server's initialization string, is bytes of one single-byte code
// page (1252 on Western systems). dcs-host converts the case's texts into it
// before the driver sees them and decodes what the driver and the catalogue
// hold through it again for every report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace host {

constexpr int kDefaultCodePage = 1252;

class CodePage {
public:
    // The code page of that number; none when dcs-host does not have it.
    static std::optional<CodePage> Find(int number);
    // "1250, 1251, 1252, 1253, 1254, 1257, 28591", for messages.
    static std::string Supported();

    int Number() const { return number_; }
    // "code page 1252".
    std::string Name() const;

    // The bytes of `utf8` in this code page, or none when a character has no
    // byte here; `at` then tells the byte offset of that character in
    // `utf8` (a malformed sequence counts as such a character).
    std::optional<std::string> Encode(const std::string& utf8, size_t* at = nullptr) const;
    // The text of `bytes` as UTF-8. Always valid UTF-8: a byte the code page
    // leaves undefined becomes U+FFFD, except 0x80 to 0x9F, which become the
    // C1 controls of the same number as Windows passes them through.
    std::string Decode(const std::string& bytes) const;
    // The printable character a byte from 0x80 up stands for; 0 where the
    // page defines none, or a C1 control a terminal would act on (a reader
    // shows the byte's number instead).
    char32_t CharacterOf(unsigned char byte) const {
        const char32_t c = byte < 0x80 ? 0 : high_[byte - 0x80];
        return c >= 0x80 && c <= 0x9F ? 0 : c;
    }

private:
    CodePage(int number, const uint16_t* high) : number_(number), high_(high) {}
    int number_;
    const uint16_t* high_;  // bytes 0x80 to 0xFF
};

// The character that starts at `at` of `utf8`, and its length in bytes;
// U+FFFD and 1 for a malformed sequence.
char32_t NextCharacter(const std::string& utf8, size_t at, size_t* length);
void AppendUtf8(std::string& out, char32_t c);
// How many characters `utf8` shows on a terminal: its code points (a
// malformed byte counts as one), not its bytes.
size_t DisplayWidth(const std::string& utf8);
// Whether `text` is well-formed UTF-8.
bool IsUtf8(const std::string& text);
// The UTF-8 of a text that begins with a UTF-16 byte-order mark (either
// byte order; the mark itself is dropped). Nothing when `bytes` has no such
// mark; with one, an odd last byte or a surrogate without its pair becomes
// U+FFFD and `*malformedLine` (1-based) names the first line that held one.
std::optional<std::string> Utf8OfUtf16(const std::string& bytes, int* malformedLine);
// "U+00B0 '°'" for a message; control characters without the glyph.
std::string DescribeCharacter(char32_t c);

}  // namespace host
