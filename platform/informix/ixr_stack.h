// ixr_stack.h -- room on the stack for the recursive parts of the embedded server: the
// parser and the translator recurse once per level of a statement's nesting, and an
// application may call in on a thread with a small stack.
// Threading: any thread; what runs elsewhere runs while the caller waits.
#pragma once

#include <cstddef>
#include <functional>

namespace ixr {

// Bytes left on the calling thread's stack below this frame (very large when unknown).
size_t stackRoom();

// Runs f on the calling thread when its stack has room for the deepest statement the
// parser admits, else on a helper thread with such a stack while the caller waits. An
// exception of f reaches the caller.
void onDeepStack(const std::function<void()>& f);

}  // namespace ixr
