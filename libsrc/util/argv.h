// argv.h -- splits an option text into an argument vector, shell fashion:
// blanks and tabs separate words, ' and " quote, a backslash escapes a quote
// or a backslash. Words hold at most 1023 bytes. Allocation is fatal on
// exhaustion, so only a null text fails.
#pragma once

// *argc and *argv receive the words and a null-terminated vector of s_strdup
// copies (a vector exists even for an empty text). -1 for a null text, else 0.
int build_argv(const char* text, int* argc, char*** argv) noexcept;
void free_argv(char** argv) noexcept;
