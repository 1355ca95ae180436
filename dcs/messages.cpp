#include "messages.h"

#include <cstdarg>
#include <cstdio>

#include "platform/iface.h"
#include "platform/message_box.h"

namespace {

constexpr unsigned int kStyleOkOnly = 0;

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

void ShowMessage(const char* text, const char* title) {
    MessageBoxA(nullptr, TextOrEmpty(text), TextOrEmpty(title), kStyleOkOnly);
}

// The rules hold their message texts as data, so the format is not a
// literal here; every text they hold has at most the one %d.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
void ShowRowMessage(const char* title, const char* format, int32_t row) {
    ShowFormattedMessage(title, format, static_cast<int>(row));
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

void ShowFormattedMessage(const char* title, const char* format, ...) {
    // Measured first, then formatted into storage of exactly that size.
    va_list args;
    va_start(args, format);
    // The analyzer loses track of va_start here on x86-64 (va_list is an
    // array type there); the list is started on the line above.
    const int length = vsnprintf(nullptr, 0, format, args);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(args);

    char* text = nullptr;
    if (length >= 0) {
        text = static_cast<char*>(IFace_malloc(static_cast<size_t>(length) + 1));
    }
    if (text == nullptr) {
        // Without storage the user still learns that something failed, from
        // the unformatted text, rather than from nothing at all.
        ShowMessage(format, title);
        return;
    }
    va_start(args, format);
    vsnprintf(text, static_cast<size_t>(length) + 1, format, args);
    va_end(args);
    ShowMessage(text, title);
    IFace_free(text);
}

const char* KindText(int32_t kind) {
    switch (kind) {
    case 1: return "AI";
    case 2: return "AO";
    case 3: return "DI";
    case 4: return "DO";
    case 6: return "CALC";
    default: return "";
    }
}

const char* WriteDetailText(int32_t kind) { return kind == 6 ? kDetailCalcWrite : ""; }

void ReportReadError(const char* kindText, const char* role, const char* tag, const char* owner, int32_t row) {
    ShowFormattedMessage(kTitleRuntimeError, kMsgReadError, TextOrEmpty(kindText), TextOrEmpty(role), TextOrEmpty(tag),
                         TextOrEmpty(owner), static_cast<int>(row));
}

void ReportWriteError(const char* kindText, const char* role, const char* tag, const char* owner, int32_t row,
                      const char* detail) {
    ShowFormattedMessage(kTitleRuntimeError, kMsgWriteError, TextOrEmpty(kindText), TextOrEmpty(role), TextOrEmpty(tag),
                         TextOrEmpty(owner), static_cast<int>(row), TextOrEmpty(detail));
}

void ReportBadTagType(int32_t kind, const char* role, const char* tag, const char* owner, int32_t row) {
    ShowFormattedMessage(kTitleRuntimeError, kMsgBadTagType, static_cast<int>(kind), TextOrEmpty(role),
                         TextOrEmpty(tag), TextOrEmpty(owner), static_cast<int>(row));
}
