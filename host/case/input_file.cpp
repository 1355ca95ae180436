#include "case/input_file.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>

#include "os/os.h"
#include "text/code_page.h"

namespace host {

namespace {

const char* KindOf(os::FileType type) {
    switch (type) {
    case os::FileType::Missing: return "missing";
    case os::FileType::Directory: return "a directory";
    case os::FileType::Fifo: return "a FIFO, which could block for ever";
    case os::FileType::CharacterDevice: return "a character device, which could run on without end";
    case os::FileType::BlockDevice: return "a block device";
    case os::FileType::Socket: return "a socket";
    default: return "not a regular file";
    }
}

[[noreturn]] void Refuse(const std::string& path, const std::string& what, const std::string& why) {
    throw std::runtime_error("cannot read " + what + " \"" + path + "\": " + why);
}

os::FileStatus RegularFile(const std::string& path, const std::string& what) {
    os::FileStatus status;
    std::string why;
    if (!os::Status(path, status, why)) Refuse(path, what, why);
    if (status.type == os::FileType::Missing) Refuse(path, what, "No such file or directory");
    if (status.type != os::FileType::Regular) {
        Refuse(path, what, std::string("it is ") + KindOf(status.type) + "; dcs-host reads only regular files");
    }
    return status;
}

}  // namespace

void RequireRegularFile(const std::string& path, const std::string& what) { RegularFile(path, what); }

std::string ReadInputFile(const std::string& path, const std::string& what) {
    const uint64_t size = RegularFile(path, what).size;
    if (size > kMaxInputBytes) {
        Refuse(path, what,
               "it holds " + std::to_string(size) + " bytes, more than the 64 MiB (" + std::to_string(kMaxInputBytes) +
                   " bytes) dcs-host reads");
    }
    std::string why;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(os::OpenFile(path, "rb", why), &std::fclose);
    if (!in) Refuse(path, what, why);
    // Read no more than the size seen, plus one byte to notice a file that
    // grows while it is read.
    std::string text(static_cast<size_t>(size) + 1, '\0');
    const size_t got = std::fread(&text[0], 1, text.size(), in.get());
    if (std::ferror(in.get()) != 0) Refuse(path, what, "a read failed");
    text.resize(got);
    if (text.size() > size) Refuse(path, what, "it grew while it was read");
    return text;
}

std::string ReadTextFile(const std::string& path, const std::string& what) {
    std::string text = ReadInputFile(path, what);
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        throw TextEncodingError("cannot read " + what + " \"" + path +
                                "\": it is UTF-16 (it begins with a UTF-16 byte-order mark); dcs-host reads UTF-8: "
                                "save it as UTF-8 (in Notepad: Save As, Encoding UTF-8)");
    }
    return text;
}

std::string FileStart(const std::string& path, size_t count) {
    os::FileStatus status;
    std::string why;
    if (!os::Status(path, status, why) || status.type != os::FileType::Regular) return {};
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(os::OpenFile(path, "rb", why), &std::fclose);
    if (!in) return {};
    std::string start(count, '\0');
    start.resize(std::fread(&start[0], 1, count, in.get()));
    return start;
}

bool IsTraceFile(const std::string& path) {
    static const std::string kStart = "{\"type\":\"header\"";
    return FileStart(path, kStart.size()) == kStart;
}

std::string ReadSpreadsheetText(const std::string& path, const std::string& what) {
    const std::string bytes = ReadInputFile(path, what);
    int malformedLine = 0;
    std::optional<std::string> text = Utf8OfUtf16(bytes, &malformedLine);
    if (!text) return bytes;
    if (malformedLine != 0) {
        throw TextEncodingError("cannot read " + what + " \"" + path + "\": it is UTF-16, and line " +
                                std::to_string(malformedLine) +
                                " holds a broken character (half of a surrogate pair, or an odd last byte)");
    }
    return std::move(*text);
}

}  // namespace host
