#include <filesystem>
#include <system_error>

#include "commands/commands.h"
#include "link/link.h"

#ifndef DCS_HOST_VERSION
#define DCS_HOST_VERSION "unknown"
#endif

namespace host {

std::string VersionText(const std::string& driverPath) {
    std::string text = std::string("dcs-host ") + DCS_HOST_VERSION + "\ndriver: " + driverPath;
    std::error_code error;
    if (!std::filesystem::is_regular_file(driverPath, error)) {
        return text + " (not found)";
    }
    // The simulator lists a driver by its version block; show what it would.
    if (const std::optional<DriverVersion> version = ReadDriverVersion(driverPath)) {
        text += "\ndriver display name: \"" + version->displayName + "\"";
        text += "\ndriver file version: " + version->fileVersion;
    }
    return text;
}

}  // namespace host
