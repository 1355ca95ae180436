#include "box_capture.h"

#include <cstdint>
#include <cstring>

namespace {

// Import names are compared without regard to case, as the loader does.
bool SameDllName(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb) {
            return false;
        }
    }
    return *a == *b;
}

const void* RecorderAddress() {
    // A function's address as data: the import slot holds it as a number.
    int(__stdcall * recorder)(void*, const char*, const char*, unsigned int) = &User32Standin_MessageBoxA;
    const void* address = nullptr;
    static_assert(sizeof(recorder) == sizeof(address), "code and data pointers differ in size");
    std::memcpy(&address, &recorder, sizeof(address));
    return address;
}

// Every test program starts with its own imports redirected, before any
// test (or any static initializer of a test) can show a box.
struct CaptureAtStart {
    CaptureAtStart() { CaptureMessageBoxes(GetModuleHandleA(nullptr)); }
} captureAtStart;

}  // namespace

int PatchImport(HMODULE module, const char* dll, const char* function, const void* replacement) {
    auto* const base = reinterpret_cast<unsigned char*>(module);
    if (base == nullptr) {
        return -1;
    }
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) {
        return -1;
    }
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) {
        return -1;
    }
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0 || imports.Size == 0) {
        return 0;
    }

    int patched = 0;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (!SameDllName(reinterpret_cast<const char*>(base + entry->Name), dll)) {
            continue;
        }
        // The name table says what each slot is bound to; once bound, the
        // address table itself holds only addresses. A module without a
        // name table cannot be matched by name.
        if (entry->OriginalFirstThunk == 0) {
            continue;
        }
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if ((names->u1.Ordinal & IMAGE_ORDINAL_FLAG) != 0) {
                continue;
            }
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) {
                continue;
            }
            // The address table may sit in read-only memory once the
            // loader has bound it.
            DWORD oldProtection = 0;
            if (VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &oldProtection) ==
                0) {
                return -1;
            }
            slots->u1.Function = static_cast<decltype(slots->u1.Function)>(reinterpret_cast<uintptr_t>(replacement));
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), oldProtection, &oldProtection);
            FlushInstructionCache(GetCurrentProcess(), &slots->u1.Function, sizeof(slots->u1.Function));
            ++patched;
        }
    }
    return patched;
}

int CaptureMessageBoxes(HMODULE module) { return PatchImport(module, "user32.dll", "MessageBoxA", RecorderAddress()); }
