// Feeds arbitrary initialization strings through the tag catalogue: fetch,
// parse, a possible second load that appends, and the release. Whatever the
// text, the lists must stay within their capacity, every record must carry a
// name of its own, and the release must give back every block it took.
//
// Input layout: up to four control bytes, then the text.
//   byte 0  how the reported length relates to the text (see ReportedLength)
//   byte 1  the amount used by byte 0
//   byte 2  bit 0: load twice before the release
//           bit 1: make an allocation call fail; bit 2: and every one after it
//   byte 3  which allocation call fails, counted from 1
// Printable control bytes such as "0000" mean: exact length, one load, no
// allocation fault, so the seed files stay readable.
// The stand-in takes the text as a C string, so it ends at the first NUL.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "catalogue.h"
#include "iface_control.h"
#include "link_state.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace {

constexpr size_t kControlBytes = 4;

struct Plan {
    int32_t reportedLength;
    bool loadTwice;
    int64_t failAt;  // 0: no allocation fault
    bool failSticky;
};

[[noreturn]] void Violation(const char* what, int32_t kind, long detail) {
    std::fprintf(stderr, "init_string_fuzz: invariant broken: %s (list %d, %ld)\n", what, static_cast<int>(kind),
                 detail);
    std::fflush(stderr);
    std::abort();
}

// A length the server might report for a text of `size` characters: the
// exact one most of the time, otherwise shorter, longer (the tail is the
// buffer's zero fill), negative, or right at the empty-string limit.
int32_t ReportedLength(uint8_t mode, uint8_t amount, size_t size) {
    const auto exact = static_cast<int32_t>(size);
    switch (mode % 8) {
    case 4: return exact - static_cast<int32_t>(amount % (size + 1));
    case 5: return exact + 1 + static_cast<int32_t>(amount) * 64;
    case 6: return amount == 0xFF ? INT32_MIN : -1 - static_cast<int32_t>(amount);
    case 7: return kEmptyInitStringLength + (amount & 1);
    default: return exact;
    }
}

Plan PlanOf(const uint8_t* data, size_t size, size_t textSize) {
    Plan plan{static_cast<int32_t>(textSize), false, 0, false};
    if (size < kControlBytes) {
        return plan;
    }
    plan.reportedLength = ReportedLength(data[0], data[1], textSize);
    plan.loadTwice = (data[2] & 1) != 0;
    if ((data[2] & 2) != 0) {
        plan.failAt = 1 + static_cast<int64_t>(data[3]);
        plan.failSticky = (data[2] & 4) != 0;
    }
    return plan;
}

void CheckListsEmpty(const char* when) {
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        const TagList& list = TagListOf(kind);
        if (list.Items != nullptr || list.Count != 0) {
            Violation(when, kind, list.Count);
        }
    }
}

// Every list within capacity, its block a live block of the host's heap
// large enough for its records, and every record's name a live block of
// its own holding exactly one terminated string.
void CheckLists() {
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        const TagList& list = TagListOf(kind);
        if (list.Count < 0 || list.Count > kTagListCapacity) {
            Violation("count out of range", kind, list.Count);
        }
        if (list.Items == nullptr) {
            if (list.Count != 0) {
                Violation("records without a block", kind, list.Count);
            }
            continue;
        }
        if (IFaceStandin_BlockFamily(list.Items) != IFACE_FAMILY_MALLOC) {
            Violation("list block is not a live malloc-family block", kind, list.Count);
        }
        const int64_t need = static_cast<int64_t>(list.Count) * TagRecordSize(kind);
        if (IFaceStandin_BlockSize(list.Items) < need) {
            Violation("list block smaller than its records", kind, static_cast<long>(need));
        }
        for (int32_t i = 0; i < list.Count; ++i) {
            const char* name = TagAt(list, kind, i)->Name;
            if (name == nullptr) {
                Violation("record without a name", kind, i);
            }
            const int64_t nameSize = IFaceStandin_BlockSize(name);
            if (nameSize <= 0 || IFaceStandin_BlockFamily(name) != IFACE_FAMILY_MALLOC) {
                Violation("name is not a live malloc-family block", kind, i);
            }
            const void* end = std::memchr(name, '\0', static_cast<size_t>(nameSize));
            if (end != name + nameSize - 1) {
                Violation("name is not one terminated string filling its block", kind, i);
            }
        }
    }
}

