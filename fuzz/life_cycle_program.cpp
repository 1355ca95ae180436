#include "life_cycle_program.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "iface_control.h"
#include "mrx3p_control.h"

namespace life_cycle {

const char* const kEntryPointNames[kEntryPointCount] = {
    "DCSLoad", "DCSConfigure", "DCSInitialize", "DCSSimulate", "DCSStart",
    "DCSStop", "DCSTimeZero",  "DCSReset",      "DCSDestroy",
};

namespace {

// Tag names the case and the server draw from, so that rows, catalogue and
// value store meet often enough to bind and transfer.
const char* const kTagNames[] = {"T0", "T1", "T2", "T3", "EN", "RUN", "PV", "MODE"};
const char* const kSections[] = {"*AI*", "*AO*", "*DI*", "*DO*", "*DCD*", "*CALC*"};
const int32_t kServerKinds[] = {MRX_KIND_AI, MRX_KIND_AO, MRX_KIND_DI, MRX_KIND_DO, MRX_KIND_CALC};
const int32_t kOperations[] = {MRX_OP_READ_AI,  MRX_OP_WRITE_AI, MRX_OP_READ_AO,   MRX_OP_READ_DI,
                               MRX_OP_WRITE_DI, MRX_OP_READ_DO,  MRX_OP_READ_CALC, MRX_OP_WRITE_CALC};

enum Operation : uint8_t {
    kSetInitString,
    kSetCase,
    kSetGeneral,
    kResize,
    kSetTagValue,
    kInjectStatus,
    kClearInjections,
    kFailAllocation,
    kStopFailing,
    kCallEntryPoint,
    kOperationCount,
};

int32_t DataSet(FuzzedDataProvider& in) {
    return in.ConsumeIntegralInRange<int>(0, 3) != 0 ? 1 : in.ConsumeIntegralInRange<int32_t>(-1, 3);
}

// Mostly 0 or 1, sometimes any 16-bit value: only exactly 1 counts.
int16_t Flag(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? static_cast<int16_t>(in.ConsumeBool()) : in.ConsumeIntegral<int16_t>();
}

// Every tag name of the pool in every list, so that rows bind often.
std::string FullCatalogue() {
    std::string text;
    for (const char* section : kSections) {
        const bool analog = std::strcmp(section, "*AI*") == 0 || std::strcmp(section, "*AO*") == 0;
        const bool dcd = std::strcmp(section, "*DCD*") == 0;
        text += std::string(section) + "\n";
        for (const char* name : kTagNames) {
            text += std::string(name) + ",-,1";
            for (int32_t i = 0; i < (analog ? 2 : dcd ? 17 : 0); ++i) text += ",0";
            text += "\n";
        }
    }
    return text;
}

}  // namespace

Program::Program(const uint8_t* data, size_t size, Runner& runner)
    : in_(std::make_unique<FuzzedDataProvider>(data, size)), runner_(runner) {
    for (int32_t i = 0; i < kMaxRows; ++i) {
        block_.AddController(caseblock::kControllerColumns, DCSCtrlRow{});
        block_.AddPVExport(caseblock::kPVExportColumns, DCSPVRow{});
        block_.AddPVImport(caseblock::kPVImportColumns, DCSPVRow{});
    }
    DCSLinkData& d = block_.Data();
    d.CtrlCnt = d.PVCnt = d.PVImportCnt = 0;
}

Program::~Program() = default;

const char* Program::Next() {
    if (operations_ >= kMaxOperations || in_->remaining_bytes() == 0) return nullptr;
    ++operations_;
    return Operation(in_->ConsumeIntegral<uint8_t>());
}

const char* Program::Operation(uint8_t choice) {
    FuzzedDataProvider& in = *in_;
    switch (choice % kOperationCount) {
    case kSetInitString: SetInitString(); return "set the initialization string";
    case kSetCase:
        if (!runner_.MayEditRows()) return "set the case skipped";
        SetCase(runner_.MayEditFlags());
        return "set the case";
    case kSetGeneral:
        if (!runner_.MayEditFlags()) return "set the general data skipped";
        SetGeneral();
        return "set the general data";
    case kResize: Resize(); return "change a row count";
    case kSetTagValue: SetTagValue(); return "set a tag value";
    case kInjectStatus: InjectStatus(); return "inject a status";
    case kClearInjections: runner_.ClearInjections(); return "clear the injections";
    case kFailAllocation:
        IFaceStandin_FailAllocation(in.ConsumeIntegralInRange<int64_t>(1, 40), in.ConsumeBool() ? 1 : 0);
        return "plan an allocation failure";
    case kStopFailing: IFaceStandin_FailAllocation(0, 0); return "stop allocation failures";
    default: return CallEntryPoint();
    }
}

const char* Program::CallEntryPoint() {
    const auto entry = static_cast<EntryPoint>(in_->ConsumeIntegralInRange<int>(0, kEntryPointCount - 1));
    if (entry == kLoad && loaded_) {
        return "DCSLoad skipped";  // the host never loads a loaded record
    }
    const int32_t result = runner_.Call(entry, &block_.Data());
    if (entry == kLoad) {
        loaded_ = true;
        SetGeneral();
    } else if (entry == kDestroy) {
        loaded_ = false;
    }
    runner_.Called(entry, result, block_);
    return kEntryPointNames[entry];
}

// A text of the case: absent, empty, a known tag name, or a long one.
void Program::SetText(DCSValue& cell) {
    FuzzedDataProvider& in = *in_;
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: block_.SetText(cell, nullptr); break;
    case 1: block_.SetText(cell, std::string()); break;
    case 2: block_.SetText(cell, std::string(200 + in.ConsumeIntegralInRange<size_t>(0, 100), 'L')); break;
    case 3: block_.SetText(cell, in.ConsumeRandomLengthString(80)); break;
    default: block_.SetText(cell, in.PickValueInArray(kTagNames)); break;
    }
}

