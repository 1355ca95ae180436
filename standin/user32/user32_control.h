// Control of the message-box stand-in. Every box is recorded (owner, text,
// caption, type), printed to standard error as a framed box with its title
// (unless echo is off), and answered at once with IDOK.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define USER32_CONTROL_CALL __cdecl
#else
#define USER32_CONTROL_CALL
#endif

extern "C" {
void USER32_CONTROL_CALL User32Standin_Reset(void);
int32_t USER32_CONTROL_CALL User32Standin_BoxCount(void);
// Texts stay valid until the next reset; index 0 is the oldest box. An index
// out of range gives null (text, caption, owner) or 0 (type).
const char* USER32_CONTROL_CALL User32Standin_BoxText(int32_t index);
const char* USER32_CONTROL_CALL User32Standin_BoxCaption(int32_t index);
unsigned int USER32_CONTROL_CALL User32Standin_BoxType(int32_t index);
void* USER32_CONTROL_CALL User32Standin_BoxOwner(int32_t index);
void USER32_CONTROL_CALL User32Standin_SetEcho(int32_t on);

// With a listener set, every box is handed to it (caption, text, the given
// context) instead of being recorded, so that a host raising a box per step
// or per line of a huge string keeps no growing record; it is echoed (when
// echo is on) only if the listener returns nonzero. Null goes back to
// recording; a reset does too.
typedef int32_t(USER32_CONTROL_CALL* User32Standin_Listener)(const char* caption, const char* text, void* context);
void USER32_CONTROL_CALL User32Standin_SetListener(User32Standin_Listener listener, void* context);
}
