// What the charts of dcs-host draw with, the run's trend chart and the
// trace page's value chart alike: the series' colours and dash patterns,
// and round steps for the ticks of an axis.
#pragma once

#include <cstddef>
#include <string>

namespace host {

// The colour and dash pattern of the i-th series: no two indices share both.
std::string SeriesColour(size_t index);
std::string SeriesDash(size_t index);  // empty for a solid line

// A round step (1, 2 or 5 times a power of ten) for about `ticks` divisions
// of `range`.
double NiceStep(double range, int ticks);

}  // namespace host
