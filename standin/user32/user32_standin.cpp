// The message-box stand-in: boxes are recorded for the tests to inspect and
// echoed to standard error, so that a run without a screen still shows what
// the user would have been told. Every box is answered at once with IDOK.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

#include "../common/standin_export.h"
#include "platform/message_box.h"
#include "user32_control.h"

namespace {

constexpr int kIdOk = 1;
constexpr size_t kFrameWidth = 60;

struct Box {
    void* owner;
    std::string text;
    std::string caption;
    unsigned int type;
};

struct BoxState {
    std::deque<Box> boxes;  // a deque keeps each text where it is
    bool echo = true;
    User32Standin_Listener listener = nullptr;
    void* listenerContext = nullptr;
};

BoxState& State() {
    static BoxState* state = new BoxState;
    return *state;
}

const Box* At(int32_t index) {
    const BoxState& s = State();
    if (index < 0 || static_cast<size_t>(index) >= s.boxes.size()) {
        return nullptr;
    }
    return &s.boxes[static_cast<size_t>(index)];
}

void Echo(const Box& box) {
    std::string top = "=== " + box.caption + " ";
    if (top.size() < kFrameWidth) {
        top.append(kFrameWidth - top.size(), '=');
    }
    std::string out = top + "\n";
    size_t start = 0;
    for (;;) {
        const size_t end = box.text.find('\n', start);
        std::string line = box.text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out += "| " + line + "\n";
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    out.append(kFrameWidth, '=');
    out += "\n";
    std::fputs(out.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

extern "C" {

STANDIN_EXPORT int MSGBOX_CALL MessageBoxA(void* owner, const char* text, const char* caption, unsigned int type) {
    BoxState& s = State();
    if (s.listener != nullptr) {
        Box box{owner, text != nullptr ? text : "", caption != nullptr ? caption : "", type};
        if (s.listener(box.caption.c_str(), box.text.c_str(), s.listenerContext) != 0 && s.echo) {
            Echo(box);
        }
        return kIdOk;
    }
    s.boxes.push_back(Box{owner, text != nullptr ? text : "", caption != nullptr ? caption : "", type});
    if (s.echo) {
        Echo(s.boxes.back());
    }
    return kIdOk;
}

STANDIN_EXPORT void USER32_CONTROL_CALL User32Standin_Reset(void) {
    BoxState& s = State();
    s.boxes.clear();
    s.listener = nullptr;
    s.listenerContext = nullptr;
}

STANDIN_EXPORT int32_t USER32_CONTROL_CALL User32Standin_BoxCount(void) {
    return static_cast<int32_t>(State().boxes.size());
}

STANDIN_EXPORT const char* USER32_CONTROL_CALL User32Standin_BoxText(int32_t index) {
    const Box* box = At(index);
    return box != nullptr ? box->text.c_str() : nullptr;
}

STANDIN_EXPORT const char* USER32_CONTROL_CALL User32Standin_BoxCaption(int32_t index) {
    const Box* box = At(index);
    return box != nullptr ? box->caption.c_str() : nullptr;
}

STANDIN_EXPORT unsigned int USER32_CONTROL_CALL User32Standin_BoxType(int32_t index) {
    const Box* box = At(index);
    return box != nullptr ? box->type : 0;
}

STANDIN_EXPORT void* USER32_CONTROL_CALL User32Standin_BoxOwner(int32_t index) {
    const Box* box = At(index);
    return box != nullptr ? box->owner : nullptr;
}

STANDIN_EXPORT void USER32_CONTROL_CALL User32Standin_SetEcho(int32_t on) { State().echo = on != 0; }

STANDIN_EXPORT void USER32_CONTROL_CALL User32Standin_SetListener(User32Standin_Listener listener, void* context) {
    BoxState& s = State();
    s.listener = listener;
    s.listenerContext = context;
}

}  // extern "C"
