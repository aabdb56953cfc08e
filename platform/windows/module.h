// module.h -- the driver library as a module: its attach and detach, its identity (which build
// it is), its file name, its string table, and the Windows version check.
//
// Attach and detach. The per-build object of each driver library (the one compiled with
// KES_UNICODE_BUILD) defines both of these, with exactly these declarations in scope:
//   extern "C" const KesModule KesThisModule = {KES_UNICODE_BUILD};
//   extern "C" int DllMain(HMODULE module, uint32_t reason, void* reserved) { ... }
// An ELF constructor of this layer calls kes_library_attach() when the library is loaded and an
// ELF destructor calls kes_library_detach() when it is unloaded; the exported LibMain and WEP
// call the same two functions, which run DllMain at most once each way. Here both names are
// weak references, so a program without a per-build object (a unit test) attaches nothing.
// DllMain runs after the static initialisers of the objects linked before this library's
// archive, under the loader's lock: it must not load libraries or wait for other threads.
// A failed attach cannot make dlopen fail: kes_library_attached() stays 0 and the library's
// code must refuse its work.
//
// Threading: attach and detach are serialised; everything else may be called from any thread.
#pragma once

#include <cstdint>

struct KesModule {
  int unicodeBuild;  // 1 for the Unicode build, 0 for the ANSI build: selects the string table
};
using HMODULE = const KesModule*;

inline constexpr uint32_t DLL_PROCESS_DETACH = 0;
inline constexpr uint32_t DLL_PROCESS_ATTACH = 1;

extern "C" const KesModule KesThisModule;
extern "C" int DllMain(HMODULE module, uint32_t reason, void* reserved);

// Runs DllMain(&KesThisModule, DLL_PROCESS_ATTACH) unless already attached; answers its result,
// 1 when already attached or when there is no DllMain. A failed attach can be tried again.
int kes_library_attach() noexcept;
// Runs DllMain(&KesThisModule, DLL_PROCESS_DETACH) once after a successful attach.
void kes_library_detach() noexcept;
[[nodiscard]] int kes_library_attached() noexcept;
// &KesThisModule, or null in a program without a per-build object.
[[nodiscard]] HMODULE kes_this_module() noexcept;

// The version of an NT-based Windows new enough for every check of the driver.
[[nodiscard]] uint32_t GetVersion() noexcept;

// The file of `module` (the shared library that holds this layer), or of the program for a null
// module. Answers the length without the NUL; a buffer too small gets the name cut to size - 1
// bytes and terminated, the answer is `size` and the last error ERROR_INSUFFICIENT_BUFFER;
// 0 on failure.
uint32_t GetModuleFileNameA(HMODULE module, char* buffer, uint32_t size) noexcept;

// Copies string `id` of the module's string table (null: kes_this_module()) into the buffer,
// cut at a whole character to bufferMax - 1 bytes, and terminates it; answers the bytes copied,
// 0 for an unknown id, a module without a table or bufferMax < 1.
int LoadStringA(HMODULE module, uint32_t id, char* buffer, int bufferMax) noexcept;
