// The simulator's code pages: every byte decodes and encodes back, the
// holes and the characters a code page lacks are handled at the edges, and
// the case's texts are converted, limited and refused by their bytes there.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "case/simulator_text.h"
#include "report/markup.h"
#include "text/code_page.h"

namespace {

using host::CodePage;

const int kPages[] = {1250, 1251, 1252, 1253, 1254, 1257, 28591};

TEST(CodePageTest, EveryDefinedByteRoundTrips) {
    for (const int number : kPages) {
        const CodePage page = *CodePage::Find(number);
        for (int b = 1; b < 256; ++b) {
            const std::string byte(1, static_cast<char>(b));
            const std::string utf8 = page.Decode(byte);
            ASSERT_TRUE(host::IsUtf8(utf8)) << number << " byte " << b;
            if (utf8 == "\xEF\xBF\xBD") continue;  // undefined here
            EXPECT_EQ(page.Encode(utf8), byte) << number << " byte " << b;
        }
    }
    EXPECT_FALSE(CodePage::Find(65001));
    EXPECT_EQ(CodePage::Supported(), "1250, 1251, 1252, 1253, 1254, 1257, 28591");
}

TEST(CodePageTest, Edges) {
    struct Case {
        int page;
        std::string utf8;
        std::optional<std::string> bytes;  // none: refused
        size_t at;                         // where, when refused
    };
    const Case cases[] = {
        {1252, "\xE2\x82\xAC", "\x80", 0},                // € at 0x80
        {1252, "\xC2\x81", "\x81", 0},                    // a hole: the C1 control passes, as on Windows
        {1252, "\xC5\xB8", "\x9F", 0},                    // Ÿ at 0x9F
        {1252, "TI-306\xC2\xB0.PV", "TI-306\xB0.PV", 0},  // the degree sign
        {1252, "ab\xCE\xA9", std::nullopt, 2},            // Ω is not in 1252
        {1253, "ab\xCE\xA9", "ab\xD9", 0},                // but in 1253
        {1251, "\xD0\x96", "\xC6", 0},                    // Ж
        {1252, "a\xC3", std::nullopt, 1},                 // a cut UTF-8 sequence
        {1252, "\xF0\x9F\x98\x80", std::nullopt, 0},      // beyond the BMP
        {28591, "\xC3\xBF", "\xFF", 0},
    };
    for (const Case& c : cases) {
        size_t at = 99;
        EXPECT_EQ(CodePage::Find(c.page)->Encode(c.utf8, &at), c.bytes) << c.page << " " << c.utf8;
        if (!c.bytes) {
            EXPECT_EQ(at, c.at) << c.utf8;
        }
    }
    // Undefined bytes decode to something every report can hold.
    EXPECT_EQ(CodePage::Find(1252)->Decode("\x81\x9D"), "\xC2\x81\xC2\x9D");
    EXPECT_EQ(CodePage::Find(1253)->Decode("\xAA"), "\xEF\xBF\xBD");
}

host::FieldValue Text(const std::string& label, const std::string& text) {
    host::FieldValue v;
    v.label = label;
    v.isText = true;
    v.text = text;
    v.file = "io.csv";
    v.line = 4;
    v.column = 9;
    return v;
}

TEST(CodePageTest, CaseTextsAreConvertedAndLimitedByTheirBytes) {
    const std::string degrees = "\xC2\xB0\xC2\xB0";  // 4 bytes in UTF-8, 2 in 1252
    host::Case c;
    c.file = "case.toml";
    c.controllers.resize(1);
    c.controllers[0].fields = {Text("SP Tag", std::string(61, 'a') + degrees)};
    host::TagValue tag;
    tag.name = "TI-306\xC2\xB0.PV";
    c.tags.push_back(tag);
    host::EncodeForSimulator(c);
    EXPECT_EQ(c.controllers[0].fields[0].text, std::string(61, 'a') + "\xB0\xB0");
    EXPECT_EQ(c.tags[0].name, "TI-306\xB0.PV");

    struct Refused {
        std::string text;
        const char* message;
    };
    const Refused refused[] = {
        {std::string(62, 'a') + degrees, "io.csv:4:9: SP Tag is 64 bytes long in code page 1252; the driver's"},
        {"x\xCE\xA9",
         "io.csv:4:9: SP Tag \"x\xCE\xA9\": character 2, U+03A9 '\xCE\xA9', has no byte in code page 1252"},
    };
    for (const Refused& r : refused) {
        host::Case bad;
        bad.file = "case.toml";
        bad.general = {Text("SP Tag", r.text)};
        try {
            host::EncodeForSimulator(bad);
            ADD_FAILURE() << "accepted " << r.text;
        } catch (const host::CaseError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(r.message, 0), 0u) << e.what();
        }
    }
}

TEST(CodePageTest, MarkupOfAnyBytesIsUtf8WithoutControls) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string escaped = host::Escape(all + host::CodePage::Find(1252)->Decode(all));
    EXPECT_TRUE(host::IsUtf8(escaped));
    for (size_t i = 0; i < escaped.size(); ++i) {
        const auto c = static_cast<unsigned char>(escaped[i]);
        EXPECT_TRUE(c >= 0x20 || c == '\t' || c == '\n') << "control " << static_cast<int>(c) << " at " << i;
        EXPECT_NE(c, 0x7F);
    }
    EXPECT_EQ(escaped.find("\xC2\x81"), std::string::npos);  // no raw C1 control
    EXPECT_NE(escaped.find("\\u0081"), std::string::npos);
    EXPECT_NE(escaped.find("\\r"), std::string::npos);
}

}  // namespace
