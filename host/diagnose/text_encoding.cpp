#include "diagnose/text_encoding.h"

#include <optional>

namespace host {

namespace {

// The bytes a case text would have had in another encoding, with its name:
// the text as the case file wrote it (UTF-8), then in each other code page.
struct Spelling {
    std::string name;
    std::string bytes;
};

std::vector<Spelling> OtherSpellings(const std::string& bytes, const CodePage& codePage) {
    const std::string utf8 = codePage.Decode(bytes);
    std::vector<Spelling> spellings;
    if (utf8 != bytes) spellings.push_back({"UTF-8", utf8});
    for (int number : {1250, 1251, 1252, 1253, 1254, 1257, 28591}) {
        if (number == codePage.Number()) continue;
        const std::optional<CodePage> other = CodePage::Find(number);
        if (!other) continue;
        if (const std::optional<std::string> encoded = other->Encode(utf8)) {
            if (*encoded != bytes) spellings.push_back({other->Name(), *encoded});
        }
    }
    return spellings;
}

}  // namespace

void ExplainEncodings(Diagnosis& diagnosis, const CatalogueIndex& index, const CodePage& codePage) {
    for (RowDiagnosis& row : diagnosis.rows) {
        for (TagDiagnosis& tag : row.tags) {
            if (tag.code != code::kNotInCatalogue) continue;
            for (const Spelling& spelling : OtherSpellings(tag.text, codePage)) {
                const std::vector<size_t>& entries = index.ByName(spelling.bytes);
                if (entries.empty()) continue;
                const CatalogueEntry& entry = index.Entry(entries.front());
                tag.code = code::kOtherEncoding;
                tag.reason = "no tag \"" + tag.text + "\" in " + codePage.Name() +
                             ", the simulator's; the catalogue has \"" + entry.name + "\" (" + KindName(entry.kind) +
                             ", data set " + std::to_string(entry.dataSet) + "), which is the same text in " +
                             spelling.name +
                             ": the initialization string and the case are in different encodings (set code_page "
                             "to the tag server's, or save the file in the other encoding)";
                break;
            }
        }
    }
}

void DecodeForReports(Diagnosis& diagnosis) {
    if (diagnosis.decodedForReports) return;
    diagnosis.decodedForReports = true;
    const CodePage codePage = CodePage::Find(diagnosis.codePage).value_or(*CodePage::Find(kDefaultCodePage));
    const auto decode = [&](std::string& text) { text = codePage.Decode(text); };
    const auto decodeMessage = [&](DriverMessage& m) {
        decode(m.title);
        decode(m.text);
    };
    for (DriverMessage& m : diagnosis.messages) decodeMessage(m);
    for (RowDiagnosis& row : diagnosis.rows) {
        for (TagDiagnosis& tag : row.tags) {
            decode(tag.field);
            decode(tag.text);
            decode(tag.reason);
            decode(tag.gap);
            decode(tag.gapTable);
            decode(tag.live);
            for (Suggestion& suggestion : tag.suggestions) decode(suggestion.name);
            if (tag.message) decodeMessage(*tag.message);
        }
        for (std::string& differs : row.driverDiffers) decode(differs);
    }
    for (DriverMessage& m : diagnosis.unexplained) decodeMessage(m);
    decode(diagnosis.initStringText);
    const auto decodeFinding = [&](LintFinding& finding) {
        decode(finding.text);
        decode(finding.hint);
        decode(finding.quote);
    };
    for (LintFinding& finding : diagnosis.lint) decodeFinding(finding);
    for (RootCause& cause : diagnosis.causes) {
        decodeFinding(cause.finding);
        decode(cause.summary);
    }
    // A conflict's own text is composed with the rows' names (UTF-8) and
    // decodes its tags itself.
    for (RowConflict& conflict : diagnosis.conflicts) {
        decode(conflict.first.text);
        decode(conflict.second.text);
    }
}

}  // namespace host
