#include "commands.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "iface_control.h"
#include "link.h"
#include "mrx3p_control.h"
#include "report.h"
#include "schedule.h"
#include "user32_control.h"

namespace host {

namespace {

// Labels the host reads back for its own display; a driver that does not
// declare them just shows nothing there.
const char* const kDataSetLabel = "Data Set";
const char* const kEnabledFlagLabel = "Enabled Flag";
const char* const kRunningFlagLabel = "Running Flag";

// A fresh server holding the case's initialization string and tags, and
// fresh host services.
void PrepareServer(const Case& c) {
    MrxStandin_Reset();
    IFaceStandin_Reset();
    User32Standin_Reset();
    if (MrxStandin_SetInitStringFromFile(c.initStringPath.c_str()) != 0) {
        throw CaseError(Located(c.file, c.initStringLine,
                                "cannot read the initialization string file \"" + c.initStringPath + "\""));
    }
    for (const TagValue& tag : c.tags) {
        if (IsIntegerKind(tag.kind)) {
            MrxStandin_SetInt(static_cast<int32_t>(tag.kind), tag.dataSet, tag.name.c_str(),
                              static_cast<int32_t>(tag.value));
        } else {
            MrxStandin_SetDouble(static_cast<int32_t>(tag.kind), tag.dataSet, tag.name.c_str(), tag.value);
        }
    }
}

void SetTag(const TagValue& tag) {
    if (IsIntegerKind(tag.kind)) {
        MrxStandin_SetInt(static_cast<int32_t>(tag.kind), tag.dataSet, tag.name.c_str(),
                          static_cast<int32_t>(tag.value));
    } else {
        MrxStandin_SetDouble(static_cast<int32_t>(tag.kind), tag.dataSet, tag.name.c_str(), tag.value);
    }
}

struct Message {
    bool box;
    std::string caption;
    std::string text;
};

// The messages raised since the last call.
class MessageWatch {
public:
    std::vector<Message> Take() {
        std::vector<Message> messages;
        const int32_t boxes = User32Standin_BoxCount();
        for (; boxes_ < boxes; ++boxes_) {
            messages.push_back({true, User32Standin_BoxCaption(boxes_), User32Standin_BoxText(boxes_)});
        }
        const int32_t errors = IFaceStandin_ErrorMessageCount();
        for (; errors_ < errors; ++errors_) {
            messages.push_back({false, "", IFaceStandin_ErrorMessage(errors_)});
        }
        return messages;
    }

private:
    int32_t boxes_ = 0;
    int32_t errors_ = 0;
};

std::optional<int32_t> FlagTag(const Link& link, const char* label) {
    const std::string name = link.GeneralText(label);
    int32_t value = 0;
    if (name.empty() ||
        MrxStandin_GetInt(MRX_KIND_DI, link.GeneralInteger(kDataSetLabel, 0), name.c_str(), &value) != 1) {
        return std::nullopt;
    }
    return value;
}

// The rows as they stand, and the change marks put back to 0.
StepRecord Sample(Link& link, int32_t step) {
    StepRecord record;
    record.step = step;
    DCSLinkData& d = link.Data();
    for (int32_t i = 0; i < d.CtrlCnt; ++i) {
        DCSCtrlRow& row = d.CtrlData[i];
        const double sp = row.SP;
        const double op = row.OP;
        const uint8_t spChanged = row.SPChanged;
        const uint8_t opChanged = row.OPChanged;
        record.controllers.push_back({sp, op, spChanged != 0, opChanged != 0});
        row.SPChanged = 0;
        row.OPChanged = 0;
    }
    for (int32_t i = 0; i < d.PVCnt; ++i) {
        const double value = d.PVData[i].Value;
        record.pvExports.push_back(value);
    }
    for (int32_t i = 0; i < d.PVImportCnt; ++i) {
        const double value = d.PVImportData[i].Value;
        record.pvImports.push_back(value);
    }
    record.enabled = FlagTag(link, kEnabledFlagLabel);
    record.running = FlagTag(link, kRunningFlagLabel);
    return record;
}

Layout LayoutOf(const Case& c) {
    Layout layout;
    for (const ControllerCase& row : c.controllers) layout.controllers.push_back(row.name);
    for (const PVExportCase& row : c.pvExports) layout.pvExports.push_back(row.name);
    for (const PVImportCase& row : c.pvImports) layout.pvImports.push_back(row.name);
    return layout;
}

std::string EventText(const Event& event) {
    if (event.action != Action::SetTag) {
        return ActionName(event.action);
    }
    char value[32];
    std::snprintf(value, sizeof value, "%g", event.tag.value);
    return std::string("set_tag ") + event.tag.name + "=" + value;
}

// Warns when the driver kept blocks of the host services past DCSDestroy.
void CheckReleased(int64_t mallocBefore, int64_t newBefore) {
    const int64_t mallocLeft = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC) - mallocBefore;
    const int64_t newLeft = IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW) - newBefore;
    if (mallocLeft != 0 || newLeft != 0) {
        std::fprintf(stderr, "dcs-host: warning: after DCSDestroy the driver still holds %lld malloc and %lld new blocks\n",
                     static_cast<long long>(mallocLeft), static_cast<long long>(newLeft));
    }
    if (MrxStandin_CookieFaults() != 0) {
        std::fprintf(stderr, "dcs-host: warning: the tag server counted %d cookie faults\n",
                     static_cast<int>(MrxStandin_CookieFaults()));
    }
}

