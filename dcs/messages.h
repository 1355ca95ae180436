// Every text the driver shows the user, and the routines that show them.
//
// The texts are the system's own and must stay exactly as they are: runs of
// blanks after a line feed line the second line up under the first in the
// host's message box.
#pragma once

#include <cstdint>

// Titles.
constexpr const char kTitleRuntimeError[] = "KVMRXNT Error";
constexpr const char kTitleBinding[] = "MARLIXNT";
constexpr const char kTitleConfigError[] = "DCSConfigError";
constexpr const char kTitleLoadWarning[] = "DCSLoadWarning";
constexpr const char kTitleApi[] = "KVDCSAPI";
constexpr const char kTitleApiError[] = "KVDCSAPI Error";

// Runtime tag errors (formatted by the report routines below).
constexpr const char kMsgReadError[] = "Error reading %s tag for %s tag %s of %s at index %d";
constexpr const char kMsgWriteError[] = "Error writing %s tag for %s tag %s of %s at index %d\n%s";
constexpr const char kMsgBadTagType[] = "Bad tag type %d for %s tag %s of %s at index %d\n";
constexpr const char kDetailCalcWrite[] = "\nCALC tag must be in External mode to set it from an external system";

// Link flags.
constexpr const char kMsgEnabledFlagWrite[] = "Unable to set DI tag for General Data Enabled Flag";
constexpr const char kMsgRunningFlagWrite[] = "Unable to set DI tag for General Data Running Flag";

// Tag catalogue.
constexpr const char kMsgUnknownTagType[] = "Unknown tag type %d encountered when initializing tag lists";
constexpr const char kMsgEmptyInitString[] =
    "Empty initialization string from Marlix.\nDCS link cannot be enabled.\n\n"
    "Start the Marlix Non Control Tags Application.\nClose (Save) current Kavro case.\n"
    "Reload stored case or recreate new case";
// Our own: a list's record count is a signed 16-bit number.
constexpr const char kMsgTagListFull[] =
    "Too many %s tags in the initialization string from Marlix.\n"
    "Only the first %d %s tags can be used; the rest are ignored";

// Our own: the host services had no memory for some tags of the string.
constexpr const char kMsgTagsDropped[] =
    "Not enough memory for all tags in the initialization string from Marlix.\n"
    "The tags that could not be stored are ignored";

// Our own: the host services had no buffer for the initialization string.
constexpr const char kMsgInitStringAlloc[] =
    "Cannot Enable DCS Link\n\nNot enough memory for the initialization string from Marlix";

// Configuration (the first four go to the host's error service).
constexpr const char kMsgOPTagsMissing[] = "OP Tags must be specified for all controllers";
constexpr const char kMsgOPInitTagsMissing[] = "OP Init Tags must be specified for all controllers";
constexpr const char kMsgPVTagFieldError[] = "DCSPVTagFieldError";
constexpr const char kMsgPVImportTagFieldError[] = "DCSPVImportTagFieldError";
constexpr const char kMsgCannotEnableLink[] =
    "Cannot Enable DCS Link\n\nStart the Marlix Non Control Tags Application.\n"
    "Close (Save) existing Kavro case.\nReload stored case or recreate new case.\n Enable the link";
constexpr const char kMsgCaseMustBeReloaded[] = "Cannot Enable DCS Link until the Kavro case is reloaded or recreated";
// Our own: the host services could not supply a binding table.
constexpr const char kMsgBindingTableAlloc[] = "Cannot Enable DCS Link\n\nNot enough memory for the %s tag bindings";

// Tag binding.
constexpr const char kMsgEnabledFlagUnbound[] =
    "Incorrect data set or unknown GenData Enabled Flag tag\n             Enabled Flag tag must be DI";
constexpr const char kMsgRunningFlagUnbound[] =
    "Incorrect data set or unknown GenData Running Flag tag\n             Running Flag tag must be DI";
constexpr const char kMsgSPTagUnbound[] = "Incorrect data set or unknown SP tag for controller at index %d";
constexpr const char kMsgSPInitTagUnbound[] =
    "Incorrect data set or unknown SPInit tag for controller at index %d\n"
    "                SPInit tags must be writable (AI, DI or CALC)";
