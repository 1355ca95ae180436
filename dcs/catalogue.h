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

// Returns the next token of the writable, terminated text at *cursor, inside
// that text, and moves the cursor past it. Writes terminators into the text.
// At the end of the text it returns an empty token and leaves the cursor.
char* NextToken(char** cursor);

// Releases the names and the block of a list of the given kind and leaves
// it null and empty. A list without a block is left alone.
void FreeTagList(TagList* list, int32_t kind);

// FreeTagList for all six lists, in list order.
void FreeTagCatalogue();

// What the parse of the initialization string tells an observer about each
// token it takes. The driver loads without one; a tool that must see more
// than the lists keep (where each token stood, a header taken as a field of
// an entry, where an empty token ended the parse) passes one to its load.
enum : int32_t {
    CATALOGUE_EVENT_BEGIN = 1,  // Token: the start of the text, before the parse writes into it
    CATALOGUE_EVENT_HEADER,     // Token made Section current
    CATALOGUE_EVENT_STRAY,      // Token stood before the first header: reported and dropped
    CATALOGUE_EVENT_ENTRY,      // Token names an entry of Section; Stored 1 when its record was kept
    CATALOGUE_EVENT_FIELD,      // Token is field Field of the entry: 0 the dropped one, 1 the data set, 2... numbers
    CATALOGUE_EVENT_END,        // Token: the empty token that ended the parse
};

struct CatalogueEvent {
    int32_t Kind;
    int32_t Section;    // the section current when the token was taken
    const char* Token;  // inside the parsed text; terminated once the event is seen
    int32_t Field;      // FIELD only
    int32_t Header;     // FIELD only: the section the token would open as a header, else 0
    int32_t DataSet;    // FIELD 1 only: the value the record takes
    int32_t Stored;     // ENTRY only
};

struct CatalogueObserver {
    void (*OnEvent)(void* context, const CatalogueEvent* event);
    void* Context;
};

// Fetches the initialization string and appends its entries to the lists,
// telling `observer` (null: none) of every token. Returns 1 when a string
// was fetched and parsed, whatever it held; 0 when it was empty (after the
// warning box) or its buffer could not be had.
int32_t LoadTagCatalogue(const CatalogueObserver* observer);

// The section (1 to 6) a token opens as a header, or 0 when it is none.
int32_t HeaderSection(const char* token);
