// scr_parse.cpp -- runs the scanner and the grammar over one statement: the
// scan window, the echo buffer, the token table and the error report.
// Owns the parse context for the length of one parse; the tree and the error
// texts go to the caller.
// Threading: every parse has its own context; nothing is shared.

#include "scrs/scr_parse.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "scr_gram.h"

bool ScanOpen(ScanCtx* ctx) noexcept;
void ScanClose(ScanCtx* ctx) noexcept;
int ScanNext(ScanCtx* ctx, SCSQL_STYPE* value) noexcept;

int ScanInput(ScanCtx* ctx, char* dest, int max) noexcept {
  const ptrdiff_t left = ctx->end - ctx->pos;
  const int n = left < max ? static_cast<int>(left) : max;
  if (n <= 0) return 0;
  std::memcpy(dest, ctx->pos, static_cast<size_t>(n));
  ctx->pos += n;
  return n;
}

void EchoReset(ScanCtx* ctx) noexcept {
  ctx->echoLen = 0;
  ctx->echo[0] = '\0';
}

void EchoAppend(ScanCtx* ctx, const char* text) noexcept {
  const size_t room = kEchoSize - 1 - ctx->echoLen;
  size_t n = std::strlen(text);
  if (n > room) n = room;
  std::memcpy(ctx->echo + ctx->echoLen, text, n);
  ctx->echoLen += n;
  ctx->echo[ctx->echoLen] = '\0';
}

void scsql_error(ScanCtx* ctx, const char* message) noexcept {
  std::free(ctx->errPos);
  std::free(ctx->errMsg);
  ctx->errPos = static_cast<char*>(std::malloc(ctx->echoLen + 2));
  if (ctx->errPos != nullptr) {
    std::memcpy(ctx->errPos, ctx->echo, ctx->echoLen);
    std::memcpy(ctx->errPos + ctx->echoLen, "^", 2);
  }
  ctx->errMsg = strdup(message);
}

const char* TokenIntern(ScanCtx* ctx, const char* text) noexcept {
  char* copy = strdup(text);
  if (copy == nullptr) return nullptr;
  try {
    ctx->tokens.push_back(copy);
  } catch (...) {
    std::free(copy);
    return nullptr;
  }
  return copy;
}

void TokenTableFree(ScanCtx* ctx) noexcept {
  for (char* t : ctx->tokens) std::free(t);
  ctx->tokens.clear();
}

namespace {

std::unique_ptr<ScanCtx> open(const char* text, size_t len) {
  std::unique_ptr<ScanCtx> ctx(new (std::nothrow) ScanCtx);
  if (ctx == nullptr) return nullptr;
  ctx->start = ctx->pos = text;
  ctx->end = text + len;
  if (!ScanOpen(ctx.get())) return nullptr;
  return ctx;
}

void close(ScanCtx* ctx) {
  ScanClose(ctx);
  TokenTableFree(ctx);
  std::free(ctx->errPos);
  std::free(ctx->errMsg);
  ParseTreeFree(&ctx->root, ParseNodeFreeStrings);
}

}  // namespace

void ScrParse(const char* text, size_t len, ParseResult* out) noexcept {
  *out = ParseResult{};
  std::unique_ptr<ScanCtx> ctx = open(text, len);
  if (ctx == nullptr) {
    out->rc = 2;
    out->errMsg = strdup("memory exhausted");
    return;
  }
  int rc = scsql_parse(ctx.get());
  if (rc == 0 && ctx->root == nullptr) rc = 1;  // cannot happen: the start rule sets it
  if (rc != 0 && ctx->nomem) rc = 2;
  out->rc = rc;
  if (rc == 0) {
    out->root = ctx->root;
    ctx->root = nullptr;
  } else {
    if (ctx->errMsg == nullptr) scsql_error(ctx.get(), rc == 2 ? "memory exhausted" : "syntax error");
    out->errPos = ctx->errPos;
    out->errMsg = ctx->errMsg;
    ctx->errPos = ctx->errMsg = nullptr;
  }
  close(ctx.get());
}

int ScrScanAll(const char* text, std::vector<ScanToken>* tokens, std::string* echo,
               std::string* error) {
  std::unique_ptr<ScanCtx> ctx = open(text, std::strlen(text));
  if (ctx == nullptr) return 1;
  int rc = 0;
  for (;;) {
    SCSQL_STYPE value{};
    const int code = ScanNext(ctx.get(), &value);
    if (code == 0) break;
    if (code == SCSQL_error) {
      rc = 1;
      if (error != nullptr && ctx->errMsg != nullptr) *error = ctx->errMsg;
      break;
    }
    const bool valued = (code >= TK_IDENT && code <= TK_OJ_COMPARISON);
    tokens->push_back({code, valued && value.tok != nullptr ? value.tok : ""});
  }
  if (echo != nullptr) *echo = ctx->echo;
  close(ctx.get());
  return rc;
}
