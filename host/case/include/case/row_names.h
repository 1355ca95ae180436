// The host's names of a case's rows, in table order: what every stage that
// shows a row calls it by.
#pragma once

#include <string>
#include <vector>

namespace host {

struct Case;

struct RowNames {
    std::vector<std::string> controllers;
    std::vector<std::string> pvExports;
    std::vector<std::string> pvImports;
};

RowNames RowNamesOf(const Case& c);

}  // namespace host
