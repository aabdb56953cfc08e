// kesdbsh.cpp -- a small database shell over the embedded Informix runtime: creates
// servers, connects to a server or a database, runs SQL from files, -e arguments or
// standard input, and prints the rows of every SELECT ("|" between columns, NULL as an
// empty field). The demo and the tests use it to set up data.
// Not here: editing, history or formatting beyond that: a script runner.
#include "platform/informix/ixr_api.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "usage: kesdbsh [-s server] [-d database] [-u user] [-p password] [-q] [-k] [-e sql]... "
    "[file...]\n"
    "       kesdbsh --create-server name [--se] [--users user:password,...]\n"
    "  -s  server (default $INFORMIXSERVER)      -d  database (default: the server alone)\n"
    "  -q  no column headers                      -k  keep going after an error\n"
    "  -e  run this SQL (several allowed); without -e or files, SQL is read from standard input\n"
    "The servers live under $KES_INFORMIX_SERVERS.\n";

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

// Splits a script at top-level ';' (outside quotes and comments); a CREATE PROCEDURE or
// FUNCTION runs to its END PROCEDURE / END FUNCTION.
std::vector<std::string> splitScript(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  size_t i = 0, n = text.size();
  auto flush = [&] {
    size_t b = cur.find_first_not_of(" \t\r\n");
    if (b != std::string::npos) out.push_back(cur.substr(b));
    cur.clear();
  };
  while (i < n) {
    char c = text[i];
    if (c == '\'' || c == '"') {
      size_t e = i + 1;
      while (e < n && !(text[e] == c && (e + 1 >= n || text[e + 1] != c)))
        e += text[e] == c ? 2 : 1;
      cur.append(text, i, e + 1 - i);
      i = e + 1;
    } else if (c == '-' && i + 1 < n && text[i + 1] == '-') {
      while (i < n && text[i] != '\n') ++i;
    } else if (c == '{') {
      size_t e = text.find('}', i);
      i = e == std::string::npos ? n : e + 1;
    } else if (c == ';') {
      std::string head = lower(cur.substr(0, 200));
      bool proc = head.find("create procedure") != std::string::npos ||
                  head.find("create function") != std::string::npos ||
                  head.find("create dba") != std::string::npos;
      std::string low = lower(cur);
      size_t endAt = low.rfind("end procedure");
      if (endAt == std::string::npos) endAt = low.rfind("end function");
      if (proc && endAt == std::string::npos) {
        cur.push_back(c);
      } else {
        flush();
      }
      ++i;
    } else {
      cur.push_back(c);
      ++i;
    }
  }
  flush();
  return out;
}

void report(const std::string& sql) {
  IxrCommArea* ca = ixr_sqlca();
  char fmt[300], msg[600];
  if (ixr_error_message(ca->sqlcode, fmt, sizeof fmt, nullptr) == 0) {
    std::string f = fmt;
    size_t p = f.find("%s");
    if (p != std::string::npos) f.replace(p, 2, ca->sqlerrm);
    std::snprintf(msg, sizeof msg, "%s", f.c_str());
  } else {
    std::snprintf(msg, sizeof msg, "%s\n", ca->sqlerrm);
  }
  std::fprintf(stderr, "error %d", static_cast<int>(ca->sqlcode));
  if (ca->sqlerrd[1]) std::fprintf(stderr, " (ISAM %d)", static_cast<int>(ca->sqlerrd[1]));
  std::fprintf(stderr, ": %s  in: %.200s\n", msg, sql.c_str());
}

