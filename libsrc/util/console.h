// console.h -- what a fatal exit does to the process's console.
#pragma once

// When the pause flag is set, asks for RETURN on the standard error stream
// and waits for it; then lets go of the console.
void console_release() noexcept;
// Sets the pause flag when the console was made for this process and is
// still untouched.
void console_check_fresh() noexcept;
