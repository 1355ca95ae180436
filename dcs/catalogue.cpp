#include "catalogue.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "catalogue_index.h"
#include "messages.h"
#include "platform/iface.h"
#include "platform/mrx3p.h"

namespace {

const char* const kSectionHeaders[kTagListCount] = {"*AI*", "*AO*", "*DI*", "*DO*", "*DCD*", "*CALC*"};
const char* const kKindNames[kTagListCount] = {"AI", "AO", "DI", "DO", "DCD", "CALC"};

bool IsLeadingBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Whether a character ends an unquoted token: a separator or the end of the
// text. One table look-up per character; the scan is most of a parse.
struct TokenEnds {
    bool at[256] = {};
    constexpr TokenEnds() {
        at[static_cast<unsigned char>('\0')] = true;
        at[static_cast<unsigned char>(',')] = true;
        at[static_cast<unsigned char>(';')] = true;
        at[static_cast<unsigned char>('\n')] = true;
    }
};
constexpr TokenEnds kTokenEnds;
bool EndsToken(char c) { return kTokenEnds.at[static_cast<unsigned char>(c)]; }

// The section a token opens (1 to 6), or 0 when it is no header. Every
// header begins with '*', and most tokens met here are tag names, which
// rarely do.
int32_t SectionOfHeader(const char* token) {
    if (token[0] != '*') {
        return TAG_KIND_NONE;
    }
    for (int32_t i = 0; i < kTagListCount; ++i) {
        if (std::strcmp(token, kSectionHeaders[i]) == 0) {
            return i + 1;
        }
    }
    return TAG_KIND_NONE;
}

// strtol with base 0, clamped to the 32-bit range whatever the width of
// long on the platform.
int32_t ParseDataSet(const char* token) {
    const long long value = std::strtoll(token, nullptr, 0);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

double ParseNumber(const char* token) { return std::atof(token); }

// Extra tokens an entry takes after its name: the dropped field, the data
// set, then the kind's numbers.
int32_t NumbersOfKind(int32_t kind) {
    switch (kind) {
    case TAG_KIND_AI:
    case TAG_KIND_AO: return 2;
    case TAG_KIND_DCD: return kDcdNumberCount;
    default: return 0;
    }
}

// Tells the observer, if any, about one token of the parse.
void Observe(const CatalogueObserver* observer, int32_t kind, int32_t section, const char* token, int32_t stored) {
    if (observer != nullptr) {
        const CatalogueEvent event = {kind, section, token, 0, 0, 0, stored};
        observer->OnEvent(observer->Context, &event);
    }
}

// The same for a field of an entry; returns the token for the caller.
const char* ObserveField(const CatalogueObserver* observer, int32_t section, int32_t field, const char* token,
                         int32_t dataSet) {
    if (observer != nullptr) {
        const CatalogueEvent event = {CATALOGUE_EVENT_FIELD, section, token, field, SectionOfHeader(token), dataSet, 0};
        observer->OnEvent(observer->Context, &event);
    }
    return token;
}

// Per parse: whether the user was already told that a list is full, or
// that tags were dropped for lack of memory.
struct ParseState {
    bool toldFull[kTagListCount];
    bool toldDropped;
};

// Without this the user would later read "unknown tag" for a tag that
// Marlix does serve. The text needs no formatting, so no memory, to show.
void TellDropped(ParseState* state) {
    if (!state->toldDropped) {
        state->toldDropped = true;
        ShowMessage(kMsgTagsDropped, kTitleRuntimeError);
    }
}

// Consumes the fields of an entry whose name is already taken and fills
// them into record (null: the entry is not stored, its tokens still go).
void ReadEntryFields(char** cursor, int32_t kind, TagHead* record, const CatalogueObserver* observer) {
    ObserveField(observer, kind, 0, NextToken(cursor), 0);  // the dropped field
    const char* dataSetToken = NextToken(cursor);
    const int32_t dataSet = ParseDataSet(dataSetToken);
    ObserveField(observer, kind, 1, dataSetToken, dataSet);
    double numbers[kDcdNumberCount] = {};
    const int32_t numberCount = NumbersOfKind(kind);
    for (int32_t i = 0; i < numberCount; ++i) {
        numbers[i] = ParseNumber(ObserveField(observer, kind, 2 + i, NextToken(cursor), 0));
    }
    if (record == nullptr) {
        return;
    }
    record->DataSet = dataSet;
    record->Reserved = 0;
    if (kind == TAG_KIND_AI || kind == TAG_KIND_AO) {
        auto* analog = reinterpret_cast<AnalogTag*>(record);
        analog->Number1 = numbers[0];
        analog->Number2 = numbers[1];
    } else if (kind == TAG_KIND_DCD) {
        auto* dcd = reinterpret_cast<DcdTag*>(record);
        std::memcpy(dcd->Numbers, numbers, sizeof numbers);
    }
}

// Makes room for one more record and a copy of its name. Returns the new
// record (with its name set), or null when the list is full or the host has
// no memory; the list is left as it was then.
TagHead* AppendRecord(int32_t kind, const char* name, size_t nameLength, ParseState* state) {
    const int32_t list = kind - 1;
    TagList& tags = TagListOf(kind);
    if (tags.Count >= kTagListCapacity) {
        if (!state->toldFull[list]) {
            state->toldFull[list] = true;
            ShowFormattedMessage(kTitleRuntimeError, kMsgTagListFull, kKindNames[list], kTagListCapacity,
                                 kKindNames[list]);
        }
        return nullptr;
    }
    const size_t recordSize = static_cast<size_t>(TagRecordSize(kind));
    void* grown = IFace_realloc(tags.Items, (static_cast<size_t>(tags.Count) + 1) * recordSize);
    if (grown == nullptr) {
        TellDropped(state);
        return nullptr;
    }
    tags.Items = grown;
    const size_t nameSize = nameLength + 1;
    char* copy = static_cast<char*>(IFace_malloc(nameSize));
    if (copy == nullptr) {
        TellDropped(state);
        return nullptr;  // the grown block keeps its spare room for the next entry
    }
    std::memcpy(copy, name, nameSize);
    TagHead* record = TagAt(tags, kind, tags.Count);
    record->Name = copy;
    tags.Count = static_cast<int16_t>(tags.Count + 1);
    return record;
}

// Every list without a block gets one of a single record. A list whose
// block already exists (a second load without reset) keeps it, and new
// entries go after the old ones.
void EnsureListBlocks() {
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        if (TagListOf(kind).Items == nullptr) {
            TagListOf(kind).Items = IFace_malloc(static_cast<size_t>(TagRecordSize(kind)));
        }
    }
}

// NextToken, also giving the token's length, which the scan knows anyway.
char* TakeToken(char** cursor, size_t* length);

void ParseInitString(char* text, const CatalogueObserver* observer) {
    ParseState state = {};
    char* cursor = text;
    int32_t section = TAG_KIND_NONE;
    Observe(observer, CATALOGUE_EVENT_BEGIN, section, text, 0);
    size_t length = 0;
    char* token = TakeToken(&cursor, &length);
    for (; *token != '\0'; token = TakeToken(&cursor, &length)) {
        const int32_t header = SectionOfHeader(token);
        if (header != TAG_KIND_NONE) {
            section = header;
            Observe(observer, CATALOGUE_EVENT_HEADER, section, token, 0);
        } else if (section != TAG_KIND_NONE) {
            TagHead* record = AppendRecord(section, token, length, &state);
            Observe(observer, CATALOGUE_EVENT_ENTRY, section, token, record != nullptr ? 1 : 0);
            ReadEntryFields(&cursor, section, record, observer);
        } else {
            Observe(observer, CATALOGUE_EVENT_STRAY, section, token, 0);
            ShowFormattedMessage(kTitleRuntimeError, kMsgUnknownTagType, static_cast<int>(section));
        }
    }
    Observe(observer, CATALOGUE_EVENT_END, section, token, 0);
}

char* TakeToken(char** cursor, size_t* length) {
    char* p = *cursor;
    while (IsLeadingBlank(*p)) {
        ++p;
    }
    char* start = p;
    char* closing = nullptr;
    if (*p == '"' || *p == '\'') {
        const char quote = *p;
        start = p + 1;
        closing = start;
        while (*closing != '\0' && *closing != quote) {
            ++closing;
        }
        p = closing;
    }
    while (!EndsToken(*p)) {
        ++p;
    }
    char* const end = p;
    if (*p != '\0') {
        *p = '\0';
        ++p;
        while (IsLeadingBlank(*p)) {
            ++p;
        }
    }
    *cursor = p;
    // Whatever stood between the closing quote and the separator is cut off.
    // An empty pair of quotes is left alone, so its token is not empty and
    // does not end the parse.
    if (closing != nullptr && closing != start) {
        *closing = '\0';
        *length = static_cast<size_t>(closing - start);
    } else {
        *length = static_cast<size_t>(end - start);
    }
    return start;
}

}  // namespace

