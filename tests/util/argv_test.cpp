#include "util/argv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> split(const char* text, int* rc = nullptr) {
  int argc = -1;
  char** argv = nullptr;
  int r = build_argv(text, &argc, &argv);
  if (rc != nullptr) *rc = r;
  std::vector<std::string> words;
  if (argv == nullptr) return words;
  for (int i = 0; i < argc; ++i) words.emplace_back(argv[i]);
  EXPECT_EQ(argv[argc], nullptr);
  free_argv(argv);
  return words;
}

TEST(Argv, SplitsLikeAShell) {
  using W = std::vector<std::string>;
  struct Case {
    const char* text;
    W words;
  } const cases[] = {
      {"-d db -S 'my server'", {"-d", "db", "-S", "my server"}},
      {"a \"\" b", {"a", "", "b"}},
      {"a\\\"b", {"a\"b"}},
      {"ab'c d'ef", {"abc def"}},
      {"'it\"s' x", {"it\"s", "x"}},
      {"a\\\\b \\x", {"a\\b", "\\x"}},
      {"\\'q", {"'q"}},
      {"'open quote runs", {"open quote runs"}},
      {"  \t lead  trail \t ", {"lead", "trail"}},
      {"", {}},
      {" \t ", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(split(c.text), c.words);
  }
}

TEST(Argv, NullTextAndLongInput) {
  int argc = 7;
  char** argv = reinterpret_cast<char**>(&argc);
  EXPECT_EQ(build_argv(nullptr, &argc, &argv), -1);
  EXPECT_EQ(argc, 0);
  EXPECT_EQ(argv, nullptr);
  free_argv(nullptr);

  std::string word1023(1023, 'w');
  EXPECT_EQ(split(word1023.c_str()), std::vector<std::string>{word1023});
  std::string word1100(1100, 'w');
  EXPECT_EQ(split(word1100.c_str()), std::vector<std::string>{word1023});  // cut, never overrun

  std::string many;
  for (int i = 0; i < 40; ++i) many += std::to_string(i) + " ";
  auto words = split(many.c_str());
  ASSERT_EQ(words.size(), 40u);  // the vector grew past its first 10 entries
  EXPECT_EQ(words[39], "39");
}

}  // namespace
