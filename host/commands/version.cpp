#include "commands/commands.h"
#include "link/link.h"
#include "os/os.h"

#ifndef DCS_HOST_VERSION
#define DCS_HOST_VERSION "unknown"
#endif

namespace host {

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

}  // namespace host
