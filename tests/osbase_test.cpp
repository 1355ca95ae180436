// The operating-system calls dcs-host and the tracer share, on the system the
// test runs on, in a folder whose name is not ASCII (on Windows only the wide
// APIs reach it): the same-file test against the file system's own identity,
// a library loaded from there by name and by ordinal, and the version block.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include "osbase.h"

namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) { return path.u8string(); }

class OsBase : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               fs::u8path("osbase-J\xC3\xB6rg M\xC3\xBCller-" + std::to_string(osbase::ProcessId()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        for (const char* name : {"a.txt", "copy.txt"}) std::ofstream(dir_ / name) << "the same bytes\n";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string In(const char* name) const { return Utf8(dir_ / fs::u8path(name)); }

    fs::path dir_;
};

TEST_F(OsBase, SameFileByIdentityNotByName) {
    std::error_code error;
    fs::create_hard_link(dir_ / "a.txt", dir_ / "hard.txt", error);
    const bool hardLink = !error;
    fs::create_symlink(dir_ / "a.txt", dir_ / "soft.txt", error);
    const bool softLink = !error;
    const std::string a = In("a.txt");
    struct Case {
        const char* what;
        std::string other;
        bool same;
        bool possible;
    };
    const Case cases[] = {
        {"the path itself", a, true, true},
        {"another spelling", Utf8(dir_ / "." / "a.txt"), true, true},
        {"forward slashes", (dir_ / "a.txt").generic_u8string(), true, true},
        {"a hard link", In("hard.txt"), true, hardLink},
        {"a symbolic link", In("soft.txt"), true, softLink},
        {"a copy with the same bytes", In("copy.txt"), false, true},
        {"the folder", Utf8(dir_), false, true},
    };
    for (const Case& c : cases) {
        if (!c.possible) {  // the file system cannot make such a link
            std::printf("not tried here: %s\n", c.what);
            continue;
        }
        std::string why;
        const std::optional<bool> same = osbase::SameFile(a, c.other, why);
        ASSERT_TRUE(same.has_value()) << c.what << ": " << why;
        EXPECT_EQ(*same, c.same) << c.what;
        EXPECT_EQ(osbase::SameFile(c.other, a, why), same) << c.what << ", the other way round";
    }
    // Neither answer when a file is missing: the reason names the path.
    for (const bool missingFirst : {true, false}) {
        std::string why;
        const std::string missing = In("missing.txt");
        EXPECT_FALSE((missingFirst ? osbase::SameFile(missing, a, why) : osbase::SameFile(a, missing, why)));
        EXPECT_EQ(why.rfind(missing + ": ", 0), 0u) << why;
    }
}

TEST_F(OsBase, LibraryByNameAndOrdinalFromAnyFolderName) {
    const std::string copy = In(fs::u8path(DCS_FAKE_REAL).filename().u8string().c_str());
    fs::copy_file(fs::u8path(DCS_FAKE_REAL), fs::u8path(copy));
    for (const osbase::ImportSearch imports : {osbase::ImportSearch::Program, osbase::ImportSearch::Library}) {
        std::string why;
        void* library = osbase::OpenLibrary(copy, imports, why);
        ASSERT_NE(library, nullptr) << why;
        void* byName = osbase::FindSymbol(library, "ReadAI");
        EXPECT_NE(byName, nullptr);
        EXPECT_EQ(osbase::FindSymbol(library, "NoSuchOperation"), nullptr);
        EXPECT_EQ(osbase::FindSymbol(library, nullptr), nullptr);
#if defined(_WIN32)
        EXPECT_EQ(osbase::FindOrdinal(library, 4), byName);    // ReadAI @4
        EXPECT_NE(osbase::FindOrdinal(library, 10), nullptr);  // exported without a name
#else
        EXPECT_EQ(osbase::FindOrdinal(library, 4), nullptr);
#endif
        osbase::CloseLibrary(library);
    }
    // What cannot be loaded says why: no file, and a file that is no library.
    for (const std::string& path : {In("missing.so"), In("a.txt")}) {
        std::string why;
        EXPECT_EQ(osbase::OpenLibrary(path, osbase::ImportSearch::Library, why), nullptr) << path;
        EXPECT_FALSE(why.empty()) << path;
    }
}

TEST(OsBaseVersionBlock, TheDriversTwoVersionsAgree) {
    const std::optional<osbase::VersionBlock> driver = osbase::ReadVersionBlock(DCS_DRIVER_FILE);
    EXPECT_FALSE(osbase::ReadVersionBlock(DCS_FAKE_REAL).has_value());  // a library without one
#if defined(_WIN32)
    ASSERT_TRUE(driver.has_value());
    EXPECT_EQ(driver->displayName, "MrxNT ");
    EXPECT_EQ(driver->fileVersion, DCS_VERSION);
    EXPECT_EQ(driver->fileNumber, std::string(DCS_VERSION) + ".0");
#else
    EXPECT_FALSE(driver.has_value());
#endif
}

}  // namespace
