// msgbox.h -- message boxes, for a library that has no screen: each box becomes one line on the
// standard error stream, "caption: text" with the text's line breaks turned into blanks, and is
// answered as if the user pressed OK. The driver's log takes the same line through a hook once
// the log exists.
// Threading: any thread; one box is written with a single write, so lines never interleave.
#pragma once

#include <cstdint>

inline constexpr uint32_t MB_OK = 0x00;
inline constexpr uint32_t MB_ICONERROR = 0x10;
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONEXCLAMATION = 0x30;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;

// `owner` is ignored; a null caption writes the text alone. Answers IDOK.
int MessageBoxA(void* owner, const char* text, const char* caption, uint32_t type) noexcept;

// Receives every box's line (without a line break) and its type, after it is written to the
// standard error stream. Set it to null to stop; answers the hook it replaces. The hook may be
// called from any thread and must not show a message box itself.
using MessageBoxLogHook = void (*)(const char* line, uint32_t type);
MessageBoxLogHook SetMessageBoxLogHook(MessageBoxLogHook hook) noexcept;
