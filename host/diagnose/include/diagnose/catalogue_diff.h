// What changes between two initialization strings: the tags added, removed
// and changed in a way the binding can see, and, for a case, every tag text
// whose verdict differs when the case is checked against each string.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnose/diagnosis.h"
#include "diagnose/tag_inventory.h"
#include "text/code_page.h"

namespace host {

struct TagChange {
    std::string change;  // "added", "removed", "data-set", "kind", "duplicate"
    std::string name;
    int32_t dataSet = 0;     // the new one for "data-set"
    int32_t oldDataSet = 0;  // "data-set" only
    std::string oldKinds;    // "AI", "AI, CALC"; empty when absent
    std::string newKinds;
    int32_t oldLine = 0;  // of the first entry; 0 when absent
    int32_t newLine = 0;
    std::string text;  // plain words, with what it does to a binding
};

// One tag text of one row whose verdict differs between the strings.
struct RowChange {
    std::string table;
    int32_t index = 0;
    std::string row;  // the host's name of the row
    int32_t line = 0;
    std::string field;
    std::string text;
    TagDiagnosis before;
    TagDiagnosis after;
};

struct CatalogueDiff {
    std::string oldPath;
    std::string newPath;
    // The code page of the tag names' bytes in `tags`; the rows' texts come
    // from checks, decoded already.
    CodePage codePage = *CodePage::Find(kDefaultCodePage);
    std::vector<TagChange> tags;  // by name, then data set
    bool withCase = false;
    std::string casePath;
    bool oldConfigured = false;
    bool newConfigured = false;
    std::vector<RowChange> rows;  // in the check's row order
};

// The tag changes between two inventories.
std::vector<TagChange> DiffInventories(const TagInventory& before, const TagInventory& after);

// The verdicts that differ between two checks of the same case.
std::vector<RowChange> DiffVerdicts(const Diagnosis& before, const Diagnosis& after);

// 1 when anything changed that matters: to the case when one was given
// (a verdict, or whether it configures), else any tag change.
int ExitStatusOf(const CatalogueDiff& diff);

}  // namespace host
