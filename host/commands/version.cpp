#include "commands/command.h"
#include "commands/commands.h"
#include "diagnose/diagnosis.h"
#include "link/link.h"
#include "os/os.h"

#ifndef DCS_HOST_VERSION
#define DCS_HOST_VERSION "unknown"
#endif

namespace host {

const char* HostVersion() { return DCS_HOST_VERSION; }

std::string VersionText(const std::string& driverPath) {
    std::string text = std::string("dcs-host ") + DCS_HOST_VERSION + "\ndriver: " + driverPath;
    os::FileStatus status;
    std::string why;
    if (!os::Status(driverPath, status, why)) return text + " (cannot be read: " + why + ")";
    if (status.type != os::FileType::Regular) return text + " (not found)";
    // The simulator lists a driver by its version block; show what it would.
    if (const std::optional<DriverVersion> version = ReadDriverVersion(driverPath)) {
        text += "\ndriver display name: \"" + version->displayName + "\"";
        text += "\ndriver file version: " + version->fileVersion;
    }
    return text;
}

std::string DriverVersionText(const std::string& path) {
    if (const std::optional<DriverVersion> version = ReadDriverVersion(path)) {
        return version->fileVersion + " (\"" + version->displayName + "\")";
    }
    return path == DefaultDriverPath() ? DCS_HOST_VERSION : "unknown (not the driver built with this host)";
}

std::string CodesText() {
    std::string text;
    for (const Verdict verdict : {Verdict::Bound, Verdict::Empty, Verdict::Unused, Verdict::Problem}) {
        text += std::string("verdict ") + VerdictName(verdict) + "\n";
    }
    for (size_t i = 0; i < kProblemCodeCount; ++i) text += std::string("problem ") + kProblemCodes[i] + "\n";
    for (size_t i = 0; i < kLintCodeCount; ++i) text += std::string("lint ") + kLintCodes[i] + "\n";
    for (size_t i = 0; i < kConflictCodeCount; ++i) text += std::string("conflict ") + kConflictCodes[i] + "\n";
    for (size_t i = 0; i < kGapCodeCount; ++i) text += std::string("gap ") + kGapCodes[i] + "\n";
    return text;
}

}  // namespace host