std::string FlagText(const std::optional<int32_t>& flag) { return flag ? std::to_string(*flag) : "-"; }

}  // namespace

int RunCommand(const Case& c, const RunOptions& options) {
    const int32_t steps = options.steps.value_or(c.steps.value_or(kDefaultSteps));
    std::ofstream csv;
    if (!options.csvPath.empty()) {
        csv.open(options.csvPath);
        if (!csv) {
            std::fprintf(stderr, "dcs-host: cannot write %s\n", options.csvPath.c_str());
            return 2;
        }
    }
    for (const Event* event : EventsAfter(c, steps)) {
        std::fprintf(stderr, "dcs-host: warning: %s\n",
                     Located(c.file, event->line, "event at step " + std::to_string(event->step) +
                                                      " lies beyond the last step (" + std::to_string(steps) + ")")
                         .c_str());
    }

    Driver driver(options.driverPath);
    PrepareServer(c);
    const int64_t mallocBefore = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
    const int64_t newBefore = IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW);
    const Layout layout = LayoutOf(c);
    std::vector<StepRecord> records;
    bool configured = false;
    bool allOk = true;
    {
        Link link(driver);
        link.Load();
        link.Fill(c);
        DCSLinkData& d = link.Data();
        MessageWatch watch;
        watch.Take();  // whatever the load raised was shown as it happened

        configured = driver.Configure(&d) == 1;
        watch.Take();
        std::printf("%s: DCSConfigure %s\n", c.file.c_str(),
                    configured ? "configured the link" : "did not configure the link; no steps run");
        if (configured) {
            driver.Initialize(&d);
            StepRecord init = Sample(link, 0);
            // DCSInitialize returns nothing to go by: a message it raised
            // is what tells a failed write.
            init.ok = watch.Take().empty();
            init.events = "initialize";
            allOk = allOk && init.ok;
            records.push_back(init);
            std::fputs(TableHeader(layout).c_str(), stdout);
            std::fputs(TableRow(layout, init).c_str(), stdout);
            if (csv.is_open()) csv << CsvHeader(layout) << CsvRow(layout, init);

            std::vector<double> pv;
            for (int32_t i = 0; i < d.PVCnt; ++i) pv.push_back(d.PVData[i].Value);
            for (int32_t step = 1; step <= steps; ++step) {
                std::string applied;
                for (const Event* event : EventsAt(c, step)) {
                    switch (event->action) {
                    case Action::Start: driver.Start(&d); break;
                    case Action::Stop: driver.Stop(&d); break;
                    case Action::TimeZero: driver.TimeZero(&d); break;
                    case Action::SetTag: SetTag(event->tag); break;
                    }
                    applied += (applied.empty() ? "" : " ") + EventText(*event);
                }
                for (size_t i = 0; i < pv.size(); ++i) {
                    const Response& response = c.pvExports[i].response;
                    double op = 0.0;
                    if (response.follows) {
                        op = d.CtrlData[response.controller].OP;
                    }
                    pv[i] = NextValue(response, pv[i], op);
                    d.PVData[i].Value = pv[i];
                }
                const int32_t result = driver.Simulate(&d);
                StepRecord record = Sample(link, step);
                record.events = applied;
                record.ok = result == 1 && watch.Take().empty();
                allOk = allOk && record.ok;
                records.push_back(record);
                std::fputs(TableRow(layout, record).c_str(), stdout);
                if (csv.is_open()) csv << CsvRow(layout, record);
            }
        }
        driver.Reset(&d);
        std::printf("after DCSReset: Enabled %s, Running %s\n", FlagText(FlagTag(link, kEnabledFlagLabel)).c_str(),
                    FlagText(FlagTag(link, kRunningFlagLabel)).c_str());
        link.Destroy();
    }
    CheckReleased(mallocBefore, newBefore);
    std::fflush(stdout);

    int status = configured && allOk ? 0 : 1;
    if (csv.is_open()) {
        csv.close();
        if (!csv) {
            std::fprintf(stderr, "dcs-host: cannot write %s\n", options.csvPath.c_str());
            status = 2;
        }
    }
    if (!options.plotPath.empty()) {
        std::ofstream svg(options.plotPath);
        if (svg) {
            WriteSvg(svg, layout, records, c.file);
            svg.close();
        }
        if (!svg) {
            std::fprintf(stderr, "dcs-host: cannot write %s\n", options.plotPath.c_str());
            status = 2;
        }
    }
    return status;
}

