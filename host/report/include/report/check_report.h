// The terminal report of a check: problems first, with a summary line, the
// problem rows with their verdicts and the lint findings with the quoted
// line of the initialization string; the bound rows only when asked.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "diagnose/diagnosis.h"

namespace host {

// "1 warning", "3 warnings": `noun` with an s unless there is one.
std::string Counted(int64_t count, const std::string& noun);

std::string CheckReport(const Diagnosis& diagnosis, bool all);

// A tag text in quotes, its carriage returns, line feeds and tabs shown as
// \r, \n and \t, so a blank or a stray character at either end shows.
std::string ShownText(const std::string& text);
// The suggestions as one line: "FIC-101.SP" (AI, data set 1), ...
std::string SuggestionText(const std::vector<Suggestion>& suggestions);

}  // namespace host
