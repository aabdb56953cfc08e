// ixr_stack.cpp -- see ixr_stack.h.
#include "platform/informix/ixr_stack.h"

#include <pthread.h>

#include <cstdint>
#include <exception>

namespace ixr {
namespace {

// What a statement at the nesting limit takes to parse and translate, with a margin:
// sanitizer builds have frames several times larger.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kDeepRoom = size_t{4} << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr size_t kDeepRoom = size_t{4} << 20;
#else
constexpr size_t kDeepRoom = size_t{1} << 20;
#endif
#else
constexpr size_t kDeepRoom = size_t{1} << 20;
#endif

struct Job {
  const std::function<void()>* f;
  std::exception_ptr failure;
};

void* runJob(void* arg) {
  auto* job = static_cast<Job*>(arg);
  try {
    (*job->f)();
  } catch (...) {
    job->failure = std::current_exception();
  }
  return nullptr;
}

}  // namespace

size_t stackRoom() {
  thread_local const char* low = nullptr;
  thread_local bool known = false;
  if (!known) {
    known = true;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void* addr = nullptr;
      size_t size = 0;
      if (pthread_attr_getstack(&attr, &addr, &size) == 0) low = static_cast<const char*>(addr);
      pthread_attr_destroy(&attr);
    }
  }
  if (low == nullptr) return SIZE_MAX;
  const char here = 0;
  const char* at = &here;
  return at > low ? static_cast<size_t>(at - low) : 0;
}

void onDeepStack(const std::function<void()>& f) {
  if (stackRoom() >= kDeepRoom) {
    f();
    return;
  }
  Job job{&f, nullptr};
  pthread_attr_t attr;
  pthread_t th;
  bool started = pthread_attr_init(&attr) == 0;
  started = started && pthread_attr_setstacksize(&attr, 2 * kDeepRoom) == 0 &&
            pthread_create(&th, &attr, runJob, &job) == 0;
  pthread_attr_destroy(&attr);
  if (!started) {
    // No thread to be had: the parser's own check of the room left refuses what does
    // not fit here.
    f();
    return;
  }
  pthread_join(th, nullptr);
  if (job.failure) std::rethrow_exception(job.failure);
}

}  // namespace ixr
