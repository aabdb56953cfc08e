// asan_support.cpp -- lets the allocator answer null instead of aborting, so
// the tests can drive the library's own out-of-memory paths with requests
// no heap can grant.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
