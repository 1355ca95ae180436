// Where a command finds an initialization string and the code page of its
// names: a string file, a trace of the Marlix client (the string it
// captured), or a case naming one. tags, diff, map and the --init-string of
// run and check all take their string through here, so a SOURCE means the
// same to every command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "text/code_page.h"

namespace host {

// The code page a trace's header names, when `path` is a trace that names
// one dcs-host has; none for any other file (an initialization string, a
// trace of format 1 or 2).
std::optional<int> CodePageNamedByTrace(const std::string& path);

// `path` as an initialization string file: a trace gives the string of its
// fetch `fetch` (the last when none), byte for byte, in a temporary file
// removed when dcs-host ends, and `name` then says where it came from
// ("plant.jsonl, fetch 2"); any other file is itself. Throws TraceError, or
// std::runtime_error when the trace holds no such fetch.
std::string InitStringFileOf(const std::string& path, std::optional<int64_t> fetch, std::string* name = nullptr);

// Replaces the case's initialization string with the file at `path` (a
// captured string, used byte for byte, or a trace's fetch `fetch`).
void UseInitString(Case& c, const std::string& path, std::optional<int64_t> fetch = std::nullopt);

// The initialization string file of a SOURCE argument: the file itself, for
// a trace of the Marlix client its fetch `fetch` (the last when none), or
// for a case file (named *.toml) the string the case names. `name` says
// which, for the reports; `codePage`, the code page the SOURCE names (see
// CodePageOfSource). Throws CaseError, TraceError or runtime_error.
std::string InitStringOfSource(const std::string& source, std::optional<int64_t> fetch = std::nullopt,
                               std::string* name = nullptr, std::optional<int>* codePage = nullptr);

// The code page a SOURCE's names are bytes of, when it names one: a case's
// code_page, the one a trace's header names; none for a case that names
// none or a plain initialization string file. Throws CaseError for a case
// that cannot be read.
std::optional<int> CodePageOfSource(const std::string& source);

// The code page a string's names are shown and matched in: the one given
// (--code-page), else the first one of `sources` names (cases and traces;
// empty paths are skipped), else 1252. Throws CaseError for a case that
// cannot be read or names a code page dcs-host has not.
CodePage NamesCodePage(std::optional<int> given, const std::vector<std::string>& sources);

}  // namespace host
