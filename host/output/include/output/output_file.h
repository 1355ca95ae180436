// Every file dcs-host writes goes through here. An output is written to a
// temporary file in the target's folder and renamed into place only when it
// is complete, so a failed or interrupted run leaves any earlier file of
// that name as it was.
#pragma once

#include <cstdio>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <streambuf>
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
    // any work is done. Throws OutputError when the folder cannot take it,
    // `path` names something other than a regular file, or `path` is a link
    // to nothing (replacing the link would lose it; writing through it would
    // create a file the user may not expect).
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
    // Flushes and closes the temporary file; false when anything of it was
    // not written.
    bool Close();

    std::string path_;    // as the user named it, for messages
    std::string target_;  // where the rename goes
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<std::streambuf> buffer_;
    std::ostream out_{nullptr};
    bool live_ = false;  // the temporary file exists and is ours to remove
};

// Writes `text` to `path` whole, through an OutputFile.
void WriteWholeFile(const std::string& path, const std::string& text);

// Makes an interrupt (Ctrl-C, Ctrl-Break, the console window closing;
// SIGINT, SIGTERM, SIGHUP, SIGPIPE) remove the temporary files of every
// OutputFile still open and say so on standard error before the process ends
// as the interrupt would have ended it. Call once, early in main.
void RemoveTemporaryFilesOnSignal();

}  // namespace host