struct Snapshot {
    int16_t counts[kTagListCount];
};

Snapshot CountsNow() {
    Snapshot s{};
    for (int32_t i = 0; i < kTagListCount; ++i) {
        s.counts[i] = TagCatalogue[i].Count;
    }
    return s;
}

// Without allocation faults the same text parses the same way twice, so a
// second load appends an exact copy of what the first one stored (up to
// the capacity), and leaves the first load's records untouched.
void CheckSecondLoad(const Snapshot& first, const std::string& firstNames) {
    std::string names;
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        const TagList& list = TagListOf(kind);
        const int32_t once = first.counts[kind - 1];
        const int32_t expected = 2 * once < kTagListCapacity ? 2 * once : kTagListCapacity;
        if (list.Count != expected) {
            Violation("second load did not append one copy of the first", kind, list.Count);
        }
        for (int32_t i = 0; i < list.Count; ++i) {
            const int32_t original = i < once ? i : i - once;
            const TagHead* now = TagAt(list, kind, i);
            const TagHead* was = TagAt(list, kind, original);
            if (std::strcmp(now->Name, was->Name) != 0 || now->DataSet != was->DataSet) {
                Violation("appended record differs from the one it repeats", kind, i);
            }
            if (i < once) {
                names += now->Name;
                names += '\n';
            }
        }
    }
    if (names != firstNames) {
        Violation("second load changed the records of the first", 0, 0);
    }
}

std::string NamesNow() {
    std::string names;
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        const TagList& list = TagListOf(kind);
        for (int32_t i = 0; i < list.Count; ++i) {
            names += TagAt(list, kind, i)->Name;
            names += '\n';
        }
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t skip = size < kControlBytes ? 0 : kControlBytes;
    const char* textStart = reinterpret_cast<const char*>(data) + skip;
    const size_t textSize = strnlen(textStart, size - skip);
    const std::string text(textStart, textSize);
    const Plan plan = PlanOf(data, size, textSize);

    User32Standin_Reset();
    IFaceStandin_Reset();
    MrxStandin_Reset();
    MrxStandin_SetInitString(text.c_str());
    MrxStandin_SetReportedLength(plan.reportedLength);

    CheckListsEmpty("catalogue not empty before the load");
    const int64_t liveMalloc = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
    const int64_t liveNew = IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW);

    if (plan.failAt != 0) {
        IFaceStandin_FailAllocation(plan.failAt, plan.failSticky ? 1 : 0);
    }
    const int32_t loaded = LoadTagCatalogue(nullptr);
    const bool faults = plan.failAt != 0 && IFaceStandin_FailedAllocations() != 0;

    if (plan.reportedLength <= kEmptyInitStringLength) {
        if (loaded != 0) {
            Violation("an empty string was reported loaded", 0, plan.reportedLength);
        }
        CheckListsEmpty("an empty string created lists");
    } else if (!faults) {
        if (loaded != 1) {
            Violation("a string was fetched but the load reported failure", 0, plan.reportedLength);
        }
        for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
            if (TagListOf(kind).Items == nullptr) {
                Violation("a loaded catalogue lacks a list block", kind, 0);
            }
        }
    }
    CheckLists();

    if (plan.loadTwice) {
        const Snapshot first = CountsNow();
        const std::string firstNames = NamesNow();
        LoadTagCatalogue(nullptr);
        CheckLists();
        const bool anyFault = plan.failAt != 0 && IFaceStandin_FailedAllocations() != 0;
        if (!anyFault && loaded == 1) {
            CheckSecondLoad(first, firstNames);
        }
    }

    IFaceStandin_FailAllocation(0, 0);
    FreeTagCatalogue();
    CheckListsEmpty("catalogue not empty after the release");
    if (IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC) != liveMalloc) {
        Violation("malloc-family blocks leaked or over-released", 0,
                  static_cast<long>(IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC) - liveMalloc));
    }
    if (IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW) != liveNew) {
        Violation("new-family blocks leaked or over-released", 0,
                  static_cast<long>(IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW) - liveNew));
    }
    return 0;
}
