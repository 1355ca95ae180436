// The check's view of text encodings: the driver compares names byte for
// byte, so a name the case and the initialization string spell alike but
// store in different encodings does not bind, and nothing in the bytes says
// why. The verdicts are decided on the bytes; these passes name the
// encoding where that explains a miss and turn every text the driver or the
// catalogue holds into UTF-8 for the reports.
#pragma once

#include "diagnose/catalogue_parse.h"
#include "diagnose/diagnosis.h"
#include "text/code_page.h"

namespace host {

// Marks every tag text that is in no list of the catalogue but would be
// there in another encoding (UTF-8, or another code page dcs-host has) as
// "other-encoding", naming the encoding and the catalogue's entry.
void ExplainEncodings(Diagnosis& diagnosis, const CatalogueIndex& index, const CodePage& codePage);

// Decodes through the diagnosis's code page every text that holds bytes the
// driver, the catalogue or the rows gave (tag texts, reasons, suggestions,
// gaps, the driver's messages, the lint, root causes, conflicts' tags);
// row names and paths are UTF-8 already. Called once, when every decision
// is made and before anything is shown; a second call changes nothing.
void DecodeForReports(Diagnosis& diagnosis);

}  // namespace host
