// Numbers in machine-read outputs (CSV): the shortest text that reads back
// as exactly the same double, so two runs that differ in the last bit show
// it, and the text is the same whichever system or C library wrote it.
#pragma once

#include <string>

namespace host {

// The shortest form that round-trips ("0.5", "46.25", "1e+300",
// "0.35000000000000003"); "nan", "-nan", "inf" and "-inf" for the rest.
std::string NumberText(double value);
// The same, appended to `out`.
void AppendNumberText(std::string& out, double value);

}  // namespace host
