// A message the driver raised, as the link captured it.
#pragma once

#include <string>

namespace host {

struct DriverMessage {
    std::string source;  // "box" or "ErrorMsg"
    std::string title;   // the box's title; empty for ErrorMsg
    std::string text;
    std::string raisedBy;  // "DCSConfigure", "DCSInitialize", "step 1", ...
};

}  // namespace host
