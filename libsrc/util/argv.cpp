// argv.cpp -- splits an option text into words the way a shell would.
// Owns nothing after it returns: the vector and its words belong to the
// caller (free_argv). Allocation is fatal on exhaustion.
#include "util/argv.h"

#include <cstdlib>
#include <cstring>

#include "util/utalloc.h"

namespace {

constexpr size_t kWordMax = 1023;  // longer words are cut there

struct Splitter {
  char** vec;
  size_t capacity;
  int count = 0;
  char word[kWordMax + 1];
  size_t length = 0;
  bool inWord = false;

  void finish_word() {
    if (!inWord) return;
    word[length] = 0;
    vec[count++] = s_strdup(word);
    // The vector always keeps room for the null entry that ends it.
    if (static_cast<size_t>(count) >= capacity - 1) {
      vec = static_cast<char**>(s_realloc(vec, (capacity + 5) * sizeof(char*)));
      for (size_t i = capacity; i < capacity + 5; ++i) vec[i] = nullptr;
      capacity += 5;
    }
    inWord = false;
  }
  void start_word() {
    finish_word();
    length = 0;
    inWord = true;
  }
  void add(char c) {
    if (length < kWordMax) word[length++] = c;
  }
};

}  // namespace

int build_argv(const char* text, int* argc, char*** argv) noexcept {
  *argc = 0;
  *argv = nullptr;
  if (text == nullptr) return -1;
  Splitter s;
  s.capacity = 10;
  s.vec = static_cast<char**>(s_alloc(s.capacity, sizeof(char*)));

  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  char quote = 0;
  bool escape = false;
  bool separated = true;
  for (; *p != 0; ++p) {
    char c = *p;
    if (!escape) {
      if ((c == ' ' || c == '\t') && quote == 0) {
        separated = true;
        continue;
      }
      if ((c == '\'' || c == '"') && (quote == 0 || quote == c)) {
        if (quote == 0) {
          quote = c;
          if (separated) s.start_word();  // "" after a blank is an empty word
          separated = false;
        } else {
          quote = 0;
        }
        continue;
      }
      if (c == '\\' && (p[1] == '"' || p[1] == '\'' || p[1] == '\\')) {
        escape = true;
        if (separated) s.start_word();
        separated = false;
        continue;
      }
    }
    escape = false;
    if (separated) s.start_word();
    separated = false;
    s.add(c);
  }
  s.finish_word();
  *argc = s.count;
  *argv = s.vec;
  return 0;
}

void free_argv(char** argv) noexcept {
  if (argv == nullptr) return;
  for (char** p = argv; *p != nullptr; ++p) free(*p);
  free(argv);
}