namespace {

struct LoggedCall {
    int32_t operation;
    int32_t dataSet;
    std::string tag;
    int32_t status;
};

std::vector<LoggedCall> CallLog() {
    std::vector<LoggedCall> calls;
    for (int32_t i = 0; i < MrxStandin_CallCount(); ++i) {
        const MrxCall* call = MrxStandin_Call(i);
        if (call != nullptr) {
            calls.push_back({call->operation, call->dataSet, call->tag != nullptr ? call->tag : "", call->status});
        }
    }
    return calls;
}

const char* OperationName(int32_t operation) {
    switch (operation) {
    case MRX_OP_READ_AI: return "ReadAI";
    case MRX_OP_WRITE_AI: return "WriteAI";
    case MRX_OP_READ_AO: return "ReadAO";
    case MRX_OP_READ_DI: return "ReadDI";
    case MRX_OP_WRITE_DI: return "WriteDI";
    case MRX_OP_READ_DO: return "ReadDO";
    case MRX_OP_READ_CALC: return "ReadCALC";
    case MRX_OP_WRITE_CALC: return "WriteCALC";
    default: return nullptr;
    }
}

enum class Direction { Read, Write, Any };

bool Matches(int32_t operation, Direction direction) {
    const bool write = operation == MRX_OP_WRITE_AI || operation == MRX_OP_WRITE_DI || operation == MRX_OP_WRITE_CALC;
    switch (direction) {
    case Direction::Read: return !write;
    case Direction::Write: return write;
    case Direction::Any: return true;
    }
    return true;
}

// Which way the driver moves a tag of each role: it reads the SP, OP and
// imported PV tags and writes the others.
Direction DirectionOf(const std::string& table, const std::string& label) {
    if (label == "SP Tag" || label == "OP Tag" || (table == "pv_import" && label == "PV Tag")) {
        return Direction::Read;
    }
    if (label == "SP Init Tag" || label == "OP Init Tag" || label == "Mode Tag" ||
        (table == "pv_export" && label == "PV Tag") || label == kEnabledFlagLabel || label == kRunningFlagLabel) {
        return Direction::Write;
    }
    return Direction::Any;
}

// "FIC-101.SP ReadAI", with the operations the log shows for the tag in the
// data set; "not bound" when it shows none.
std::string Served(const std::vector<LoggedCall>& log, int32_t dataSet, const std::string& tag, Direction direction) {
    if (tag.empty()) {
        return "(no tag)";
    }
    std::vector<std::pair<int32_t, int32_t>> seen;  // operation, first failing status
    for (const LoggedCall& call : log) {
        if (call.dataSet != dataSet || call.tag != tag || OperationName(call.operation) == nullptr ||
            !Matches(call.operation, direction)) {
            continue;
        }
        bool known = false;
        for (auto& entry : seen) {
            if (entry.first == call.operation) {
                known = true;
                if (entry.second == 0) entry.second = call.status;
            }
        }
        if (!known) seen.push_back({call.operation, call.status});
    }
    if (seen.empty()) {
        return tag + " not bound";
    }
    std::string text = tag;
    for (size_t i = 0; i < seen.size(); ++i) {
        text += (i == 0 ? " " : "/") + std::string(OperationName(seen[i].first));
        if (seen[i].second != 0) text += " (status " + std::to_string(seen[i].second) + ")";
    }
    return text;
}

// "SP Init Tag" is shown as "SP Init".
std::string RoleOf(const std::string& label) {
    const std::string suffix = " Tag";
    if (label.size() > suffix.size() && label.compare(label.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return label.substr(0, label.size() - suffix.size());
    }
    return label;
}

std::string RowReport(const std::vector<LoggedCall>& log, const DefTable& defs, const DCSValue* cells,
                      const std::string& table, bool used, const std::string& unusedWhy) {
    const int32_t dataSet = Link::RowInteger(defs, cells, kDataSetLabel, 0);
    std::string text;
    for (int32_t i = 0; i < defs.count; ++i) {
        if (defs.defs[i].Kind != FIELD_KIND_TEXT || defs.defs[i].Label == nullptr) {
            continue;
        }
        const std::string label = defs.defs[i].Label;
        const std::string tag = Link::RowText(defs, cells, label);
        std::string served = Served(log, dataSet, tag, DirectionOf(table, label));
        // An OP the row does not enable, or a PV row not active, is left
        // alone by the driver: say so rather than "not bound".
        if (!used && !tag.empty() && served == tag + " not bound" &&
            (table != "controller" || label == "OP Tag" || label == "OP Init Tag")) {
            served = tag + " not used (" + unusedWhy + ")";
        }
        text += (text.empty() ? "" : ", ") + RoleOf(label) + " " + served;
    }
    return text;
}

void PrintMessages(const char* phase, const std::vector<Message>& messages) {
    if (messages.empty()) {
        return;
    }
    std::printf("messages during %s:\n", phase);
    for (const Message& m : messages) {
        std::string head = m.box ? "  box \"" + m.caption + "\": " : std::string("  ErrorMsg: ");
        std::string text = m.text;
        size_t start = 0;
        bool first = true;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            const size_t lead = line.find_first_not_of(' ');
            line = lead == std::string::npos ? std::string() : line.substr(lead);
            if (first) {
                std::printf("%s%s\n", head.c_str(), line.c_str());
            } else if (!line.empty()) {
                std::printf("      %s\n", line.c_str());
            }
            first = false;
            start = end + 1;
        }
    }
}

}  // namespace

