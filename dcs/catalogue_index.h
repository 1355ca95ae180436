// An index of the loaded catalogue by data set and name, so that binding
// asks once per tag text which lists hold it instead of comparing every row
// with every record. It answers only that question; which of those lists a
// column binds from stays with the binding rules.
//
// Two texts are the same key exactly when binding's own comparison
// (SameName) calls them equal: the same bytes up to the terminator, letter
// case and blanks included. Records without a name, or with an empty one,
// match no text and are left out.
//
// The index lives inside a configuration: built after the lists are parsed,
// released when binding is done, and at the latest with the catalogue. Its
// one block comes from the host services; when it cannot be had, binding
// compares every record as before, and nothing is reported.
#pragma once

#include <cstddef>
#include <cstdint>

#include "binding_rules.h"

// Indexes the six lists as they stand. Returns 1 when the index was built,
// 0 when its block could not be had (there is then no index).
int32_t BuildCatalogueIndex();

// Releases the index, if there is one.
void FreeCatalogueIndex();

// Whether an index of the current lists exists.
bool CatalogueIndexed();

// The lists that hold `name` in `dataSet`, by the index; call only while
// CatalogueIndexed(). An absent or empty name is held by none.
TagKindSet IndexedHolds(int32_t dataSet, const char* name);

// The bytes the index takes from the host heap (0 without an index).
size_t CatalogueIndexBytes();
