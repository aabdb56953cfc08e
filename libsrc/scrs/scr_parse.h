#pragma once
// scr_parse.h -- one parse of a statement: the state the scanner and the
// grammar share, and the call that runs them over a text.
// Every parse has a context of its own (the scanner is reentrant and the
// parser pure), so parses on different threads never meet and need no lock.
// Not here: what a tree means (the SELECT analyser and the parameter
// describer read it).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scrs/scr_tree.h"

// Bytes of the echo buffer, its terminating NUL included.
inline constexpr size_t kEchoSize = 20000;

// The state of one parse, shared by the scanner's and the grammar's actions.
struct ScanCtx {
  void* scanner = nullptr;       // the reentrant scanner's own state
  const char* start = nullptr;   // the text being analysed ...
  const char* pos = nullptr;     // ... the next byte the scanner reads ...
  const char* end = nullptr;     // ... and its end
  int32_t escapeNesting = 0;     // open escape brackets
  bool afterName = false;        // an '@' directly after a name is a token of its own
  size_t echoLen = 0;            // bytes in echo, NUL excluded
  char echo[kEchoSize] = {};     // normalised text consumed since the last statement keyword
  std::vector<char*> tokens;     // the token table: each token's own spelling, freed after the parse
  char* errPos = nullptr;        // owned: the echo up to the error, then "^"
  char* errMsg = nullptr;        // owned: the message
  ParseNode* root = nullptr;     // owned: the statement's tree once the start rule is reduced
  bool nomem = false;            // a token could not be stored
};

// Copies at most max bytes of the window into dest and advances it. 0 at the
// end of the text.
int ScanInput(ScanCtx* ctx, char* dest, int max) noexcept;
void EchoReset(ScanCtx* ctx) noexcept;
// Appends text, keeping the buffer NUL-terminated; what does not fit is dropped.
void EchoAppend(ScanCtx* ctx, const char* text) noexcept;
// Records the error position (the echo followed by "^") and the message; a
// later error replaces an earlier one.
void scsql_error(ScanCtx* ctx, const char* message) noexcept;
// The token table keeps a copy of each token's text with its own spelling;
// null when memory is short.
const char* TokenIntern(ScanCtx* ctx, const char* text) noexcept;
void TokenTableFree(ScanCtx* ctx) noexcept;
// The scanner back at a statement's start; the grammar calls it when it has
// reduced a whole analysed statement.
void ScanResetState(ScanCtx* ctx) noexcept;

// What a parse answers.
struct ParseResult {
  int32_t rc = 0;             // 0 parsed, 1 syntax or scan error, 2 memory exhausted
  ParseNode* root = nullptr;  // the tree, the caller's; null after a failure
  char* errPos = nullptr;     // the caller's (free); set after a failure
  char* errMsg = nullptr;     // the caller's (free); set after a failure
};

// Parses text (its first len bytes) as one statement. The nodes of a failed
// parse are freed before it answers.
void ScrParse(const char* text, size_t len, ParseResult* out) noexcept;

// Scans text alone: the token codes in order, the text of each value token
// ("" for the others), and the echo buffer at the end. Answers 0, or 1 after
// a scan error (its message in *error). For tests of the scanner.
struct ScanToken {
  int code;
  std::string text;
};
int ScrScanAll(const char* text, std::vector<ScanToken>* tokens, std::string* echo,
               std::string* error);