int CheckCommand(const Case& c, const std::string& driverPath) {
    Driver driver(driverPath);
    PrepareServer(c);
    // The messages are reported below, all together.
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    const int64_t mallocBefore = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
    const int64_t newBefore = IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW);
    bool configured = false;
    int32_t stepResult = 0;
    {
        Link link(driver);
        link.Load();
        link.Fill(c);
        DCSLinkData& d = link.Data();
        MessageWatch watch;
        std::printf("check %s\n", c.file.c_str());
        PrintMessages("DCSLoad", watch.Take());
        configured = driver.Configure(&d) == 1;
        PrintMessages("DCSConfigure", watch.Take());
        std::printf("configuration: %s\n", configured ? "configured (DCSConfigure returned 1)"
                                                      : "not configured (DCSConfigure returned 0)");
        bool initOk = false;
        if (configured) {
            driver.Initialize(&d);
            const std::vector<Message> messages = watch.Take();
            PrintMessages("DCSInitialize", messages);
            initOk = messages.empty();
            std::printf("initialize: %s\n", initOk ? "ok" : "raised messages");
            stepResult = driver.Simulate(&d);
            PrintMessages("step 1", watch.Take());
            std::printf("step 1: %s (DCSSimulate returned %d)\n", stepResult == 1 ? "ok" : "failed",
                        static_cast<int>(stepResult));
        } else {
            std::printf("initialize and step 1: not run\n");
        }
        stepResult = stepResult == 1 && initOk ? 1 : 0;

        const std::vector<LoggedCall> log = CallLog();
        const DefTable general = link.General();
        if (d.GenData != nullptr) {
            const int32_t dataSet = link.GeneralInteger(kDataSetLabel, 0);
            std::string text;
            for (int32_t i = 0; i < general.count; ++i) {
                if (general.defs[i].Kind != FIELD_KIND_TEXT || general.defs[i].Label == nullptr) continue;
                const std::string label = general.defs[i].Label;
                text += (text.empty() ? "" : ", ") + label + " " +
                        Served(log, dataSet, link.GeneralText(label), DirectionOf("general", label));
            }
            std::printf("general: %s\n", text.c_str());
        }
        for (int32_t i = 0; i < d.CtrlCnt; ++i) {
            const DCSCtrlRow& row = d.CtrlData[i];
            const int16_t opEnabled = row.OPEnabled;
            std::printf("controller %d (%s): %s\n", static_cast<int>(i), c.controllers[static_cast<size_t>(i)].name.c_str(),
                        RowReport(log, link.ControllerDefs(), row.Values, "controller", opEnabled == 1,
                                  "OPEnabled " + std::to_string(opEnabled))
                            .c_str());
        }
        for (int32_t i = 0; i < d.PVCnt; ++i) {
            const int16_t active = d.PVData[i].Active;
            std::printf("pv_export %d (%s): %s\n", static_cast<int>(i), c.pvExports[static_cast<size_t>(i)].name.c_str(),
                        RowReport(log, link.PVExportDefs(), d.PVData[i].Values, "pv_export", active == 1,
                                  "Active " + std::to_string(active))
                            .c_str());
        }
        for (int32_t i = 0; i < d.PVImportCnt; ++i) {
            const int16_t active = d.PVImportData[i].Active;
            std::printf("pv_import %d (%s): %s\n", static_cast<int>(i), c.pvImports[static_cast<size_t>(i)].name.c_str(),
                        RowReport(log, link.PVImportDefs(), d.PVImportData[i].Values, "pv_import", active == 1,
                                  "Active " + std::to_string(active))
                            .c_str());
        }
        driver.Reset(&d);
        link.Destroy();
    }
    CheckReleased(mallocBefore, newBefore);
    const bool ok = configured && stepResult == 1;
    std::printf("result: %s\n", ok ? "ok" : "FAILED");
    std::fflush(stdout);
    return ok ? 0 : 1;
}

}  // namespace host
