#include "suggest.h"

#include <algorithm>

#include "case/near_words.h"
#include "text/tag_name.h"

namespace host {

namespace {

uint64_t Hash(const char* text, size_t size) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (size_t i = 0; i < size; ++i) {
        h ^= static_cast<unsigned char>(text[i]);
        h *= 1099511628211ull;
    }
    return h;
}
uint64_t Hash(const std::string& text) { return Hash(text.data(), text.size()); }

// The key without its character at `at`.
uint64_t DeletionHash(const std::string& key, size_t at) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < key.size(); ++i) {
        if (i == at) continue;
        h ^= static_cast<unsigned char>(key[i]);
        h *= 1099511628211ull;
    }
    return h;
}

// The part of a key before its last ".", where the suffix (.SP, .PV, .OUT)
// begins; the whole key when it has none.
size_t StemLength(const std::string& key) {
    const size_t dot = key.rfind('.');
    return dot == std::string::npos || dot == 0 ? key.size() : dot;
}

// 0 marks an empty slot, so no text may hash to it.
uint64_t Slot(uint64_t hash) { return hash == 0 ? 1 : hash; }

// A stem shared by more keys than this says nothing about the typo (a
// plant whose names are all "TAG.x"): its keys are not compared.
constexpr size_t kStemFanOut = 64;

}  // namespace

std::string SuggestionIndex::Normal(const std::string& name) const {
    std::string key;
    key.reserve(name.size());
    for (char c : FoldLetterCase(name, codePage_)) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '-' || c == '_') continue;
        key += c == 'o' ? '0' : c;
    }
    return key;
}

SuggestionIndex::SuggestionIndex(const CatalogueParse& parse, const CodePage& codePage)
    : parse_(parse), codePage_(codePage) {}

void SuggestionIndex::HashIndex::Build(std::vector<std::pair<uint64_t, uint32_t>>& pairs) {
    for (auto& pair : pairs) pair.first = Slot(pair.first);
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    size_t distinct = 0;
    for (size_t i = 0; i < pairs.size(); ++i) distinct += i == 0 || pairs[i].first != pairs[i - 1].first ? 1 : 0;
    size_t size = 16;
    while (size < 2 * distinct) size *= 2;
    slots.assign(size, 0);
    ranges.assign(size, {0, 0});
    keys.clear();
    keys.reserve(pairs.size());
    for (size_t i = 0; i < pairs.size();) {
        const uint64_t hash = pairs[i].first;
        const uint32_t begin = static_cast<uint32_t>(keys.size());
        for (; i < pairs.size() && pairs[i].first == hash; ++i) keys.push_back(pairs[i].second);
        size_t at = static_cast<size_t>(hash) & (size - 1);
        while (slots[at] != 0) at = (at + 1) & (size - 1);
        slots[at] = hash;
        ranges[at] = {begin, static_cast<uint32_t>(keys.size())};
    }
}

template <typename Visit>
void SuggestionIndex::HashIndex::Find(uint64_t hash, Visit visit) const {
    if (slots.empty()) return;
    hash = Slot(hash);
    const size_t mask = slots.size() - 1;
    for (size_t at = static_cast<size_t>(hash) & mask; slots[at] != 0; at = (at + 1) & mask) {
        if (slots[at] != hash) continue;
        for (uint32_t k = ranges[at].first; k < ranges[at].second; ++k) visit(keys[k]);
        return;
    }
}

void SuggestionIndex::Build() const {
    built_ = true;
    std::vector<std::pair<uint64_t, uint32_t>> distinct;  // hash of the key, first entry
    std::vector<std::pair<std::string, size_t>> normal;
    normal.reserve(parse_.entries.size());
    for (size_t i = 0; i < parse_.entries.size(); ++i) {
        if (parse_.entries[i].stored) normal.emplace_back(Normal(parse_.entries[i].name), i);
    }
    std::stable_sort(normal.begin(), normal.end(),
                     [](const std::pair<std::string, size_t>& a, const std::pair<std::string, size_t>& b) {
                         return a.first < b.first;
                     });
    for (const auto& item : normal) {
        if (keys_.empty() || keys_.back() != item.first) {
            keys_.push_back(item.first);
            entries_.emplace_back();
        }
        entries_.back().push_back(item.second);
    }
    for (auto& list : entries_) std::sort(list.begin(), list.end());
    std::vector<std::pair<uint64_t, uint32_t>> byKey, byStem, byDeletion;
    byKey.reserve(keys_.size());
    byStem.reserve(keys_.size());
    size_t deletions = 0;
    for (const std::string& key : keys_) deletions += key.size();
    byDeletion.reserve(deletions);
    for (uint32_t k = 0; k < keys_.size(); ++k) {
        const std::string& key = keys_[k];
        byKey.emplace_back(Hash(key), k);
        byStem.emplace_back(Hash(key.data(), StemLength(key)), k);
        for (size_t at = 0; at < key.size(); ++at) byDeletion.emplace_back(DeletionHash(key, at), k);
    }
    byKey_.Build(byKey);
    byDeletion_.Build(byDeletion);
    byStem_.Build(byStem);
}

