// dtc_client.cpp -- the driver's side of the coordinator: its library loaded by
// name, and the process's task allocator over the C heap.
// Threading: the library is loaded under a lock; once loaded it stays for the
// process (the loader keeps a reference), so its entry stays valid.

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

#include "platform/dtc/dtc.h"

namespace {

std::mutex g_loadLock;
DtcGetTransactionManagerFn g_entry = nullptr;  // REQUIRES: g_loadLock

// The allocator has no state: one object serves the whole process and its
// references are not counted.
class TaskAllocator final : public IMalloc {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (!(riid == IID_IUnknown) && !(riid == IID_IMalloc)) return E_NOINTERFACE;
    *out = static_cast<IMalloc*>(this);
    return S_OK;
  }
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  void* Alloc(size_t size) override { return std::malloc(size != 0 ? size : 1); }
  void* Realloc(void* p, size_t size) override { return std::realloc(p, size != 0 ? size : 1); }
  void Free(void* p) override { std::free(p); }
  size_t GetSize(void*) override { return static_cast<size_t>(-1); }
  int DidAlloc(void*) override { return -1; }
  void HeapMinimize() override {}
};

TaskAllocator g_allocator;

}  // namespace

DtcGetTransactionManagerFn DtcLoadTransactionManager() {
  std::lock_guard<std::mutex> g(g_loadLock);
  if (g_entry != nullptr) return g_entry;
  void* lib = dlopen(DTC_LIBRARY_NAME, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) return nullptr;
  void* entry = dlsym(lib, DTC_ENTRY_NAME);
  if (entry == nullptr) {
    dlclose(lib);
    return nullptr;
  }
  g_entry = reinterpret_cast<DtcGetTransactionManagerFn>(entry);
  return g_entry;
}

HRESULT CoGetMalloc(uint32_t context, IMalloc** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  if (context != 1) return E_INVALIDARG;
  *out = &g_allocator;
  return S_OK;
}
