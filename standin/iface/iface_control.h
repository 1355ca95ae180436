// Control of the host-services stand-in, for tests and the host program.
//
// The stand-in forwards to the C allocator and records, in a block header and
// in a registry of live blocks, which family made each block: the "malloc"
// family (IFace_malloc, IFace_calloc, IFace_realloc, released by IFace_free)
// or the "new" family (IFace_new, released by IFace_delete). A release
// through the wrong family, a second release or a pointer it never handed out
// aborts the process at once with a message naming the routine and the block.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define IFACE_CONTROL_CALL __cdecl
#else
#define IFACE_CONTROL_CALL
#endif

enum IFaceFamily : int32_t {
    IFACE_FAMILY_MALLOC = 0,  // IFace_malloc, IFace_calloc, IFace_realloc / IFace_free
    IFACE_FAMILY_NEW = 1,     // IFace_new / IFace_delete
};

extern "C" {
// Forgets the counters, the fault plan and the recorded error messages.
// Live blocks stay live (and counted) so that a leak is never hidden.
void IFACE_CONTROL_CALL IFaceStandin_Reset(void);

// Blocks of the family handed out and not yet released.
int64_t IFACE_CONTROL_CALL IFaceStandin_LiveBlocks(int32_t family);
// Allocations of the family that succeeded since the last reset (a
// reallocation counts as one).
int64_t IFACE_CONTROL_CALL IFaceStandin_TotalAllocations(int32_t family);
// Every allocation call since the last reset, of both families, failed or not.
int64_t IFACE_CONTROL_CALL IFaceStandin_AllocationCalls(void);

// Fault injection, counting allocation calls of both families from 1 after
// the call: the Nth call fails (returns null; a failed IFace_realloc keeps
// the old block); with sticky != 0 every call from the Nth on fails.
// N = 0 switches faults off.
void IFACE_CONTROL_CALL IFaceStandin_FailAllocation(int64_t n, int32_t sticky);
// How many allocation calls were made to fail since the last reset.
int64_t IFACE_CONTROL_CALL IFaceStandin_FailedAllocations(void);

// ErrorMsg texts as formatted, oldest first. The text stays valid until the
// next reset; an index out of range gives null.
int32_t IFACE_CONTROL_CALL IFaceStandin_ErrorMessageCount(void);
const char* IFACE_CONTROL_CALL IFaceStandin_ErrorMessage(int32_t index);
// Whether ErrorMsg also prints to standard error (on by default).
void IFACE_CONTROL_CALL IFaceStandin_SetEcho(int32_t on);

// The plain heap, for benchmarks: with on != 0 every routine forwards to
// the C allocator as a host's allocator does, with no header, guard,
// registry, family check or fault plan; only the counters go on. The mode
// changes only while no block is live (a block must go back the way it
// came); returns 0 when it changed, -1 otherwise.
int32_t IFACE_CONTROL_CALL IFaceStandin_SetPlainHeap(int32_t on);

// Live blocks whose header or guard behind them has been overwritten; a
// release would abort on them, this only counts.
int64_t IFACE_CONTROL_CALL IFaceStandin_DamagedBlocks(void);

// The family of a live block, or -1 when the pointer is not a live block
// (never handed out, already released, or not the start of a block).
int32_t IFACE_CONTROL_CALL IFaceStandin_BlockFamily(const void* block);
// The size a live block was asked for, or -1 when it is not a live block.
int64_t IFACE_CONTROL_CALL IFaceStandin_BlockSize(const void* block);
}
