// The host-services stand-in: the host's heap and its error service.
//
// Every block carries a header (magic, family, size) in front and a guard
// pattern behind it, and is also entered in a registry of live blocks. The
// registry is consulted before any header is read, so a pointer the stand-in
// never handed out, or one already released, is reported without touching
// memory that may not be ours. Faults in the caller's use of the heap abort
// at once: a test that got past one would only fail later, somewhere else.

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>

#if defined(_WIN32)
#include <malloc.h>  // _aligned_malloc
#endif

#include "../common/standin_export.h"
#include "iface_control.h"
#include "platform/iface.h"

namespace {

constexpr uint32_t kLiveMagic = 0x1FACEB10u;
constexpr uint32_t kDeadMagic = 0xDEADB10Cu;

// Sixteen bytes keep the caller's part aligned for doubles (and for
// anything malloc itself aligns for) on 32- and 64-bit targets alike.
struct BlockHeader {
    uint32_t magic;
    int32_t family;
    uint64_t size;
};
static_assert(sizeof(BlockHeader) % 16 == 0, "the header must keep blocks 16-byte aligned");
static_assert(sizeof(BlockHeader) >= alignof(std::max_align_t), "the header must keep blocks aligned");

// Written behind every block and checked on release, so a write past the end
// is caught even in builds without AddressSanitizer.
constexpr unsigned char kGuard[8] = {0xFD, 0xFD, 0xFD, 0xFD, 0xFD, 0xFD, 0xFD, 0xFD};

struct FamilyCounters {
    int64_t live = 0;
    int64_t total = 0;
};

// What the registry knows of a live block. The header repeats it, and the
// two must agree before the header is trusted.
struct LiveBlock {
    int32_t family;
    size_t size;
};

// How many released blocks are remembered, to tell a second release from a
// pointer never handed out. Bounded: under AddressSanitizer a freed address
// is not handed out again for a long time, so a record of every release
// grew with every block ever released (hundreds of megabytes in a fuzzing
// run). An older block released twice is still refused, as unknown.
constexpr size_t kRememberedReleases = 4096;

struct HeapState {
    std::unordered_map<void*, LiveBlock> live;  // keyed by the caller's pointer
    // Released and not handed out again, each with the number of its
    // release; the queue holds the same in order, to forget the oldest.
    std::unordered_map<void*, uint64_t> released;
    std::deque<std::pair<void*, uint64_t>> releaseOrder;
    uint64_t releases = 0;
    FamilyCounters families[2];
    int64_t calls = 0;
    int64_t failed = 0;
    int64_t failAt = 0;  // 0: no faults planned
    bool failSticky = false;
    int64_t callsSincePlan = 0;
    std::deque<std::string> messages;  // a deque keeps each text where it is
    bool echo = true;
    bool plain = false;  // see IFaceStandin_SetPlainHeap
};

// Never destroyed: the driver or the host may release blocks from their own
// static destructors, which can run after ours would have.
HeapState& State() {
    static HeapState* state = new HeapState;
    return *state;
}

const char* FamilyName(int32_t family) { return family == IFACE_FAMILY_NEW ? "new" : "malloc"; }
const char* AllocatorOf(int32_t family) {
    return family == IFACE_FAMILY_NEW ? "IFace_new" : "IFace_malloc/IFace_calloc/IFace_realloc";
}
const char* ReleaserOf(int32_t family) { return family == IFACE_FAMILY_NEW ? "IFace_delete" : "IFace_free"; }

[[noreturn]] void Fatal(const char* routine, const void* block, const char* what) {
    std::fprintf(stderr, "[iface] %s(%p): %s\n", routine, block, what);
    std::fflush(stderr);
    std::abort();
}

BlockHeader* HeaderOf(void* block) { return static_cast<BlockHeader*>(block) - 1; }

void RememberRelease(void* block) {
    HeapState& s = State();
    const uint64_t number = ++s.releases;
    s.released[block] = number;
    s.releaseOrder.emplace_back(block, number);
    if (s.releaseOrder.size() > kRememberedReleases) {
        const auto oldest = s.releaseOrder.front();
        s.releaseOrder.pop_front();
        const auto found = s.released.find(oldest.first);
        // The same address may have been handed out and released again since.
        if (found != s.released.end() && found->second == oldest.second) {
            s.released.erase(found);
        }
    }
}

// Whether a live block's header and the guard behind it are intact.
bool BlockIntact(void* block, const LiveBlock& known) {
    const BlockHeader* header = HeaderOf(block);
    if (header->magic != kLiveMagic || header->family != known.family || header->size != known.size) {
        return false;
    }
    return std::memcmp(static_cast<unsigned char*>(block) + header->size, kGuard, sizeof kGuard) == 0;
}

void WriteGuard(void* block, size_t size) {
    std::memcpy(static_cast<unsigned char*>(block) + size, kGuard, sizeof kGuard);
}

// Counts the call and decides whether the fault plan makes it fail.
bool ThisCallFails() {
    HeapState& s = State();
    ++s.calls;
    ++s.callsSincePlan;
    if (s.failAt <= 0) {
        return false;
    }
    const bool fails = s.failSticky ? s.callsSincePlan >= s.failAt : s.callsSincePlan == s.failAt;
    if (fails) {
        ++s.failed;
    }
    return fails;
}

bool RawSize(size_t size, size_t* raw) {
    if (size > SIZE_MAX - sizeof(BlockHeader) - sizeof kGuard) {
        return false;
    }
    *raw = sizeof(BlockHeader) + size + sizeof kGuard;
    return true;
}

void* Enter(void* raw, int32_t family, size_t size) {
    auto* header = static_cast<BlockHeader*>(raw);
    header->magic = kLiveMagic;
    header->family = family;
    header->size = size;
    void* block = header + 1;
    WriteGuard(block, size);
    HeapState& s = State();
    s.live[block] = LiveBlock{family, size};
    s.released.erase(block);
    ++s.families[family].live;
    ++s.families[family].total;
    return block;
}

// The C heap under the blocks. The header keeps the caller's part at the
// heap's own alignment plus 16; msvcrt's heap on 32-bit Windows aligns to 8
// only, so there the heap is asked for 16 outright, as glibc gives it.
#if defined(_WIN32)
void* HeapAllocate(size_t raw, bool zero) {
    void* memory = _aligned_malloc(raw, 16);
    if (memory != nullptr && zero) {
        std::memset(memory, 0, raw);
    }
    return memory;
}
void* HeapResize(void* memory, size_t raw) { return _aligned_realloc(memory, raw, 16); }
void HeapRelease(void* memory) { _aligned_free(memory); }
#else
void* HeapAllocate(size_t raw, bool zero) { return zero ? std::calloc(1, raw) : std::malloc(raw); }
void* HeapResize(void* memory, size_t raw) { return std::realloc(memory, raw); }
void HeapRelease(void* memory) { std::free(memory); }
#endif

void* Allocate(int32_t family, size_t size, bool zero) {
    if (ThisCallFails()) {
        return nullptr;
    }
    size_t raw = 0;
    if (!RawSize(size, &raw)) {
        return nullptr;
    }
    void* memory = HeapAllocate(raw, zero);
    if (memory == nullptr) {
        return nullptr;
    }
    return Enter(memory, family, size);
}

// Checks that `block` is a live block of `family` with its header and guard
// intact, aborting otherwise. Returns its header.
BlockHeader* CheckLive(const char* routine, void* block, int32_t family) {
    HeapState& s = State();
    const auto found = s.live.find(block);
    if (found == s.live.end()) {
        Fatal(routine, block,
              s.released.count(block) != 0 ? "the block was already released"
                                           : "the pointer was never handed out by the host's allocator");
    }
    const LiveBlock& known = found->second;
    if (known.family != family) {
        char what[200];
        std::snprintf(what, sizeof what, "the block belongs to the %s family (made by %s); release it with %s",
                      FamilyName(known.family), AllocatorOf(known.family), ReleaserOf(known.family));
        Fatal(routine, block, what);
    }
    BlockHeader* header = HeaderOf(block);
    if (header->magic != kLiveMagic || header->family != known.family || header->size != known.size) {
        Fatal(routine, block, "the block's header was overwritten (a write before its start)");
    }
    if (std::memcmp(static_cast<unsigned char*>(block) + header->size, kGuard, sizeof kGuard) != 0) {
        char what[200];
        std::snprintf(what, sizeof what, "a write past the end of the block of %llu bytes",
                      static_cast<unsigned long long>(header->size));
        Fatal(routine, block, what);
    }
    return header;
}

void Release(const char* routine, void* block, int32_t family) {
    if (block == nullptr) {
        return;
    }
    BlockHeader* header = CheckLive(routine, block, family);
    HeapState& s = State();
    s.live.erase(block);
    RememberRelease(block);
    --s.families[family].live;
    header->magic = kDeadMagic;
    HeapRelease(header);
}

bool ValidFamily(int32_t family) { return family == IFACE_FAMILY_MALLOC || family == IFACE_FAMILY_NEW; }

// The plain heap: what a host's allocator does, a thin forward to the C
// allocator. Only the counters are kept, so that a benchmark can still tell
// a leak; no header, guard, registry or fault plan.
void* PlainCounted(void* block, int32_t family) {
    if (block != nullptr) {
        FamilyCounters& counters = State().families[family];
        ++counters.live;
        ++counters.total;
    }
    return block;
}

void PlainRelease(void* block, int32_t family) {
    if (block != nullptr) {
        --State().families[family].live;
        std::free(block);
    }
}

void* PlainRealloc(void* block, size_t size) {
    void* moved = std::realloc(block, size);
    if (moved != nullptr) {
        ++State().families[IFACE_FAMILY_MALLOC].total;
        if (block == nullptr) {
            ++State().families[IFACE_FAMILY_MALLOC].live;
        }
    }
    return moved;
}

}  // namespace

