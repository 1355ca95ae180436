// The host's two commands, against the simulated tag server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "case_file.h"

namespace host {

struct RunOptions {
    std::string driverPath;
    std::optional<int32_t> steps;  // overrides the case's
    std::string csvPath;           // empty: no CSV
    std::string plotPath;          // empty: no chart
};

struct CheckOptions {
    std::string driverPath;
};

constexpr int32_t kDefaultSteps = 10;

// Exit statuses: 0 the case configured and every step succeeded, 1 it did
// not, 2 the case, the driver or an output file could not be used.
int RunCommand(const Case& c, const RunOptions& options);
int CheckCommand(const Case& c, const CheckOptions& options);

// What --version prints: dcs-host's version, the driver's path and, for a
// Windows driver, the display name and file version from its version block.
std::string VersionText(const std::string& driverPath);

}  // namespace host
