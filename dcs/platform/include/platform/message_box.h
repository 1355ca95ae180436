// The one user-interface call of the driver: a modal box with no owner
// window. On Windows this is user32.dll's MessageBoxA (stdcall); on Linux a
// library of the same name stands in for it.
#pragma once

#if defined(_WIN32)
#define MSGBOX_CALL __stdcall
#else
#define MSGBOX_CALL
#endif

extern "C" int MSGBOX_CALL MessageBoxA(void* owner, const char* text, const char* caption, unsigned int type);
