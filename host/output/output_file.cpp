#include "output/output_file.h"

#include <ext/stdio_filebuf.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "os/os.h"

namespace host {

namespace {

namespace fs = std::filesystem;

const char* KindOf(os::FileType type) {
    switch (type) {
    case os::FileType::Directory: return "a directory";
    case os::FileType::Fifo: return "a FIFO";
    case os::FileType::CharacterDevice: return "a character device";
    case os::FileType::BlockDevice: return "a block device";
    case os::FileType::Socket: return "a socket";
    default: return "not a regular file";
    }
}

// A name no other run writing the same target at the same time would pick.
std::string TemporaryName(const fs::path& target) {
    static unsigned counter = 0;
    return os::Utf8(target.parent_path() /
                    os::FsPath("." + os::Utf8(target.filename()) + "." + std::to_string(os::ProcessId()) + "-" +
                               std::to_string(counter++) + ".tmp"));
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    if (path_.empty()) throw OutputError("cannot write \"\": no file name given");
    if (os::IsDanglingLink(path_)) {
        throw OutputError("cannot write \"" + path_ +
                          "\": it is a link to a file that does not exist; name the file itself, or remove the link");
    }
    std::error_code error;
    // A link is followed so that the file it names is replaced, not the link.
    const fs::path absolute = fs::absolute(os::FsPath(path_), error);
    fs::path target = fs::weakly_canonical(absolute, error);
    // A folder that is a file fails here; the check of the folder below says
    // so in plain words.
    const std::error_code unresolved = error;
    if (error) target = absolute.lexically_normal();
    std::string why;
    os::FileStatus status;
    if (!os::Status(path_, status, why)) throw OutputError("cannot write \"" + path_ + "\": " + why);
    if (status.type != os::FileType::Missing && status.type != os::FileType::Regular) {
        throw OutputError("cannot write \"" + path_ + "\": it is " + KindOf(status.type) +
                          "; an output replaces only a regular file");
    }
    const std::string folderPath = os::Utf8(target.parent_path());
    os::FileStatus folder;
    if (!os::Status(folderPath, folder, why) || folder.type != os::FileType::Directory) {
        throw OutputError("cannot write \"" + path_ + "\": its folder \"" + folderPath + "\" " +
                          (folder.type == os::FileType::Missing ? "does not exist" : "is not a directory"));
    }
    if (unresolved) throw OutputError("cannot write \"" + path_ + "\": " + unresolved.message());
    target_ = os::Utf8(target);
    tempPath_ = TemporaryName(target);
    os::TrackTemporary(tempPath_);
    file_ = os::OpenFile(tempPath_, "wb", why);
    if (file_ == nullptr) {
        os::UntrackTemporary(tempPath_);
        throw OutputError("cannot write \"" + path_ + "\": cannot create a file in its folder \"" + folderPath +
                          "\": " + why);
    }
    buffer_ = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(file_, std::ios::out | std::ios::binary);
    out_.rdbuf(buffer_.get());
    live_ = true;
}

OutputFile::~OutputFile() {
    if (live_) {
        Close();
        os::RemoveFile(tempPath_);
        os::UntrackTemporary(tempPath_);
    }
}

bool OutputFile::Close() {
    if (file_ == nullptr) return true;
    out_.flush();
    const bool streamOk = static_cast<bool>(out_);
    out_.rdbuf(nullptr);
    buffer_.reset();
    const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return streamOk && flushed && closed;
}

void OutputFile::Fail(const std::string& why) {
    Close();
    os::RemoveFile(tempPath_);
    os::UntrackTemporary(tempPath_);
    live_ = false;
    throw OutputError("cannot write \"" + path_ + "\": " + why);
}

void OutputFile::Commit() {
    if (!live_) {
        throw OutputError("cannot write \"" + path_ + "\": it was already written or given up");
    }
    errno = 0;
    if (!Close()) {
        Fail(errno != 0 ? std::strerror(errno) : "the temporary file could not be written whole");
    }
    // The replacement keeps who may read the earlier file.
    os::CopyPermissions(target_, tempPath_);
    std::string why;
    if (!os::Rename(tempPath_, target_, why)) {
        Fail(why);
    }
    os::UntrackTemporary(tempPath_);
    live_ = false;
    // From now on an interrupt would leave this run's finished outputs in
    // place, so "wrote no output" would no longer be true.
    os::SetInterruptNotice(
        "dcs-host: interrupted: the outputs this run finished are in place; one it was still writing was not "
        "written, and a file of that name from an earlier run is kept as it was\n");
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    OutputFile file(path);
    file.Stream() << text;
    file.Commit();
}

void RemoveTemporaryFilesOnSignal() {
    os::RemoveTemporariesOnInterrupt(
        "dcs-host: interrupted: this run wrote no output; files of the same names from earlier runs are kept as they "
        "were\n");
}

}  // namespace host
