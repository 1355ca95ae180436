// The catalogue names nearest to a text that names no tag: the usual slips
// of an integrator typing tag names (letter case, blanks, "-" against "_"
// or nothing, 0 against O, a letter too many or too few, a swapped suffix)
// found in an index built once for the whole check, so that a plant whose
// every row is misspelt costs little more to check than one that binds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diagnose/catalogue_parse.h"
#include "diagnose/diagnosis.h"
#include "text/code_page.h"

namespace host {

class SuggestionIndex {
public:
    SuggestionIndex(const CatalogueParse& parse, const CodePage& codePage);

    // At most `most` stored names near `text`, of the given kinds, best
    // first: the fewest edits once case, blanks, separators and 0/O are set
    // aside, then the fewest edits as written, then the row's data set,
    // then catalogue order. The text itself is never suggested.
    std::vector<Suggestion> Nearest(const std::string& text, const std::vector<int32_t>& kinds, int32_t dataSet,
                                    size_t most = 3) const;

    // The key that slips are compared on: lower case, blanks, "-" and "_"
    // dropped, the letter o read as the digit 0; letters folded as the
    // code page spells them.
    std::string Normal(const std::string& name) const;

private:
    void Build() const;
    const CatalogueParse& parse_;
    CodePage codePage_;
    mutable bool built_ = false;
    // Distinct normal keys and the stored entries behind each.
    mutable std::vector<std::string> keys_;
    mutable std::vector<std::vector<size_t>> entries_;
    // Keys by the hash of a text: the keys themselves, the keys with one
    // character deleted, and the keys' stems (up to the last "."). A hash
    // that collides only costs a comparison.
    struct HashIndex {
        std::vector<uint32_t> keys;                         // key numbers, grouped by hash
        std::vector<uint64_t> slots;                        // open addressing: a hash, 0 for none
        std::vector<std::pair<uint32_t, uint32_t>> ranges;  // of each slot in keys
        void Build(std::vector<std::pair<uint64_t, uint32_t>>& pairs);
        template <typename Visit>
        void Find(uint64_t hash, Visit visit) const;
    };
    mutable HashIndex byKey_;
    mutable HashIndex byDeletion_;
    mutable HashIndex byStem_;
};

}  // namespace host