constexpr const char kMsgOPTagUnbound[] = "Incorrect data set or unknown OP tag for controller at index %d";
constexpr const char kMsgOPInitTagUnbound[] =
    "Incorrect data set or unknown OPInit tag for controller at index %d\n"
    "             OPInit tags must be writable (AI, DI or CALC)";
constexpr const char kMsgModeTagUnbound[] =
    "Incorrect data set or unknown mode tag for controller at index %d\n"
    "          Mode tags must be writable (AI, DI, or CALC)";
constexpr const char kMsgPVExportUnbound[] =
    "Incorrect data set or unknown tag for PV Export at index %d\n"
    "                      PV Export tags must be writable (AI, DI, or CALC)";
constexpr const char kMsgPVImportUnbound[] = "Incorrect data set or unknown tag for PV Import at index %d";

// Field definitions and default rows.
constexpr const char kMsgGenDefCount[] = "0 <= GenDefCnt <= MAXGENFIELDS";
constexpr const char kMsgGenDefAlloc[] = "Could not allocate DCSDataDef(Gen)";
constexpr const char kMsgCtrlDefCount[] = "0 <= CtrlDefCnt <= MAXCTRLFIELDS";
constexpr const char kMsgCtrlDefAlloc[] = "Could not allocate DCSDataDef(Ctrl)";
constexpr const char kMsgPVDefCount[] = "0 <= PVDefCnt <= MAXPVFIELDS";
constexpr const char kMsgPVDefAlloc[] = "Could not allocate DCSDataDef(PV)";
constexpr const char kMsgPVImportDefCount[] = "0 <= PVImportDefCnt <= MAXPVIMPORTFIELDS";
constexpr const char kMsgPVImportDefAlloc[] = "Could not allocate DCSDataDef(PVImport)";
constexpr const char kMsgGenDataAlloc[] = "Memory Allocation Error: GenData";
constexpr const char kMsgCtrlDataDefaultAlloc[] = "Memory Allocation Error: CtrlDataDefault";
constexpr const char kMsgPVDataDefaultAlloc[] = "Memory Allocation Error: PVDataDefault";
constexpr const char kMsgPVImportDataDefaultAlloc[] = "Memory Allocation Error: PVImportDataDefault";

// Role, owner and kind texts of the runtime reports.
constexpr const char kRoleSP[] = "SP";
constexpr const char kRoleOP[] = "OP";
constexpr const char kRolePV[] = "PV";
constexpr const char kRoleMode[] = "Mode";
constexpr const char kRoleSPInit[] = "SPInit";
constexpr const char kRoleOPInit[] = "OPInit";
constexpr const char kOwnerController[] = "controller";
constexpr const char kOwnerPVExport[] = "PV Export";
constexpr const char kOwnerPVImport[] = "PV Import";

// Shows a text as it stands: a modal box with no owner and one OK button.
void ShowMessage(const char* text, const char* title);

// Formats in the printf manner into storage from the host services, sized
// to the result, and shows it. Callers pass no null %s argument: the report
// routines below turn a null tag text into an empty one first.
// Shows a binding message of the rules (binding_rules.h): a fixed text
// whose only conversion is one %d, given the row index.
void ShowRowMessage(const char* title, const char* format, int32_t row);

void ShowFormattedMessage(const char* title, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// "AI", "AO", "DI", "DO" or "CALC" for kinds 1, 2, 3, 4, 6; "" otherwise.
const char* KindText(int32_t kind);

// The detail line of a write message: the CALC sentence for a CALC tag.
const char* WriteDetailText(int32_t kind);

void ReportReadError(const char* kindText, const char* role, const char* tag, const char* owner, int32_t row);
void ReportWriteError(const char* kindText, const char* role, const char* tag, const char* owner, int32_t row,
                      const char* detail);
void ReportBadTagType(int32_t kind, const char* role, const char* tag, const char* owner, int32_t row);
