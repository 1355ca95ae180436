// What every self-contained page of dcs-host (check and run, trace, diff,
// test) shares: the frame around its content, the one style sheet, the
// figures of a summary table and the escaping (markup.h, shared with the
// SVG and XML outputs). A page is mailed and opened in any browser, so it
// fetches nothing: the style is inline.
#pragma once

#include <string>

#include "markup.h"

namespace host {

// "<!DOCTYPE html>..." up to and including <body>, with the title escaped;
// a page that reloads itself every `reloadSeconds` when above 0 (a trace
// followed live). The page's content, its <h1> included, comes after.
std::string PageStart(const std::string& title, int reloadSeconds = 0);
std::string PageEnd();

// A figure of a summary: `value` escaped, in bold, tagged with `id` for the
// tests and scripts that read it; `cls` adds a class ("bad", "good").
std::string Figure(const std::string& id, const std::string& value, const std::string& cls = "");
// A row of a summary table: the label escaped, the cell as given (HTML).
std::string SummaryRow(const std::string& label, const std::string& cell);

}  // namespace host
