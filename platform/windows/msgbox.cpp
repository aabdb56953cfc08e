// msgbox.cpp -- message boxes as lines on the standard error stream.
#include "platform/windows/msgbox.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace {
std::atomic<MessageBoxLogHook> logHook{nullptr};
}

int MessageBoxA(void* /*owner*/, const char* text, const char* caption, uint32_t type) noexcept {
  std::string line;
  try {
    if (caption && *caption) {
      line = caption;
      line += ": ";
    }
    for (const char* p = text ? text : ""; *p; ++p) line += (*p == '\n' || *p == '\r') ? ' ' : *p;
    line += '\n';
  } catch (...) {
    return IDOK;  // no memory for the line: the box is lost, the answer stays the same
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  if (MessageBoxLogHook hook = logHook.load(std::memory_order_acquire)) {
    line.pop_back();
    hook(line.c_str(), type);
  }
  return IDOK;
}

MessageBoxLogHook SetMessageBoxLogHook(MessageBoxLogHook hook) noexcept {
  return logHook.exchange(hook, std::memory_order_acq_rel);
}
