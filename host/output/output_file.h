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
    // Opens a temporary file beside `path`. Throws OutputError.
    explicit OutputFile(std::string path);
    // Removes the temporary file unless Commit() succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::ostream& Stream() { return out_; }
    const std::string& Path() const { return path_; }

    // Flushes and closes the temporary file and renames it to the target.
    // Throws OutputError; the target is then left as it was.
    void Commit();

private:
    std::string path_;
    std::string tempPath_;
    std::ofstream out_;
    bool committed_ = false;
};

// Writes `text` to `path` whole, through an OutputFile.
void WriteWholeFile(const std::string& path, const std::string& text);

}  // namespace host
