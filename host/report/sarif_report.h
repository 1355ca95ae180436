// The check as a SARIF 2.1.0 log, the format code-review tools and CI
// systems read to annotate lines: every problem, lint finding, root cause,
// conflict and case gap as a result whose rule id is its code, with its
// level and its place in the case file, an IO list or the initialization
// string.
#pragma once

#include <string>

#include "case/case_file.h"
#include "diagnose/diagnosis.h"

namespace host {

// `toolVersion`: the version of dcs-host, as --version prints it.
std::string SarifReport(const Diagnosis& d, const Case& c, const std::string& toolVersion);

// A file's path as a SARIF artifact URI: a relative path stays a relative
// reference (forward slashes), an absolute one becomes a file: URI; bytes
// outside the unreserved set are percent-encoded.
std::string ArtifactUri(const std::string& path);

}  // namespace host
