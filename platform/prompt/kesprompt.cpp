// kesprompt.cpp -- the login dialog: an answer file, else the controlling
// terminal, else not confirmed.
// The completed string is the application's connection string with the user and
// password appended; a later keyword wins, so they replace earlier ones.

#include "platform/prompt/kesprompt.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool read_file(const char* path, std::string* out) {
  FILE* f = fopen(path, "rb");
  if (f == nullptr) return false;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  fclose(f);
  while (!out->empty() && (out->back() == '\n' || out->back() == '\r')) out->pop_back();
  return true;
}

// A value that holds a separator is braced so that it stays one value.
std::string braced(const std::string& v) {
  if (v.find_first_of(";{}") == std::string::npos &&
      (v.empty() || (v.front() != ' ' && v.back() != ' ')))
    return v;
  std::string out = "{";
  for (char c : v) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

bool read_line(int fd, std::string* line) {
  line->clear();
  char c;
  for (;;) {
    ssize_t n = read(fd, &c, 1);
    if (n <= 0) return !line->empty();
    if (c == '\n') return true;
    if (c != '\r') *line += c;
  }
}

int ask_terminal(const char* driverName, const char* connStr, char** completed) {
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::string header =
      std::string("Login to ") +
      (driverName != nullptr && driverName[0] != '\0' ? driverName : "Kestrane ODBC") + "\nUser: ";
  std::string user;
  std::string password;
  bool ok = write(fd, header.data(), header.size()) >= 0 && read_line(fd, &user);
  if (ok) {
    const char prompt[] = "Password: ";
    ok = write(fd, prompt, sizeof prompt - 1) >= 0;
    struct termios saved {};
    bool echoOff = tcgetattr(fd, &saved) == 0;
    if (echoOff) {
      struct termios quiet = saved;
      quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
      tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    ok = ok && read_line(fd, &password);
    if (echoOff) tcsetattr(fd, TCSAFLUSH, &saved);
    (void)!write(fd, "\n", 1);
  }
  close(fd);
  if (!ok || user.empty()) return 0;
  std::string out = connStr != nullptr ? connStr : "";
  if (!out.empty() && out.back() != ';') out += ';';
  out += "UID=" + braced(user) + ";PWD=" + braced(password);
  std::fill(password.begin(), password.end(), '\0');
  *completed = strdup(out.c_str());
  return *completed != nullptr ? 1 : 0;
}

}  // namespace

extern "C" int KesLOGIN(void*, const char* driverName, const char* connStr, char** completed, int) {
  if (completed == nullptr) return 0;
  *completed = nullptr;
  const char* answer = getenv(KES_PROMPT_ANSWER_ENV);
  if (answer != nullptr && answer[0] != '\0') {
    std::string text;
    if (!read_file(answer, &text) || text == "cancel") return 0;
    *completed = strdup(text.c_str());
    return *completed != nullptr ? 1 : 0;
  }
  return ask_terminal(driverName, connStr, completed);
}

extern "C" void KesLOGIN_Free(char* completed) { free(completed); }
