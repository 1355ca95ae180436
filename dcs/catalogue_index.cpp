#include "catalogue_index.h"

#include "binding.h"
#include "platform/iface.h"

namespace {

// One key of the index: the hash of its data set and name, and which record
// first holds it together with every list that holds it. Entry 0 marks a
// free slot (a record's kind is never 0).
struct IndexSlot {
    uint32_t Hash;
    uint32_t Entry;
};

// Entry: the record's index in its list (a list holds at most 32,767), the
// record's kind, and the set of kinds that hold the key (bits 1 to 6).
constexpr uint32_t kRecordMask = 0xFFFFu;
constexpr uint32_t kKindShift = 16;
constexpr uint32_t kKindMask = 0x7u;
constexpr uint32_t kHeldShift = 20;

// At most half the slots are taken, so a probe meets a free slot soon and
// a lookup of a name nobody holds ends quickly.
constexpr size_t kMinSlots = 16;

IndexSlot* Slots = nullptr;
size_t SlotCount = 0;

uint32_t HashKey(int32_t dataSet, const char* name) {
    uint32_t hash = 2166136261u ^ (static_cast<uint32_t>(dataSet) * 0x9E3779B1u);
    for (const auto* byte = reinterpret_cast<const unsigned char*>(name); *byte != 0; ++byte) {
        hash = (hash ^ *byte) * 16777619u;
    }
    // Mixed again so that the low bits, which pick the slot, depend on every
    // byte and on the data set.
    hash ^= hash >> 16;
    hash *= 0x85EBCA6Bu;
    hash ^= hash >> 13;
    hash *= 0xC2B2AE35u;
    hash ^= hash >> 16;
    return hash;
}

const TagHead* RecordOf(uint32_t entry) {
    const auto kind = static_cast<int32_t>((entry >> kKindShift) & kKindMask);
    return TagAt(TagListOf(kind), kind, static_cast<int32_t>(entry & kRecordMask));
}

// The slot that holds the key, or the free slot where it would go.
IndexSlot* Probe(int32_t dataSet, const char* name, uint32_t hash) {
    const size_t mask = SlotCount - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        IndexSlot* slot = &Slots[at];
        if (slot->Entry == 0) {
            return slot;
        }
        if (slot->Hash == hash) {
            const TagHead* tag = RecordOf(slot->Entry);
            if (tag->DataSet == dataSet && SameName(name, tag->Name)) {
                return slot;
            }
        }
    }
}

}  // namespace

int32_t BuildCatalogueIndex() {
    FreeCatalogueIndex();
    size_t records = 0;
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        const TagList& list = TagListOf(kind);
        if (list.Items != nullptr && list.Count > 0) {
            records += static_cast<size_t>(list.Count);
        }
    }
    size_t slotCount = kMinSlots;
    while (slotCount < 2 * records) {
        slotCount *= 2;
    }
    Slots = static_cast<IndexSlot*>(IFace_calloc(slotCount, sizeof(IndexSlot)));
    if (Slots == nullptr) {
        return 0;
    }
    SlotCount = slotCount;
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        const TagList& list = TagListOf(kind);
        for (int32_t i = 0; list.Items != nullptr && i < list.Count; ++i) {
            const TagHead* tag = TagAt(list, kind, i);
            if (!HasText(tag->Name)) {
                continue;
            }
            const uint32_t hash = HashKey(tag->DataSet, tag->Name);
            IndexSlot* slot = Probe(tag->DataSet, tag->Name, hash);
            if (slot->Entry == 0) {
                slot->Hash = hash;
                slot->Entry = static_cast<uint32_t>(i) | (static_cast<uint32_t>(kind) << kKindShift);
            }
            slot->Entry |= KindBit(kind) << kHeldShift;
        }
    }
    return 1;
}

void FreeCatalogueIndex() {
    if (Slots != nullptr) {
        IFace_free(Slots);
        Slots = nullptr;
    }
    SlotCount = 0;
}

bool CatalogueIndexed() { return Slots != nullptr; }

TagKindSet IndexedHolds(int32_t dataSet, const char* name) {
    if (Slots == nullptr || !HasText(name)) {
        return 0;
    }
    return Probe(dataSet, name, HashKey(dataSet, name))->Entry >> kHeldShift;
}

size_t CatalogueIndexBytes() { return SlotCount * sizeof(IndexSlot); }
