// The life-cycle fuzzer's programs: an input decoded into operations on the
// case data block, the tag server, the host's allocator and the driver's
// entry points, one after the other, each led by a byte that chooses it.
// Numbers, texts and choices are taken from the bytes that follow; when the
// bytes run out (or after kMaxOperations) the program ends.
//
// The fuzzer runs programs against the driver linked in; the trace replay
// runs the kept ones against the driver loaded as the simulator loads it,
// with a chosen tag server in front. Both decode here, so that an input is
// the same program to each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "case_block.h"

class FuzzedDataProvider;

namespace life_cycle {

constexpr int32_t kMaxRows = 6;
constexpr size_t kMaxOperations = 64;

enum EntryPoint : int {
    kLoad,
    kConfigure,
    kInitialize,
    kSimulate,
    kStart,
    kStop,
    kTimeZero,
    kReset,
    kDestroy,
    kEntryPointCount,
};
extern const char* const kEntryPointNames[kEntryPointCount];

// What a program needs of the one that runs it: the tag server's controls
// (the stand-in, linked in or loaded), the entry points, and what the runner
// knows of the link's state.
class Runner {
public:
    virtual ~Runner() = default;

    virtual void SetInitString(const char* text) = 0;
    virtual void SetReportedLength(int32_t length) = 0;
    virtual void SetInt(int32_t kind, int32_t dataSet, const char* name, int32_t value) = 0;
    virtual void SetDouble(int32_t kind, int32_t dataSet, const char* name, double value) = 0;
    virtual void InjectStatus(int32_t operation, const char* tag, int32_t status, int32_t times) = 0;
    virtual void ClearInjections() = 0;

    // Tag texts are edited only where the driver holds no cookie for them:
    // a link's rows outside a configured link, the flag texts while no flag
    // binding stands. The driver passes the row's current text with the
    // cookie bound for the text at configuration, and a flag binding keeps
    // its cookie after a reset, so an edit in between would make it hand the
    // server a cookie of another tag.
    virtual bool MayEditRows() = 0;
    virtual bool MayEditFlags() = 0;

    virtual int32_t Call(EntryPoint entry, DCSLinkData* d) = 0;
    // After the program has taken in what the call did to the case (a load
    // gives the general data its texts).
    virtual void Called(EntryPoint entry, int32_t result, const caseblock::CaseBlock& block) = 0;
};

class Program {
public:
    Program(const uint8_t* data, size_t size, Runner& runner);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Decodes and carries out the next operation. Returns what it did, for
    // the runner's messages, or null once the program has ended.
    const char* Next();

    // The host's record: kMaxRows rows of each kind, which never move, and
    // counts the program changes freely within them.
    caseblock::CaseBlock& Case() { return block_; }

private:
    const char* Operation(uint8_t choice);
    const char* CallEntryPoint();
    void SetCase(bool withGeneral);
    void SetGeneral();
    void Resize();
    void SetText(DCSValue& cell);
    void SetInitString();
    void SetTagValue();
    void InjectStatus();

    std::unique_ptr<FuzzedDataProvider> in_;
    Runner& runner_;
    caseblock::CaseBlock block_;
    bool loaded_ = false;
    size_t operations_ = 0;
};

}  // namespace life_cycle
