#pragma once
// kesprompt.h -- the login dialog of the driver, for a machine without a window
// system.
// An answer file named by KES_PROMPT_ANSWER (for tests and unattended runs)
// holds the completed connection string, or the word "cancel". Without it, a
// process with a controlling terminal is asked there for the missing user and
// password (the password is not echoed). Otherwise the dialog is not confirmed.
// Threading: any thread; a terminal dialog holds the terminal for its length.

// 1 when the user confirmed: *completed is then the completed connection string
// (8-bit, UTF-8 in the Unicode build). Any other answer: not confirmed.
// KesLOGIN_Free releases *completed after every call, confirmed or not.
extern "C" int KesLOGIN(void* window, const char* driverName, const char* connStr, char** completed,
                        int marker);
extern "C" void KesLOGIN_Free(char* completed);

inline constexpr const char* KES_PROMPT_ANSWER_ENV = "KES_PROMPT_ANSWER";
