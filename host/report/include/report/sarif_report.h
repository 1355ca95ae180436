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

// The check as JUnit XML, for CI systems that show test results: one suite
// for the case, a test for the link's configuration and dry run, one per
// row (failed when the row has a problem or the driver differs from the
// rules on it; a case gap is told in its output), one per root cause, and
// one per conflict and lint error, which fail as the check does.
std::string CheckJunitReport(const Diagnosis& d, const Case& c);

// A file's path as a SARIF artifact URI: a relative path stays a relative
// reference (forward slashes), an absolute one becomes a file: URI; bytes
// outside the unreserved set are percent-encoded.
std::string ArtifactUri(const std::string& path);

}  // namespace host
