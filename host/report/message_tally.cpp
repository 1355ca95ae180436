#include "report/message_tally.h"

namespace host {

namespace {

// The first line of a message, enough to recognise it in the summary.
std::string FirstLine(const std::string& text) {
    const size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end) + " ...";
}

}  // namespace

bool MessageTally::Add(const std::string& caption, const std::string& text) {
    ++total_;
    const auto found = index_.emplace(std::make_pair(caption, text), entries_.size());
    if (found.second) {
        entries_.push_back({caption, text, 0});
    }
    Entry& entry = entries_[found.first->second];
    ++entry.count;
    return entry.count <= kShownRepeats;
}

std::vector<std::string> MessageTally::NotShownLines() const {
    std::vector<std::string> lines;
    for (const Entry& entry : entries_) {
        if (entry.count > kShownRepeats) {
            lines.push_back(std::to_string(entry.count - kShownRepeats) + " more of \"" + entry.caption +
                            "\": " + FirstLine(entry.text) + " (raised " + std::to_string(entry.count) +
                            " times, the first " + std::to_string(kShownRepeats) + " shown)");
        }
    }
    return lines;
}

}  // namespace host
