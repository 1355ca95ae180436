// Binding of the tags that the case names to tags of the catalogue. Each
// binding records the kind of the tag found, which picks the Marlix
// operation that later serves it.
#pragma once

#include <cstdint>
#include <cstring>

#include "hostapi/access.h"
#include "hostapi/case_columns.h"
#include "link_state.h"

// Whether a tag text names a tag: present and not empty.
inline bool HasText(const char* text) { return text != nullptr && text[0] != '\0'; }

// Whether a tag text names a catalogue tag: byte for byte, case counts, no
// trimming; an absent or empty text names nothing. The first byte is
// compared inline since most names differ there.
inline bool SameName(const char* text, const char* name) {
    return text != nullptr && name != nullptr && text[0] == name[0] && text[0] != '\0' && std::strcmp(text, name) == 0;
}

// A slot bound to nothing, with its cookie cell zeroed for the server.
inline void ResetSlot(TagSlot* slot) {
    slot->Kind = TAG_KIND_NONE;
    slot->Cookie = 0;
    slot->Found = 0;
}

// The binding rules themselves (which lists a column may bind, which match
// wins, the messages) are data, in binding_rules.h.
//
// Controller binding scans the lists in this order and, where the column's
// rule says so, a later match overwrites an earlier one.
extern const int32_t kControllerListOrder[kTagListCount];

// Whether the list of `kind` may bind controller column 1 to 5.
bool ListBindsColumn(int32_t kind, int32_t column);

// Which flag a catalogue name serves: GEN_ENABLED_FLAG, GEN_RUNNING_FLAG or
// 0. A tag that serves as the Enabled Flag is not also the Running Flag.
inline int32_t FlagOfName(const char* enabled, const char* running, const char* name) {
    if (SameName(enabled, name)) {
        return GEN_ENABLED_FLAG;
    }
    return SameName(running, name) ? GEN_RUNNING_FLAG : 0;
}

// The slot of controller column 1 to 5 within a binding.
TagSlot* SlotOfColumn(CtrlBinding* binding, int32_t column);

// Binds the five tags of controller row `row` into CtrlBindings[row] and
// shows a message for each named tag that found no usable catalogue tag.
// Returns 1 when both the OP and the OP Init tag are bound.
int32_t BindController(const DCSLinkData* d, int32_t row);

// Scans the catalogue list of `kind` for the controller row's tags; a later
// list overwrites the kind an earlier one bound.
void MatchControllerTags(const DCSLinkData* d, int32_t row, int32_t kind);

// Looks the PV row's tag up in the list of `kind` and binds the first match
// into table[row]. Returns the entry's Found mark.
uint8_t FindPVTag(const DCSLinkData* d, int32_t row, TagSlot* table, int32_t kind, PVRowIntReader dataSetOf,
                  PVRowTextReader tagOf);

// Bind one PV-export or PV-import row; 1 when bound, else 0 after a message.
int32_t BindPVExport(const DCSLinkData* d, int32_t row);
int32_t BindPVImport(const DCSLinkData* d, int32_t row);

// Binds the Enabled Flag and Running Flag tags to DI tags of the general
// data set. Returns 1 when every named flag is bound; both messages are
// shown when both fail.
uint8_t BindGeneralFlags(const DCSLinkData* d);
