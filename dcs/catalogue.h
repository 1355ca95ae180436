// The tag catalogue: the Marlix initialization string fetched and parsed
// into six tag lists, one per kind, in the order AI, AO, DI, DO, DCD, CALC.
#pragma once

#include <cstdint>

#include "link_state.h"

// A reported length of this many characters or fewer is an empty string:
// it is the length of the six bare section headers, each with its line feed.
constexpr int32_t kEmptyInitStringLength = 33;

// Most records a list can hold: its count is a signed 16-bit number.
constexpr int32_t kTagListCapacity = 32767;

// Fetches the initialization string and appends its entries to the lists.
// Returns 1 when a string was fetched and parsed, whatever it held; 0 when
// it was empty (after the warning box) or its buffer could not be had.
int32_t LoadTagCatalogue();

// Returns the next token of the writable, terminated text at *cursor, inside
// that text, and moves the cursor past it. Writes terminators into the text.
// At the end of the text it returns an empty token and leaves the cursor.
char* NextToken(char** cursor);

// Releases the names and the block of a list of the given kind and leaves
// it null and empty. A list without a block is left alone.
void FreeTagList(TagList* list, int32_t kind);

// FreeTagList for all six lists, in list order.
void FreeTagCatalogue();