void Program::SetCase(bool withGeneral) {
    FuzzedDataProvider& in = *in_;
    DCSLinkData& d = block_.Data();
    d.CtrlCnt = in.ConsumeIntegralInRange<int32_t>(0, kMaxRows);
    d.PVCnt = in.ConsumeIntegralInRange<int32_t>(0, kMaxRows);
    d.PVImportCnt = in.ConsumeIntegralInRange<int32_t>(0, kMaxRows);
    for (int32_t i = 0; i < kMaxRows; ++i) {
        DCSCtrlRow& ctrl = block_.Controller(static_cast<size_t>(i));
        caseblock::CaseBlock::SetInt(ctrl.Values[CTRL_COL_DATA_SET], DataSet(in));
        for (int32_t column = CTRL_COL_SP; column < caseblock::kControllerColumns; ++column) {
            SetText(ctrl.Values[column]);
        }
        ctrl.OPEnabled = Flag(in);
        ctrl.Mode = in.ConsumeFloatingPoint<double>();
        ctrl.SP = in.ConsumeFloatingPoint<double>();
        ctrl.OP = in.ConsumeFloatingPoint<double>();
        DCSPVRow& pv = block_.PVExport(static_cast<size_t>(i));
        caseblock::CaseBlock::SetInt(pv.Values[PV_COL_DATA_SET], DataSet(in));
        SetText(pv.Values[PV_COL_TAG]);
        pv.Active = Flag(in);
        pv.Value = in.ConsumeFloatingPoint<double>();
        DCSPVRow& imp = block_.PVImport(static_cast<size_t>(i));
        caseblock::CaseBlock::SetInt(imp.Values[PV_COL_DATA_SET], DataSet(in));
        SetText(imp.Values[PV_COL_TAG]);
        caseblock::CaseBlock::SetInt(imp.Values[PV_IMPORT_COL_MAPPING],
                                     in.ConsumeBool() ? in.ConsumeIntegral<int32_t>() : in.ConsumeBool());
        imp.Active = Flag(in);
    }
    if (withGeneral) SetGeneral();
}

// GenData is the driver's block, there only after a load; its texts are the
// host's.
void Program::SetGeneral() {
    DCSValue* general = block_.General();
    if (general == nullptr) return;
    caseblock::CaseBlock::SetInt(general[GEN_DATA_SET], DataSet(*in_));
    SetText(general[GEN_ENABLED_FLAG]);
    SetText(general[GEN_RUNNING_FLAG]);
}

void Program::Resize() {
    FuzzedDataProvider& in = *in_;
    // The record is packed: its counts are assigned, never pointed at.
    DCSLinkData& d = block_.Data();
    const int32_t count = in.ConsumeIntegralInRange<int32_t>(0, kMaxRows);
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: d.CtrlCnt = count; break;
    case 1: d.PVCnt = count; break;
    default: d.PVImportCnt = count; break;
    }
}

// An initialization string: the full catalogue, or entries of the pool
// with their right number of fields, with a few bytes of noise; and now and
// then a length the server reports apart from the text.
void Program::SetInitString() {
    FuzzedDataProvider& in = *in_;
    std::string text;
    if (in.ConsumeBool()) {
        text = FullCatalogue();
    } else {
        const size_t entries = in.ConsumeIntegralInRange<size_t>(0, 24);
        for (size_t i = 0; i < entries; ++i) {
            switch (in.ConsumeIntegralInRange<int>(0, 5)) {
            case 0: text += in.PickValueInArray(kSections); break;
            case 1: text += in.ConsumeRandomLengthString(16); break;
            case 2: text += std::string(in.PickValueInArray(kTagNames)) + ",-,1,0,100"; break;
            default:
                text += std::string(in.PickValueInArray(kTagNames)) + ",-," +
                        std::to_string(in.ConsumeIntegralInRange<int32_t>(0, 2));
                break;
            }
            text += in.ConsumeBool() ? "\n" : ",";
        }
    }
    runner_.SetInitString(text.c_str());
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        runner_.SetReportedLength(in.ConsumeIntegralInRange<int32_t>(-2, static_cast<int32_t>(text.size()) + 64));
    }
}

void Program::SetTagValue() {
    FuzzedDataProvider& in = *in_;
    const int32_t kind = in.PickValueInArray(kServerKinds);
    const int32_t dataSet = in.ConsumeIntegralInRange<int32_t>(0, 2);
    const char* name = in.PickValueInArray(kTagNames);
    if (kind == MRX_KIND_DI || kind == MRX_KIND_DO) {
        runner_.SetInt(kind, dataSet, name, in.ConsumeIntegral<int32_t>());
    } else {
        runner_.SetDouble(kind, dataSet, name, in.ConsumeFloatingPoint<double>());
    }
}

void Program::InjectStatus() {
    FuzzedDataProvider& in = *in_;
    const int32_t operation = in.PickValueInArray(kOperations);
    const char* tag = in.ConsumeBool() ? nullptr : in.PickValueInArray(kTagNames);
    int32_t status = in.ConsumeIntegral<int32_t>();
    status = status == 0 ? 1 : status;
    runner_.InjectStatus(operation, tag, status, in.ConsumeIntegralInRange<int32_t>(-1, 3));
}

}  // namespace life_cycle
