// The whole diagnosis as JSON, in a shape that tools may rely on.
#pragma once

#include <string>

#include "diagnose/diagnosis.h"

namespace host {

std::string JsonReport(const Diagnosis& diagnosis);

}  // namespace host
