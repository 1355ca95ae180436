// mrxnt.dll as the host meets it on Windows: loaded by name, entry points
// found by name, its version block read for the driver list, and its boxes
// going through its own import of MessageBoxA.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "box_capture.h"
#include "entry_points.h"
#include "messages.h"
#include "test_support.h"

namespace {

const char* const kEntryPoints[] = {"DCSLoad", "DCSConfigure", "DCSInitialize", "DCSSimulate", "DCSStart",
                                    "DCSStop", "DCSTimeZero",  "DCSReset",      "DCSDestroy"};

class DriverDll : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        module_ = LoadLibraryA("mrxnt.dll");
        ASSERT_NE(module_, nullptr) << "LoadLibraryA(mrxnt.dll) failed, error " << GetLastError();
        ASSERT_EQ(CaptureMessageBoxes(module_), 1) << "the driver imports MessageBoxA exactly once";
    }
    void TearDown() override {
        if (module_ != nullptr) {
            EXPECT_NE(FreeLibrary(module_), 0);
        }
        StandinTest::TearDown();
    }
    DCSEntryPoint Entry(const char* name) {
        return reinterpret_cast<DCSEntryPoint>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    std::string Path() {
        char path[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameA(module_, path, MAX_PATH);
        EXPECT_GT(length, 0u);
        return std::string(path, length);
    }
    HMODULE module_ = nullptr;
};

class VersionBlock {
public:
    explicit VersionBlock(const std::string& path) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size != 0) {
            data_.resize(size);
            if (GetFileVersionInfoA(path.c_str(), 0, size, data_.data()) == 0) {
                data_.clear();
            }
        }
    }
    bool Present() const { return !data_.empty(); }

    // The value as stored, so a missing or extra blank shows; null when the
    // key is absent.
    const char* String(const std::string& key) {
        const std::string query = "\\StringFileInfo\\040904E4\\" + key;
        void* value = nullptr;
        UINT length = 0;
        if (VerQueryValueA(data_.data(), query.c_str(), &value, &length) == 0 || value == nullptr) {
            return nullptr;
        }
        return static_cast<const char*>(value);
    }

    std::vector<std::pair<WORD, WORD>> Translations() {
        void* value = nullptr;
        UINT length = 0;
        std::vector<std::pair<WORD, WORD>> result;
        if (VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation", &value, &length) != 0) {
            const auto* words = static_cast<const WORD*>(value);
            for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) {
                result.emplace_back(words[i], words[i + 1]);
            }
        }
        return result;
    }

    const VS_FIXEDFILEINFO* Fixed() {
        void* value = nullptr;
        UINT length = 0;
        if (VerQueryValueA(data_.data(), "\\", &value, &length) == 0 || length < sizeof(VS_FIXEDFILEINFO)) {
            return nullptr;
        }
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

private:
    std::vector<char> data_;
};

TEST_F(DriverDll, ExportsTheNineEntryPointsAndNothingInternal) {
    for (const char* name : kEntryPoints) {
        EXPECT_NE(Entry(name), nullptr) << name;
    }
    // Neither decorated forms nor the driver's own routines are reachable.
    EXPECT_EQ(GetProcAddress(module_, "_DCSLoad"), nullptr);
    EXPECT_EQ(GetProcAddress(module_, "DeclareFields"), nullptr);
    EXPECT_EQ(GetProcAddress(module_, "ConfigureLink"), nullptr);
    EXPECT_EQ(GetProcAddress(module_, "DllMain"), nullptr);
}

TEST_F(DriverDll, VersionBlockNamesTheDriverForTheHost) {
    VersionBlock version(Path());
    ASSERT_TRUE(version.Present()) << "no version block in " << Path();
    ASSERT_NE(version.String("DCSDisplayName"), nullptr);
    EXPECT_EQ(std::string(version.String("DCSDisplayName")), "MrxNT ") << "the name keeps its one trailing blank";
    ASSERT_NE(version.String("FileDescription"), nullptr);
    EXPECT_STREQ(version.String("FileDescription"), "DCS Driver DLL");
    ASSERT_NE(version.String("Driver Build Number"), nullptr);
    EXPECT_STREQ(version.String("Driver Build Number"), "1");
    // One version everywhere: the strings and both fixed numbers.
    ASSERT_NE(version.String("FileVersion"), nullptr);
    EXPECT_STREQ(version.String("FileVersion"), DCS_EXPECTED_VERSION);
    ASSERT_NE(version.String("ProductVersion"), nullptr);
    EXPECT_STREQ(version.String("ProductVersion"), DCS_EXPECTED_VERSION);
    EXPECT_NE(version.String("ProductName"), nullptr);
    EXPECT_EQ(version.String("NoSuchKey"), nullptr);

    const auto translations = version.Translations();
    ASSERT_EQ(translations.size(), 1u);
    EXPECT_EQ(translations[0].first, 0x0409);
    EXPECT_EQ(translations[0].second, 1252);

    const VS_FIXEDFILEINFO* fixed = version.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    const DWORD expectedMS = MAKELONG(DCS_EXPECTED_VERSION_MINOR, DCS_EXPECTED_VERSION_MAJOR);
    const DWORD expectedLS = MAKELONG(0, DCS_EXPECTED_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, expectedMS);
    EXPECT_EQ(fixed->dwFileVersionLS, expectedLS);
    EXPECT_EQ(fixed->dwProductVersionMS, expectedMS);
    EXPECT_EQ(fixed->dwProductVersionLS, expectedLS);
}

