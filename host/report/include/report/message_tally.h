// The driver's messages as a run shows them: a message raised over and over
// (one per line of a broken string, one per failing step) would bury
// everything else, so each distinct message is shown in full only its first
// kShownRepeats times and counted after that.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace host {

constexpr int64_t kShownRepeats = 20;

class MessageTally {
public:
    // Counts one message; true when it is to be shown in full.
    bool Add(const std::string& caption, const std::string& text);

    // Every message counted, shown or not.
    int64_t Total() const { return total_; }

    // One line for each message raised more than kShownRepeats times, with
    // the exact number not shown, in the order the messages first came.
    std::vector<std::string> NotShownLines() const;

private:
    struct Entry {
        std::string caption;
        std::string text;
        int64_t count;
    };
    std::map<std::pair<std::string, std::string>, size_t> index_;
    std::vector<Entry> entries_;  // first-seen order
    int64_t total_ = 0;
};

}  // namespace host