extern "C" {

STANDIN_EXPORT void* IFACE_CALL IFace_malloc(size_t size) {
    if (State().plain) {
        return PlainCounted(std::malloc(size), IFACE_FAMILY_MALLOC);
    }
    return Allocate(IFACE_FAMILY_MALLOC, size, false);
}

STANDIN_EXPORT void* IFACE_CALL IFace_calloc(size_t count, size_t size) {
    if (State().plain) {
        return PlainCounted(std::calloc(count, size), IFACE_FAMILY_MALLOC);
    }
    if (size != 0 && count > SIZE_MAX / size) {
        // Still an allocation call: it counts, and a planned fault lands on it.
        ThisCallFails();
        return nullptr;
    }
    return Allocate(IFACE_FAMILY_MALLOC, count * size, true);
}

STANDIN_EXPORT void* IFACE_CALL IFace_realloc(void* block, size_t size) {
    if (State().plain) {
        return PlainRealloc(block, size);
    }
    if (block == nullptr) {
        return IFace_malloc(size);
    }
    // Checked before the fault plan is consulted: a wrong block is the
    // caller's fault whatever the heap would have answered.
    BlockHeader* header = CheckLive("IFace_realloc", block, IFACE_FAMILY_MALLOC);
    if (ThisCallFails()) {
        return nullptr;
    }
    size_t raw = 0;
    if (!RawSize(size, &raw)) {
        return nullptr;
    }
    HeapState& s = State();
    void* memory = HeapResize(header, raw);
    if (memory == nullptr) {
        return nullptr;  // the old block is untouched and still live
    }
    s.live.erase(block);
    --s.families[IFACE_FAMILY_MALLOC].live;
    void* moved = Enter(memory, IFACE_FAMILY_MALLOC, size);
    if (moved != block) {
        RememberRelease(block);
    }
    return moved;
}

STANDIN_EXPORT void IFACE_CALL IFace_free(void* block) {
    if (State().plain) {
        PlainRelease(block, IFACE_FAMILY_MALLOC);
        return;
    }
    Release("IFace_free", block, IFACE_FAMILY_MALLOC);
}

STANDIN_EXPORT void* IFACE_CALL IFace_new(size_t size) {
    if (State().plain) {
        return PlainCounted(std::malloc(size), IFACE_FAMILY_NEW);
    }
    return Allocate(IFACE_FAMILY_NEW, size, false);
}

STANDIN_EXPORT void IFACE_CALL IFace_delete(void* block) {
    if (State().plain) {
        PlainRelease(block, IFACE_FAMILY_NEW);
        return;
    }
    Release("IFace_delete", block, IFACE_FAMILY_NEW);
}

STANDIN_EXPORT void IFACE_CALL ErrorMsg(const char* format, ...) {
    std::string text;
    if (format == nullptr) {
        text = "(null format)";
    } else {
        va_list args;
        va_start(args, format);
        va_list measure;
        va_copy(measure, args);
        const int length = std::vsnprintf(nullptr, 0, format, measure);
        va_end(measure);
        if (length < 0) {
            text = std::string("(unformattable) ") + format;
        } else {
            text.resize(static_cast<size_t>(length) + 1);
            std::vsnprintf(&text[0], text.size(), format, args);
            text.resize(static_cast<size_t>(length));
        }
        va_end(args);
    }
    HeapState& s = State();
    if (s.echo) {
        std::fprintf(stderr, "[ErrorMsg] %s\n", text.c_str());
        std::fflush(stderr);
    }
    s.messages.push_back(std::move(text));
}

STANDIN_EXPORT void IFACE_CONTROL_CALL IFaceStandin_Reset(void) {
    HeapState& s = State();
    for (FamilyCounters& family : s.families) {
        family.total = 0;
    }
    s.calls = 0;
    s.failed = 0;
    s.failAt = 0;
    s.failSticky = false;
    s.callsSincePlan = 0;
    s.messages.clear();
}

STANDIN_EXPORT int64_t IFACE_CONTROL_CALL IFaceStandin_LiveBlocks(int32_t family) {
    return ValidFamily(family) ? State().families[family].live : 0;
}

STANDIN_EXPORT int64_t IFACE_CONTROL_CALL IFaceStandin_TotalAllocations(int32_t family) {
    return ValidFamily(family) ? State().families[family].total : 0;
}

STANDIN_EXPORT int64_t IFACE_CONTROL_CALL IFaceStandin_AllocationCalls(void) { return State().calls; }

STANDIN_EXPORT void IFACE_CONTROL_CALL IFaceStandin_FailAllocation(int64_t n, int32_t sticky) {
    HeapState& s = State();
    s.failAt = n > 0 ? n : 0;
    s.failSticky = sticky != 0;
    s.callsSincePlan = 0;
}

STANDIN_EXPORT int64_t IFACE_CONTROL_CALL IFaceStandin_FailedAllocations(void) { return State().failed; }

STANDIN_EXPORT int32_t IFACE_CONTROL_CALL IFaceStandin_ErrorMessageCount(void) {
    return static_cast<int32_t>(State().messages.size());
}

STANDIN_EXPORT const char* IFACE_CONTROL_CALL IFaceStandin_ErrorMessage(int32_t index) {
    const HeapState& s = State();
    if (index < 0 || static_cast<size_t>(index) >= s.messages.size()) {
        return nullptr;
    }
    return s.messages[static_cast<size_t>(index)].c_str();
}

STANDIN_EXPORT void IFACE_CONTROL_CALL IFaceStandin_SetEcho(int32_t on) { State().echo = on != 0; }

STANDIN_EXPORT int32_t IFACE_CONTROL_CALL IFaceStandin_SetPlainHeap(int32_t on) {
    HeapState& s = State();
    if (s.families[IFACE_FAMILY_MALLOC].live != 0 || s.families[IFACE_FAMILY_NEW].live != 0) {
        return -1;
    }
    s.plain = on != 0;
    return 0;
}

STANDIN_EXPORT int64_t IFACE_CONTROL_CALL IFaceStandin_DamagedBlocks(void) {
    int64_t damaged = 0;
    for (const auto& entry : State().live) {
        if (!BlockIntact(entry.first, entry.second)) {
            ++damaged;
        }
    }
    return damaged;
}

STANDIN_EXPORT int32_t IFACE_CONTROL_CALL IFaceStandin_BlockFamily(const void* block) {
    const HeapState& s = State();
    const auto found = s.live.find(const_cast<void*>(block));
    return found == s.live.end() ? -1 : found->second.family;
}

STANDIN_EXPORT int64_t IFACE_CONTROL_CALL IFaceStandin_BlockSize(const void* block) {
    const HeapState& s = State();
    const auto found = s.live.find(const_cast<void*>(block));
    return found == s.live.end() ? -1 : static_cast<int64_t>(found->second.size);
}

}  // extern "C"
