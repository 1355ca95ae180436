// Every file dcs-host writes goes through here. An output is written to a
// temporary file in the target's folder and renamed into place only when it
// is complete, so a failed or interrupted run leaves any earlier file of
// that name as it was.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>

namespace host {

// A failure to open, write or rename an output: the message names the path
// and the system's reason.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OutputFile {
public:
    // Creates a temporary file beside `path` (after following a link at
    // `path` to the file it names), which proves the folder writable before
    // any work is done. Throws OutputError when the folder cannot take it or
    // `path` names something other than a regular file.
    explicit OutputFile(std::string path);
    // Removes the temporary file unless Commit() succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::ostream& Stream() { return out_; }
    const std::string& Path() const { return path_; }

    // Flushes and closes the temporary file, gives it the permissions of the
    // file it replaces and renames it to the target. Throws OutputError; the
    // target is then left as it was and the temporary file removed.
    void Commit();

private:
    [[noreturn]] void Fail(const std::string& why);

    std::string path_;    // as the user named it, for messages
    std::string target_;  // where the rename goes
    std::string tempPath_;
    std::ofstream out_;
    bool live_ = false;  // the temporary file exists and is ours to remove
};

// Writes `text` to `path` whole, through an OutputFile.
void WriteWholeFile(const std::string& path, const std::string& text);

// Makes SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the temporary files of
// every OutputFile still open before the process ends as the signal would
// have ended it. Call once, early in main.
void RemoveTemporaryFilesOnSignal();

}  // namespace host
