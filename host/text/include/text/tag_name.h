// A tag's name as the driver and the tag server hold it. The simulator
// hands the driver single-byte text of its code page, and the driver and the
// server compare names byte for byte, so those bytes are the one form in
// which dcs-host matches, counts, looks up and fails names. A name becomes
// text (UTF-8) only where it is shown or written, through the code page the
// bytes are in; a case's name (UTF-8) becomes one through the same page.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "text/code_page.h"

namespace host {

class TagName {
public:
    TagName() = default;
    // Bytes the driver, the tag server, a trace or the string gave.
    static TagName OfBytes(std::string bytes) { return TagName(std::move(bytes)); }
    // The name a case or the command line gives as text; none when a
    // character has no byte in the code page (`at`: its byte offset).
    static std::optional<TagName> OfText(const std::string& utf8, const CodePage& codePage, size_t* at = nullptr);

    const std::string& Bytes() const { return bytes_; }
    bool Empty() const { return bytes_.empty(); }
    // The name as text for a terminal, CSV, JSON, a page or a file name.
    std::string Text(const CodePage& codePage) const { return codePage.Decode(bytes_); }

    friend bool operator==(const TagName& a, const TagName& b) { return a.bytes_ == b.bytes_; }
    friend bool operator!=(const TagName& a, const TagName& b) { return a.bytes_ != b.bytes_; }
    friend bool operator<(const TagName& a, const TagName& b) { return a.bytes_ < b.bytes_; }

private:
    explicit TagName(std::string bytes) : bytes_(std::move(bytes)) {}
    std::string bytes_;
};

struct TagNameHash {
    size_t operator()(const TagName& name) const { return std::hash<std::string>()(name.Bytes()); }
};

// `bytes` with every letter in lower case as the code page spells it, so
// that "KÜHL" and "kühl" fold alike in 1252 and "ŁĄCZE" and "łącze" in 1250;
// a letter whose small form the page lacks stays as it is.
std::string FoldLetterCase(const std::string& bytes, const CodePage& codePage);

// Whether the glob (UTF-8, as a user types it) matches the name: "?" is one
// character, whichever page. A glob with a character the page lacks is
// matched against the name's text.
bool GlobMatchName(const std::string& glob, const TagName& name, const CodePage& codePage);

}  // namespace host
