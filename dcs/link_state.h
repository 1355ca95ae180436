// The driver's module-level state: the tag catalogue and the bindings. It
// lives from a successful configuration until the link is reset; the two
// flag bindings keep their marks from one configuration to the next.
#pragma once

#include <cstddef>
#include <cstdint>

// TagKind: the kind of a Marlix tag, also the section code of the
// catalogue and the kind of every binding.
enum : int32_t {
    TAG_KIND_NONE = 0,
    TAG_KIND_AI = 1,
    TAG_KIND_AO = 2,
    TAG_KIND_DI = 3,
    TAG_KIND_DO = 4,
    TAG_KIND_DCD = 5,
    TAG_KIND_CALC = 6,
};

// Number of catalogue lists, one per kind AI to CALC; list k - 1 holds kind k.
constexpr int32_t kTagListCount = 6;

#pragma pack(push, 1)

// Catalogue records. They share their first three fields, so every list can
// be scanned for a name and a data set through a TagHead.
struct TagHead {
    char* Name;
    int32_t DataSet;
    uint32_t Reserved;
};

struct AnalogTag {  // AI and AO
    char* Name;
    int32_t DataSet;
    uint32_t Reserved;
    double Number1;
    double Number2;
};

struct PlainTag {  // DI, DO and CALC
    char* Name;
    int32_t DataSet;
    uint32_t Reserved;
};

constexpr int32_t kDcdNumberCount = 17;

struct DcdTag {
    char* Name;
    int32_t DataSet;
    uint32_t Reserved;
    double Numbers[kDcdNumberCount];
};

// The binding of one tag. Cookie is the Marlix library's cell: the driver
// zeroes it at binding and hands its address to every call for the tag.
struct TagSlot {
    int32_t Kind;
    uint32_t Cookie;
    uint8_t Found;
};

struct CtrlBinding {
    TagSlot SPSlot;
    TagSlot SPInitSlot;
    TagSlot OPSlot;
    TagSlot OPInitSlot;
    TagSlot ModeSlot;
    int32_t SavedMode;
};

struct FlagBinding {
    uint32_t Cookie;
    uint8_t Found;
};

#pragma pack(pop)

static_assert(sizeof(TagSlot) == 9, "TagSlot is 9 bytes");
static_assert(sizeof(CtrlBinding) == 49, "CtrlBinding is 49 bytes");
static_assert(sizeof(FlagBinding) == 5, "FlagBinding is 5 bytes");
static_assert(sizeof(AnalogTag) == 24 + sizeof(void*), "AnalogTag layout");
static_assert(sizeof(PlainTag) == 8 + sizeof(void*), "PlainTag layout");
static_assert(sizeof(DcdTag) == 144 + sizeof(void*), "DcdTag layout");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AnalogTag) == 28 && sizeof(PlainTag) == 12 && sizeof(DcdTag) == 148,
              "catalogue records have the host's sizes");
#endif

struct TagList {
    void* Items;    // one block of records of the list's type, or null
    int16_t Count;  // records in use
};

extern TagList TagCatalogue[kTagListCount];

// The binding tables, sized by the row counts at configuration. The counts
// are kept beside them: rows the host adds later have no binding.
extern CtrlBinding* CtrlBindings;
extern int32_t CtrlBindingCnt;
extern TagSlot* PVExportBindings;
extern int32_t PVExportBindingCnt;
extern TagSlot* PVImportBindings;
extern int32_t PVImportBindingCnt;

extern FlagBinding EnabledFlagBinding;
extern FlagBinding RunningFlagBinding;

// 1 from a successful configuration until the link is reset: the runtime
// entry points do nothing outside it.
extern int32_t LinkConfigured;

// The address of a slot's cookie cell as the Marlix library wants it. The
// cell sits unaligned inside a packed record; the library treats it as its
// own 32-bit cell.
inline uint32_t* CookieCell(TagSlot* slot) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(slot) + offsetof(TagSlot, Cookie));
}
inline uint32_t* CookieCell(FlagBinding* binding) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(binding) + offsetof(FlagBinding, Cookie));
}

// Record size of the catalogue list of a kind (TAG_KIND_AI ... TAG_KIND_CALC).
inline int32_t TagRecordSize(int32_t kind) {
    switch (kind) {
    case TAG_KIND_AI:
    case TAG_KIND_AO: return static_cast<int32_t>(sizeof(AnalogTag));
    case TAG_KIND_DCD: return static_cast<int32_t>(sizeof(DcdTag));
    default: return static_cast<int32_t>(sizeof(PlainTag));
    }
}

// The list of a kind.
inline TagList& TagListOf(int32_t kind) { return TagCatalogue[kind - 1]; }

// Record `index` of a list of the given kind, seen through its common head.
// Inline: binding calls it for every record it compares.
inline TagHead* TagAt(const TagList& list, int32_t kind, int32_t index) {
    return reinterpret_cast<TagHead*>(static_cast<unsigned char*>(list.Items) +
                                      static_cast<ptrdiff_t>(index) * TagRecordSize(kind));
}
