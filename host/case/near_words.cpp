#include "case/near_words.h"

#include <algorithm>
#include <cctype>

namespace host {

size_t EditDistance(const std::string& a, const std::string& b, size_t bound) {
    const size_t n = a.size(), m = b.size();
    if ((n > m ? n - m : m - n) > bound) return bound + 1;
    // Three rows of the optimal-string-alignment table, reused from call to
    // call (a check asks this for every misspelt name); a row whose every
    // cell is past the bound ends the count.
    thread_local std::vector<size_t> rows;
    if (rows.size() < 3 * (m + 1)) rows.resize(3 * (m + 1));
    size_t* before = rows.data();
    size_t* previous = before + (m + 1);
    size_t* current = previous + (m + 1);
    for (size_t j = 0; j <= m; ++j) previous[j] = j;
    for (size_t i = 1; i <= n; ++i) {
        current[0] = i;
        size_t smallest = current[0];
        for (size_t j = 1; j <= m; ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            size_t v = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) v = std::min(v, before[j - 2] + 1);
            current[j] = v;
            smallest = std::min(smallest, v);
        }
        if (smallest > bound) return bound + 1;
        size_t* oldest = before;
        before = previous;
        previous = current;
        current = oldest;
    }
    return std::min(previous[m], bound + 1);
}

namespace {

std::string Plain(const std::string& word) {
    std::string plain;
    for (char c : word) {
        if (c == ' ' || c == '-' || c == '_' || c == '\t') continue;
        plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return plain;
}

}  // namespace

std::vector<std::string> NearestWords(const std::string& word, const std::vector<std::string>& candidates,
                                      size_t most) {
    const std::string plain = Plain(word);
    std::vector<std::pair<size_t, size_t>> found;  // distance, index
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i] == word) continue;
        const std::string other = Plain(candidates[i]);
        const size_t bound = std::min(plain.size(), other.size()) <= 4 ? 1 : 2;
        const size_t d = EditDistance(plain, other, bound);
        if (d <= bound) found.emplace_back(d, i);
    }
    std::stable_sort(
        found.begin(), found.end(),
        [](const std::pair<size_t, size_t>& a, const std::pair<size_t, size_t>& b) { return a.first < b.first; });
    // A word that differs only in case or separators is the one meant.
    std::vector<std::string> words;
    for (size_t k = 0; k < found.size() && words.size() < most; ++k) {
        if (found[k].first > 0 && found.front().first == 0) break;
        words.push_back(candidates[found[k].second]);
    }
    return words;
}

std::string DidYouMean(const std::vector<std::string>& words) {
    if (words.empty()) return {};
    std::string text = "did you mean ";
    for (size_t i = 0; i < words.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + ("\"" + words[i] + "\"");
    }
    return text + "?";
}

}  // namespace host
