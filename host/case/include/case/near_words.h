// How far apart two names are, for the suggestions that follow an unknown
// key or tag name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace host {

// Edits between two texts (insert, delete, replace, swap of neighbours),
// or `bound` + 1 when there are more than `bound`.
size_t EditDistance(const std::string& a, const std::string& b, size_t bound);

// The words of `candidates` nearest to `word`, ignoring letter case, blanks
// and "-" or "_": at most `most`, each at most two edits away (one for words
// of four characters or fewer), nearest first.
std::vector<std::string> NearestWords(const std::string& word, const std::vector<std::string>& candidates,
                                      size_t most = 3);

// "did you mean \"a\" or \"b\"?" for the words found; empty when none is.
std::string DidYouMean(const std::vector<std::string>& words);

}  // namespace host