std::vector<Suggestion> SuggestionIndex::Nearest(const std::string& text, const std::vector<int32_t>& kinds,
                                                 int32_t dataSet, size_t most) const {
    if (!built_) Build();
    const std::string query = Normal(text);
    if (query.empty()) return {};
    // Up to two edits once the usual slips are set aside; one for short names.
    const size_t bound = query.size() <= 4 ? 1 : 2;
    std::vector<uint32_t> candidates;
    auto take = [&](uint32_t k) { candidates.push_back(k); };
    auto allowed = [&](uint32_t k) {
        for (size_t entry : entries_[k]) {
            const CatalogueEntry& e = parse_.entries[entry];
            if (e.name != text && std::find(kinds.begin(), kinds.end(), e.kind) != kinds.end()) return true;
        }
        return false;
    };
    // A key equal once the usual slips are set aside beats any edit, so
    // nothing further is looked for.
    byKey_.Find(Hash(query), take);
    bool equal = false;
    for (uint32_t k : candidates) equal = equal || (keys_[k] == query && allowed(k));
    if (!equal) {
        // Keys one longer (a character dropped in the text), one shorter
        // (one too many), or one replaced or swapped.
        byDeletion_.Find(Hash(query), take);
        for (size_t at = 0; at < query.size(); ++at) {
            const uint64_t h = DeletionHash(query, at);
            byKey_.Find(h, take);
            byDeletion_.Find(h, take);
        }
        // The same stem with another suffix.
        std::vector<uint32_t> stem;
        byStem_.Find(Hash(query.data(), StemLength(query)), [&](uint32_t k) { stem.push_back(k); });
        if (stem.size() <= kStemFanOut) candidates.insert(candidates.end(), stem.begin(), stem.end());
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    struct Ranked {
        size_t normal;
        size_t written;
        bool otherSet;
        size_t entry;
    };
    std::vector<Ranked> ranked;
    const size_t stemLength = StemLength(query);
    for (uint32_t k : candidates) {
        const std::string& key = keys_[k];
        const bool sameStem = StemLength(key) == stemLength && key.compare(0, stemLength, query, 0, stemLength) == 0 &&
                              stemLength < query.size();
        const size_t limit = sameStem ? query.size() + key.size() : bound;
        const size_t normal = EditDistance(query, key, limit);
        if (normal > limit) continue;
        for (size_t entry : entries_[k]) {
            const CatalogueEntry& e = parse_.entries[entry];
            if (e.name == text || std::find(kinds.begin(), kinds.end(), e.kind) == kinds.end()) continue;
            ranked.push_back({normal, EditDistance(text, e.name, 64), e.dataSet != dataSet, entry});
        }
    }
    std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.normal != b.normal) return a.normal < b.normal;
        if (a.written != b.written) return a.written < b.written;
        if (a.otherSet != b.otherSet) return !a.otherSet;
        return a.entry < b.entry;
    });
    // A usual slip beats any edit; an edit within the bound beats a swapped
    // suffix that is further off.
    const size_t best = ranked.empty() ? 0 : ranked.front().normal;
    std::vector<Suggestion> out;
    for (const Ranked& r : ranked) {
        if ((best == 0 && r.normal > 0) || (best <= bound && r.normal > bound)) break;
        const CatalogueEntry& e = parse_.entries[r.entry];
        bool seen = false;
        for (const Suggestion& s : out) seen = seen || (s.name == e.name && s.dataSet == e.dataSet);
        if (seen) continue;
        out.push_back({e.name, KindName(e.kind), e.dataSet});
        if (out.size() == most) break;
    }
    return out;
}

}  // namespace host