int32_t HeaderSection(const char* token) { return SectionOfHeader(token); }

char* NextToken(char** cursor) {
    size_t length = 0;
    return TakeToken(cursor, &length);
}

int32_t LoadTagCatalogue(const CatalogueObserver* observer) {
    // An index describes the lists as they stood when it was built.
    FreeCatalogueIndex();
    const int32_t length = GetInitStringLength();
    if (length <= kEmptyInitStringLength) {
        ShowMessage(kMsgEmptyInitString, kTitleLoadWarning);
        return 0;
    }
    // The zero fill is the terminator: the server may write up to length
    // characters and is given no size.
    char* buffer = static_cast<char*>(IFace_calloc(static_cast<size_t>(length) + 1, 1));
    if (buffer == nullptr) {
        ShowMessage(kMsgInitStringAlloc, kTitleConfigError);
        return 0;
    }
    GetInitString(buffer);
    EnsureListBlocks();
    ParseInitString(buffer, observer);
    IFace_free(buffer);
    return 1;
}

void FreeTagList(TagList* list, int32_t kind) {
    FreeCatalogueIndex();  // it points into the records
    if (list->Items == nullptr) {
        return;
    }
    for (int32_t i = 0; i < list->Count; ++i) {
        TagHead* record = TagAt(*list, kind, i);
        if (record->Name != nullptr) {
            IFace_free(record->Name);
        }
    }
    IFace_free(list->Items);
    list->Items = nullptr;
    list->Count = 0;
}

void FreeTagCatalogue() {
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        FreeTagList(&TagListOf(kind), kind);
    }
}
