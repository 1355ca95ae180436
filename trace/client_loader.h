// The tracing client library's own part: where the settings come from, how
// the real library is found and loaded, and the one session of the process.
#pragma once

#include <string>

#include "trace_core.h"

namespace mrxtrace {

// The settings as the client library reads them: MRX3P-trace.ini beside the
// library, then the environment (MRX3P_TRACE_REAL, MRX3P_TRACE_FILE,
// MRX3P_TRACE_LEVEL, MRX3P_TRACE_LIMIT_MB, MRX3P_TRACE_CODE_PAGE) over it.
struct ClientSettings {
    std::string settingsFile;     // the file read, empty when there was none
    std::string settingsProblem;  // why the file beside the library was not read, if it was not
    std::string real;
    std::string file;
    TraceLevel level = TraceLevel::Changes;
    uint32_t limitMb = kDefaultLimitMb;
    uint32_t codePage = kDefaultCodePage;
    std::string warning;  // what was wrong with the settings
};

// `ownPath` is the client library's own file; `iniText` the settings file's
// content (null when there is none); `iniProblem` why a settings file that is
// there was not read (empty when it was, or there is none).
ClientSettings ResolveSettings(const std::string& ownPath, const std::string* iniText, const std::string& iniProblem);

// The process's session, made on the first call of any operation (never in
// the loader's attach routine): settings read, real library loaded (or the
// reason it is not), trace file opened.
TraceSession& ClientSession();

// The real library's ordinal 10, whose signature is not known; null when the
// real library or its ordinal 10 is missing (Windows only).
void* RealOrdinal10();

// At unload or process end: the closing summary. With `processEnding` the
// work is cut to what is safe while the process is being torn down.
void EndClientSession(bool processEnding);

}  // namespace mrxtrace