// The box comes from the DLL's own import of MessageBoxA, redirected in the
// loaded module; the calls reach the client library through its ordinals.
TEST_F(DriverDll, ConfigureWithoutInitStringWarnsThroughTheDllsImports) {
    DCSLinkData d{};
    ASSERT_EQ(Entry("DCSLoad")(&d), 0);
    MrxStandin_ClearCallLog();
    EXPECT_EQ(Entry("DCSConfigure")(&d), 0);

    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kMsgEmptyInitString);
    EXPECT_EQ(boxes[0].caption, kTitleLoadWarning);
    EXPECT_EQ(boxes[0].type, 0u);
    EXPECT_EQ(boxes[0].owner, nullptr);

    // Ordinal 1 must be GetInitStringLength and ordinal 3 ResetLink: a
    // shifted ordinal would land in another operation and show in the log.
    ASSERT_GE(MrxStandin_CallCount(), 1);
    EXPECT_EQ(MrxStandin_Call(0)->operation, MRX_OP_GET_INIT_STRING_LENGTH);
    const int32_t resetsBefore = MrxStandin_ResetLinkCount();
    EXPECT_EQ(Entry("DCSReset")(&d), 0);
    EXPECT_EQ(MrxStandin_ResetLinkCount(), resetsBefore + 1);
    EXPECT_EQ(Entry("DCSDestroy")(&d), 0);
}

TEST_F(DriverDll, InitStringIsFetchedThroughOrdinalTwo) {
    const std::string catalogue = "*AI*\nTI-1.PV,-,1,0,100\n*DI*\nEN,-,1\nRUN,-,1\n";
    MrxStandin_SetInitString(catalogue.c_str());
    DCSLinkData d{};
    ASSERT_EQ(Entry("DCSLoad")(&d), 0);
    MrxStandin_ClearCallLog();
    Entry("DCSConfigure")(&d);
    const MrxCall* fetch = nullptr;
    for (int32_t i = 0; i < MrxStandin_CallCount() && fetch == nullptr; ++i) {
        if (MrxStandin_Call(i)->operation == MRX_OP_GET_INIT_STRING) {
            fetch = MrxStandin_Call(i);
        }
    }
    ASSERT_NE(fetch, nullptr);
    EXPECT_EQ(fetch->intValue, static_cast<int32_t>(catalogue.size())) << "the whole string was copied";
    Entry("DCSReset")(&d);
    Entry("DCSDestroy")(&d);
}

DWORD WINAPI ReturnSeven(LPVOID) { return 7; }

// Loading and unloading twice, with a thread started in between, sends
// every notification the loader has; none may refuse.
TEST_F(DriverDll, LoaderNotificationsAreAllAccepted) {
    HMODULE second = LoadLibraryA("mrxnt.dll");
    EXPECT_EQ(second, module_) << "one module, counted twice";
    HANDLE thread = CreateThread(nullptr, 0, ReturnSeven, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_NE(GetExitCodeThread(thread, &code), 0);
    EXPECT_EQ(code, 7u);
    CloseHandle(thread);
    EXPECT_NE(FreeLibrary(second), 0);
    EXPECT_NE(GetProcAddress(module_, "DCSLoad"), nullptr) << "still loaded once";
}

// The capture itself: the test program's own import is redirected at start,
// and a module that does not import the function is left alone.
TEST(BoxCapture, TestProgramImportIsRedirectedAtStart) {
    User32Standin_Reset();
    User32Standin_SetEcho(0);
    EXPECT_EQ(MessageBoxA(nullptr, "from the test program", "Capture", MB_ICONWARNING), 1);
    ASSERT_EQ(User32Standin_BoxCount(), 1);
    EXPECT_STREQ(User32Standin_BoxText(0), "from the test program");
    EXPECT_STREQ(User32Standin_BoxCaption(0), "Capture");
    EXPECT_EQ(User32Standin_BoxType(0), static_cast<unsigned int>(MB_ICONWARNING));
    User32Standin_Reset();
}

TEST(BoxCapture, ModulesWithoutTheImportAreLeftAlone) {
    HMODULE iface = GetModuleHandleA("iface.dll");
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(CaptureMessageBoxes(iface), 0);
    EXPECT_EQ(PatchImport(GetModuleHandleA(nullptr), "user32.dll", "NoSuchFunction", nullptr), 0);
    EXPECT_EQ(PatchImport(GetModuleHandleA(nullptr), "nosuch.dll", "MessageBoxA", nullptr), 0);
    EXPECT_EQ(PatchImport(nullptr, "user32.dll", "MessageBoxA", nullptr), -1);
}

}  // namespace
