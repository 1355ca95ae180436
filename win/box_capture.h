// Message boxes in the Windows test programs. The driver calls the real
// user32.dll!MessageBoxA; the tests point that import, in the test program
// itself and in every driver DLL they load, at the message-box recorder, so
// each box is recorded (and answered) exactly as the Linux stand-in library
// does it, and the tests read it back through the same control routines.
#pragma once

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// The recorder: the user32 stand-in's routine, built under this name on
// Windows so that it does not clash with the real import.
extern "C" int __stdcall User32Standin_MessageBoxA(void* owner, const char* text, const char* caption,
                                                   unsigned int type);

// Points every import-address-table slot of the module that is bound to
// `function` of `dll` (imported by name; the DLL name in any case) at
// `replacement`. Returns how many slots were changed: 0 when the module does
// not import the function, -1 when the module is not a PE image.
int PatchImport(HMODULE module, const char* dll, const char* function, const void* replacement);

// PatchImport of user32.dll!MessageBoxA to the recorder.
int CaptureMessageBoxes(HMODULE module);
