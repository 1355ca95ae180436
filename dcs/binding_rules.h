// What the driver does with each tag column of the case, as data: which
// lists it searches and which match wins, whether the text is required,
// the message it shows when the tag does not bind, where in the
// configuration the column is looked at, and when the runtime moves the
// tag. The driver's binding, configuration and exchange read these rules,
// and so do the tools that must predict the driver (dcs-host's check), so
// that a change to a rule changes both.
#pragma once

#include <cstdint>

#include "hostapi/dcs_link_data.h"
#include "link_state.h"

// The tables whose rows name tags.
enum : int32_t {
    TAG_TABLE_GENERAL = 0,
    TAG_TABLE_CTRL = 1,
    TAG_TABLE_PV_EXPORT = 2,
    TAG_TABLE_PV_IMPORT = 3,
};
constexpr int32_t kTagTableCount = 4;

// What the driver does with the tag of a column.
enum : int32_t {
    TAG_USE_READ = 1,
    TAG_USE_WRITE = 2,
};

// When a tag is moved, besides the gate below: a set of these bits.
enum : uint32_t {
    TAG_MOMENT_CONFIGURE = 1u << 0,   // DCSConfigure (the flags are cleared)
    TAG_MOMENT_INITIALIZE = 1u << 1,  // DCSInitialize
    TAG_MOMENT_STEP = 1u << 2,        // DCSSimulate
    TAG_MOMENT_START = 1u << 3,       // DCSStart
    TAG_MOMENT_STOP = 1u << 4,        // DCSStop
    TAG_MOMENT_TIME_ZERO = 1u << 5,   // DCSTimeZero
    TAG_MOMENT_RESET = 1u << 6,       // DCSReset
};

// What a row must hold for the runtime to move a bound tag.
enum : int32_t {
    TAG_GATE_BOUND = 0,       // nothing more: the tag is moved whenever it is bound
    TAG_GATE_OP_ENABLED = 1,  // the controller's OPEnabled equals 1
    TAG_GATE_ACTIVE = 2,      // the PV row's Active equals 1
};

// A set of list kinds: bit (1 << kind) for each kind TAG_KIND_AI ... CALC.
using TagKindSet = uint32_t;
inline TagKindSet KindBit(int32_t kind) {
    return kind >= TAG_KIND_AI && kind <= TAG_KIND_CALC ? (1u << static_cast<uint32_t>(kind)) : 0u;
}
inline bool HasKind(TagKindSet kinds, int32_t kind) { return (kinds & KindBit(kind)) != 0; }

struct TagColumnRule {
    int32_t Table;
    int32_t Column;                // in the row's values (general data: the field)
    int32_t Use;                   // TAG_USE_READ or TAG_USE_WRITE
    int32_t Lists[kTagListCount];  // the lists searched, in the order searched
    int32_t ListCnt;
    uint8_t LastWins;             // 1: a later list overwrites an earlier match; 0: the first match stops
    uint8_t DcdServesSPOnly;      // 1: a DCD record that is also the row's SP text does not bind here
    uint8_t ReportsEmpty;         // 1: an unbound column is reported even without a text
    uint8_t UnboundStops;         // 1: an unbound column ends the configuration
    const char* UnboundMessage;   // the box shown when a named tag does not bind; %d: the row
    const char* RequiredMessage;  // ErrorMsg when a required text is missing; null: never required
    int32_t Gate;                 // TAG_GATE_...
    uint32_t Moments;             // TAG_MOMENT_... bits
    const char* Role;             // the role text of the runtime messages ("SP", "PV", ...)
    const char* Owner;            // the owner text ("controller", "PV Export", ...)
};

// The rule of a tag column; null for a column that names no tag (the data
// sets, the Mapping).
const TagColumnRule* TagColumnRuleOf(int32_t table, int32_t column);

// Within a moment the runtime works pass by pass, and within a pass row by
// row, each row's tag columns in column order: at DCSConfigure the Enabled
// Flag is cleared, then the Running Flag; at DCSInitialize the modes are
// captured (Mode tags set to 0), then each controller's SP Init and OP Init
// pushed, then the PV exports written, then the Enabled Flag set; at
// DCSStart the modes restored, the initial values pushed, the Running Flag
// set; at DCSStop the modes captured, the Running Flag cleared; in a step
// the controllers' tags moved, the PV exports written, the PV imports read.
// The pass of a column at `moment` (one TAG_MOMENT_ bit), 1 first; 0 when
// the column's tag is not moved then. A later pass writes last.
int32_t TagMovePass(const TagColumnRule& rule, uint32_t moment);

// Every tag column, table by table in column order.
extern const TagColumnRule kTagColumnRules[];
extern const int32_t kTagColumnRuleCount;

// Whether the field definitions make the text of a column one that the
// configuration requires: a text field among the columns the driver checks
// before it binds (every controller's OP and OP Init, every text field of
// the PV rows). Without a definition table no field is known to be text.
bool FieldIsText(const DCSLinkData* d, int32_t table, int32_t column);
bool TextRequired(const DCSLinkData* d, int32_t table, int32_t column);

// The checks of required texts, in the order the configuration runs them;
// the first that fails ends the configuration with its ErrorMsg. Column -1:
// every text field of the table's rows.
struct RequiredTextCheck {
    int32_t Table;
    int32_t Column;
    const char* Message;
};
constexpr int32_t kRequiredTextCheckCount = 4;
extern const RequiredTextCheck kRequiredTextChecks[kRequiredTextCheckCount];

// Whether row `row` of the check's table lacks a text the check requires.
bool RowLacksRequiredText(const DCSLinkData* d, const RequiredTextCheck& check, int32_t row);

// The tables in the order the configuration binds them (after the
// required texts, the string's length and the lists): the general data's
// flags, then every controller, PV export and PV import in row order. The
// first table with a row that does not bind ends the configuration; within
// the row tables binding stops at that row.
extern const int32_t kBindingOrder[kTagTableCount];

// The lists of the catalogue as the driver loaded them that hold `name` in
// `dataSet`, through the catalogue's index while there is one. An absent or
// empty name is held by none.
TagKindSet CatalogueHolds(int32_t dataSet, const char* name);

// Of the lists in `held`, those the column may bind from. `takenBySP`: the
// name is also the row's SP text (the DCD rule).
TagKindSet BindableKinds(const TagColumnRule* rule, TagKindSet held, bool takenBySP);

// The kind the driver binds to the column when `held` hold the name: the
// last or the first bindable list in the rule's order; TAG_KIND_NONE when
// none may bind.
int32_t BoundKind(const TagColumnRule* rule, TagKindSet held, bool takenBySP);

// One answer for one column, name and data set against the loaded catalogue.
struct TagColumnAnswer {
    TagKindSet Held;        // the lists that hold the name in the data set
    TagKindSet Candidates;  // those the column may bind from
    int32_t Winner;         // the kind the driver binds; TAG_KIND_NONE
};
// Returns 0 (and leaves *answer zeroed) for a column that names no tag.
int32_t QueryTagColumn(int32_t table, int32_t column, int32_t dataSet, const char* name, const char* spText,
                       TagColumnAnswer* answer);

// Whether the runtime moves a bound tag of this column in the row as it
// stands: the rule's gate against the row's OPEnabled or Active flag (the
// flags count only when they equal 1).
bool GateOpen(const TagColumnRule* rule, int16_t opEnabledOrActive);
