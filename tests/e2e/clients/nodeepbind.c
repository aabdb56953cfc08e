/* nodeepbind.c -- preloaded into an interpreter that loads its extensions with
 * RTLD_DEEPBIND (PHP), which the sanitizer runtimes refuse: the flag is dropped,
 * so that the extensions bind to the process's symbols like any library. Only
 * the sanitizer build of the tests uses it. */
#define _GNU_SOURCE
#include <dlfcn.h>

void* dlopen(const char* file, int mode) {
  static void* (*next)(const char*, int);
  if (next == 0) next = (void* (*)(const char*, int))dlsym(RTLD_NEXT, "dlopen");
  return next(file, mode & ~RTLD_DEEPBIND);
}