int runSelect(int32_t sid, bool header) {
  IxrSqlda* d = nullptr;
  if (ixr_describe(sid, &d) < 0) return ixr_sqlca()->sqlcode;
  int n = d ? d->sqld : 0;
  if (header) {
    for (int k = 0; k < n; ++k) std::printf("%s%s", k ? "|" : "", d->sqlvar[k].sqlname);
    std::printf("\n");
  }
  ixr_free_sqlda(d);
  int32_t cid = ixr_name_id("kesdbsh_c", IXR_ID_NEW_CURSOR);
  if (ixr_declare(cid, "kesdbsh_c", sid) || ixr_open(cid, nullptr)) return ixr_sqlca()->sqlcode;
  std::vector<std::vector<char>> buf(static_cast<size_t>(n), std::vector<char>(32768));
  std::vector<int16_t> ind(static_cast<size_t>(n));
  std::vector<IxrSqlVar> vars(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    vars[static_cast<size_t>(k)] = IxrSqlVar{};
    vars[static_cast<size_t>(k)].sqltype = IXR_HOST_STRING;
    vars[static_cast<size_t>(k)].sqllen = 32768;
    vars[static_cast<size_t>(k)].sqldata = buf[static_cast<size_t>(k)].data();
    vars[static_cast<size_t>(k)].sqlind = &ind[static_cast<size_t>(k)];
  }
  IxrSqlda out{};
  out.sqld = static_cast<int16_t>(n);
  out.sqlvar = vars.data();
  int rc;
  while ((rc = ixr_fetch(cid, &out)) == 0) {
    for (int k = 0; k < n; ++k)
      std::printf("%s%s", k ? "|" : "",
                  ind[static_cast<size_t>(k)] == -1 ? "" : buf[static_cast<size_t>(k)].data());
    std::printf("\n");
  }
  if (rc != IXR_NOTFOUND) return rc;
  ixr_close(cid);
  ixr_free("kesdbsh_c");
  return 0;
}

int runOne(const std::string& sql, bool header) {
  if (ixr_prepare("kesdbsh_s", sql.c_str())) return ixr_sqlca()->sqlcode;
  int32_t sid = ixr_name_id("kesdbsh_s", IXR_ID_STATEMENT);
  IxrSqlda* d = nullptr;
  int type = ixr_describe(sid, &d);
  ixr_free_sqlda(d);
  if (type < 0) return type;
  int rc = type == IXR_STMT_SELECT ? runSelect(sid, header) : ixr_execute(sid, nullptr);
  if (rc == IXR_NOTFOUND) rc = 0;
  // FREE resets the communication area; the caller reports the failure from it.
  const IxrCommArea failure = *ixr_sqlca();
  ixr_free("kesdbsh_s");
  if (rc) *ixr_sqlca() = failure;
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  std::string server, database, user, password, createServer, users;
  bool header = true, keepGoing = false, se = false, haveUsers = false;
  std::vector<std::string> scripts;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fputs(kUsage, stderr);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "-s")
      server = next();
    else if (a == "-d")
      database = next();
    else if (a == "-u")
      user = next();
    else if (a == "-p")
      password = next();
    else if (a == "-e")
      scripts.push_back(next());
    else if (a == "-q")
      header = false;
    else if (a == "-k")
      keepGoing = true;
    else if (a == "--create-server")
      createServer = next();
    else if (a == "--se")
      se = true;
    else if (a == "--users") {
      users = next();
      haveUsers = true;
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      std::fputs(kUsage, stderr);
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (!createServer.empty()) {
    if (ixr_server_create(createServer.c_str(), se ? IXR_SERVER_SE : IXR_SERVER_ONLINE,
                          haveUsers ? users.c_str() : nullptr)) {
      report("create server " + createServer);
      return 1;
    }
    if (scripts.empty() && files.empty()) return 0;
    if (server.empty()) server = createServer;
  }
  IxrConnInfo* info = ixr_conninfo();
  info->server = server.empty() ? nullptr : server.c_str();
  info->user = user.empty() ? nullptr : user.c_str();
  info->password = password.c_str();
  std::string target = database.empty() ? "default" : database;
  if (ixr_connect(target.c_str(), "kesdbsh")) {
    report("connect " + target);
    return 1;
  }
  std::vector<std::string> texts = scripts;
  for (const auto& f : files) {
    std::ifstream in(f);
    if (!in) {
      std::fprintf(stderr, "kesdbsh: cannot read %s\n", f.c_str());
      return 1;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    texts.push_back(ss.str());
  }
  if (scripts.empty() && files.empty()) {
    std::stringstream ss;
    ss << std::cin.rdbuf();
    texts.push_back(ss.str());
  }
  int failures = 0;
  for (const auto& text : texts) {
    for (const auto& sql : splitScript(text)) {
      if (runOne(sql, header)) {
        report(sql);
        ++failures;
        if (!keepGoing) {
          ixr_disconnect(nullptr);
          return 1;
        }
      }
    }
  }
  ixr_disconnect(nullptr);
  return failures ? 1 : 0;
}
