#include "case/simulator_text.h"

#include <optional>

#include "text/code_page.h"

namespace host {

namespace {

struct Where {
    const std::string& file;
    int line;
    int column;
};

// A mark that a text in decomposed form (NFD) puts after its letter, as
// "u" and U+0308 for "ü". The tag server's names are composed: no code page
// dcs-host has holds these marks, and a name spelt so names no tag.
bool IsCombiningMark(char32_t c) {
    return (c >= 0x300 && c <= 0x36F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}

void Encode(const CodePage& codePage, std::string& text, const std::string& what, const Where& where) {
    size_t at = 0;
    const std::optional<std::string> bytes = codePage.Encode(text, &at);
    if (!bytes) {
        size_t length = 1;
        const char32_t c = NextCharacter(text, at, &length);
        size_t characters = 1;
        for (size_t i = 0; i < at; ++characters) {
            size_t step = 1;
            NextCharacter(text, i, &step);
            i += step;
        }
        const std::string which =
            what + " \"" + text + "\": character " + std::to_string(characters) + ", " + DescribeCharacter(c);
        if (IsCombiningMark(c) && at > 0) {
            throw CaseError(Located(where.file, where.line, where.column,
                                    which + ", is a combining mark: the text is in decomposed form (NFD), a letter "
                                            "and its accent apart; write it composed (NFC), each accented letter "
                                            "one character, as the tag server's names are"));
        }
        throw CaseError(Located(where.file, where.line, where.column,
                                which + ", has no byte in " + codePage.Name() +
                                    ", in which the simulator hands texts to the driver; use another character, or "
                                    "set code_page (or --code-page) to one that holds it (dcs-host has " +
                                    CodePage::Supported() + ")"));
    }
    if (bytes->size() > kMaxTextLength) {
        throw CaseError(Located(where.file, where.line, where.column,
                                what + " is " + std::to_string(bytes->size()) + " bytes long in " + codePage.Name() +
                                    "; the driver's text cells hold " + std::to_string(kMaxTextLength) +
                                    " bytes at most"));
    }
    text = *bytes;
}

void EncodeFields(const CodePage& codePage, std::vector<FieldValue>& fields, const std::string& caseFile) {
    for (FieldValue& field : fields) {
        if (!field.isText) continue;
        Encode(codePage, field.text, field.label,
               Where{field.file.empty() ? caseFile : field.file, field.line, field.column});
    }
}

}  // namespace

void EncodeForSimulator(Case& c) {
    const std::optional<CodePage> codePage = CodePage::Find(c.codePage);
    if (!codePage) {
        throw CaseError(Located(c.file, c.codePageLine,
                                "code page " + std::to_string(c.codePage) +
                                    " is not one dcs-host converts to; it has " + CodePage::Supported()));
    }
    EncodeFields(*codePage, c.general, c.file);
    for (ControllerCase& row : c.controllers) EncodeFields(*codePage, row.fields, c.file);
    for (PVExportCase& row : c.pvExports) EncodeFields(*codePage, row.fields, c.file);
    for (PVImportCase& row : c.pvImports) EncodeFields(*codePage, row.fields, c.file);
    for (TagValue& tag : c.tags) Encode(*codePage, tag.name, "the tag's name", Where{c.file, tag.line, 0});
    for (Event& event : c.events) {
        if (event.action == Action::SetTag) {
            Encode(*codePage, event.tag.name, "the tag's name", Where{c.file, event.line, 0});
        }
    }
    // A failure of a named tag is matched against the names the driver
    // calls with, which are code-page bytes.
    for (ServerFailure& f : c.failures) {
        if (!f.name.empty()) Encode(*codePage, f.name, "the tag's name", Where{c.file, f.line, 0});
    }
    for (Expectation& e : c.expectations) {
        if (e.subject == ExpectSubject::Tag) {
            Encode(*codePage, e.tag.name, "the tag's name", Where{e.whatAt.file, e.whatAt.line, e.whatAt.column});
        }
    }
}

}  // namespace host
