#include "commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "html_report.h"
#include "iface_control.h"
#include "mrx3p_control.h"
#include "session.h"
#include "user32_control.h"

namespace host {

namespace {

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

int CheckCommand(const Case& c, const CheckOptions& options) {
    Driver driver(options.driverPath);
    PrepareServer(c);
    // The messages are reported below, all together.
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    const BlockCounts before = LiveBlocks();
    bool configured = false;
    int32_t stepResult = 0;
    std::vector<DriverMessage> raised;  // every message, in order, for the page
    {
        Link link(driver);
        link.Load();
        link.Fill(c);
        DCSLinkData& d = link.Data();
        MessageWatch watch;
        auto show = [&](const char* phase, const std::vector<Message>& messages) {
            PrintMessages(phase, messages);
            const std::vector<DriverMessage> now = Raised(messages, phase);
            raised.insert(raised.end(), now.begin(), now.end());
        };
        std::printf("check %s\n", c.file.c_str());
        show("DCSLoad", watch.Take());
        configured = driver.Configure(&d) == 1;
        show("DCSConfigure", watch.Take());
        std::printf("configuration: %s\n",
                    configured ? "configured (DCSConfigure returned 1)" : "not configured (DCSConfigure returned 0)");
        bool initOk = false;
        if (configured) {
            driver.Initialize(&d);
            const std::vector<Message> messages = watch.Take();
            show("DCSInitialize", messages);
            initOk = messages.empty();
            std::printf("initialize: %s\n", initOk ? "ok" : "raised messages");
            stepResult = driver.Simulate(&d);
            show("step 1", watch.Take());
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
            std::printf("controller %d (%s): %s\n", static_cast<int>(i),
                        c.controllers[static_cast<size_t>(i)].name.c_str(),
                        RowReport(log, link.ControllerDefs(), row.Values, "controller", opEnabled == 1,
                                  "OPEnabled " + std::to_string(opEnabled))
                            .c_str());
        }
        for (int32_t i = 0; i < d.PVCnt; ++i) {
            const int16_t active = d.PVData[i].Active;
            std::printf("pv_export %d (%s): %s\n", static_cast<int>(i),
                        c.pvExports[static_cast<size_t>(i)].name.c_str(),
                        RowReport(log, link.PVExportDefs(), d.PVData[i].Values, "pv_export", active == 1,
                                  "Active " + std::to_string(active))
                            .c_str());
        }
        for (int32_t i = 0; i < d.PVImportCnt; ++i) {
            const int16_t active = d.PVImportData[i].Active;
            std::printf("pv_import %d (%s): %s\n", static_cast<int>(i),
                        c.pvImports[static_cast<size_t>(i)].name.c_str(),
                        RowReport(log, link.PVImportDefs(), d.PVImportData[i].Values, "pv_import", active == 1,
                                  "Active " + std::to_string(active))
                            .c_str());
        }
        driver.Reset(&d);
        link.Destroy();
    }
    CheckReleased(before);
    const bool ok = configured && stepResult == 1;
    std::printf("result: %s\n", ok ? "ok" : "FAILED");
    std::fflush(stdout);
    if (!options.htmlPath.empty()) {
        PageInput page;
        page.command = "check";
        page.casePath = c.file;
        page.driverPath = options.driverPath;
        page.driverVersion = options.driverVersion;
        page.configured = configured;
        page.messages = raised;
        WriteHtmlPage(options.htmlPath, page);
    }
    return ok ? 0 : 1;
}

}  // namespace host
