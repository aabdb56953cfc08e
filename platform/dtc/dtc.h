// dtc.h -- the distributed transaction coordinator as the driver uses it: the
// interfaces of a coordinator that enlists resource managers in its
// transactions and drives their two-phase commit, the task allocator, and the
// loading of the coordinator's transaction-manager library.
// The declarations are this system's own, abstract classes with their
// operations in the order the driver relies on; no binary compatibility with
// any other platform's coordinator is claimed.
// The coordinator is the library DTC_LIBRARY_NAME, found by the dynamic
// loader's search path and loaded at the first need; its entry
// DTC_ENTRY_NAME is looked up by name. Without it no transaction can be
// enlisted. The library platform/dtc/tm builds is a stand-in coordinator for
// tests (dtc_testing.h).
// Threading: the coordinator calls a resource's methods on threads of its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/xa/xa.h"

// Success codes are 0 or above, failures negative. The coordinator's 32-bit
// counts and flags are uint32_t, its booleans int32_t (0 or 1).
using HRESULT = int32_t;

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// A transaction's or a reason's 16-byte identifier.
struct BOID {
  uint8_t rgb[16];
};
using XACTUOW = BOID;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT XACT_S_ASYNC = 0x0004D000;
inline constexpr HRESULT XACT_S_READONLY = 0x0004D002;
inline constexpr HRESULT XACT_S_ABORTING = 0x0004D008;
inline constexpr HRESULT XACT_S_SINGLEPHASE = 0x0004D009;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT XACT_E_CANTRETAIN = static_cast<HRESULT>(0x8004D001u);
inline constexpr HRESULT XACT_E_COMMITFAILED = static_cast<HRESULT>(0x8004D002u);
inline constexpr HRESULT XACT_E_ISOLATIONLEVEL = static_cast<HRESULT>(0x8004D008u);
inline constexpr HRESULT XACT_E_NOISORETAIN = static_cast<HRESULT>(0x8004D00Bu);
inline constexpr HRESULT XACT_E_NOTRANSACTION = static_cast<HRESULT>(0x8004D00Eu);
inline constexpr HRESULT XACT_E_NOTSUPPORTED = static_cast<HRESULT>(0x8004D00Fu);
inline constexpr HRESULT XACT_E_XTIONEXISTS = static_cast<HRESULT>(0x8004D013u);
inline constexpr HRESULT XACT_E_INDOUBT = static_cast<HRESULT>(0x8004D016u);
inline constexpr HRESULT XACT_E_NOTIMEOUT = static_cast<HRESULT>(0x8004D017u);
inline constexpr HRESULT XACT_E_ALREADYINPROGRESS = static_cast<HRESULT>(0x8004D018u);
inline constexpr HRESULT XACT_E_ABORTED = static_cast<HRESULT>(0x8004D019u);
inline constexpr HRESULT XACT_E_LOGFULL = static_cast<HRESULT>(0x8004D01Au);
inline constexpr HRESULT XACT_E_TMNOTAVAILABLE = static_cast<HRESULT>(0x8004D01Bu);
inline constexpr HRESULT XACT_E_CONNECTION_DOWN = static_cast<HRESULT>(0x8004D01Cu);
inline constexpr HRESULT XACT_E_CONNECTION_DENIED = static_cast<HRESULT>(0x8004D01Du);
inline constexpr HRESULT XACT_E_NOTSINGLEPHASE = static_cast<HRESULT>(0x8004D103u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IMalloc = {
    0x00000002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ITransaction = {
    0x0FB15084, 0xAF41, 0x11CE, {0xBD, 0x2B, 0x20, 0x4C, 0x4F, 0x4F, 0x50, 0x20}};
inline constexpr IID IID_ITransactionEnlistmentAsync = {
    0x0FB15081, 0xAF41, 0x11CE, {0xBD, 0x2B, 0x20, 0x4C, 0x4F, 0x4F, 0x50, 0x20}};
inline constexpr IID IID_ITransactionResourceAsync = {
    0x69E971F0, 0x23CE, 0x11CF, {0xAD, 0x60, 0x00, 0xAA, 0x00, 0xA7, 0x4C, 0xCD}};
inline constexpr IID IID_IDtcToXaHelperSinglePipe = {
    0x47ED4971, 0x53B3, 0x11D1, {0xBB, 0xB9, 0x00, 0xC0, 0x4F, 0xD6, 0x58, 0xF6}};

// A reference-counted object: QueryInterface hands out another of its
// interfaces with a reference counted, AddRef and Release answer the new count,
// and the object goes away with its last reference.
class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;  // only Release ends an object
};

// The moniker a prepared resource may hand back; never used here beyond null.
class IMoniker;

// A coordinator's transaction: the driver only passes it back to the
// coordinator.
class ITransaction : public IUnknown {
 protected:
  ~ITransaction() = default;
};

// Implemented by a resource manager: the coordinator's requests of the two
// phases. Each answers at once; the outcome is reported through the
// enlistment's matching Done call.
class ITransactionResourceAsync : public IUnknown {
 public:
  virtual HRESULT PrepareRequest(int32_t fRetaining, uint32_t grfRM, int32_t fWantMoniker,
                                 int32_t fSinglePhase) = 0;
  virtual HRESULT CommitRequest(uint32_t grfRM, XACTUOW* pNewUOW) = 0;
  virtual HRESULT AbortRequest(BOID* pboidReason, int32_t fRetaining, XACTUOW* pNewUOW) = 0;
  // The coordinator has lost its connection to the resource manager.
  virtual HRESULT TMDown() = 0;

 protected:
  ~ITransactionResourceAsync() = default;
};

// Implemented by the coordinator: where a resource reports its outcomes.
class ITransactionEnlistmentAsync : public IUnknown {
 public:
  virtual HRESULT PrepareRequestDone(HRESULT hr, IMoniker* pmk, BOID* pboidReason) = 0;
  virtual HRESULT CommitRequestDone(HRESULT hr) = 0;
  virtual HRESULT AbortRequestDone(HRESULT hr) = 0;

 protected:
  ~ITransactionEnlistmentAsync() = default;
};

// Implemented by the coordinator for resource managers that speak XA: it keeps
// a resource manager's connect text and file (for recovery), turns its
// transactions into XIDs, and enlists the resource's object.
class IDtcToXaHelperSinglePipe : public IUnknown {
 public:
  // dsn: the text that opens the resource manager again through the switch of
  // the library clientDll (its file) after a failure.
  virtual HRESULT XARMCreate(char* dsn, char* clientDll, uint32_t* rmCookie) = 0;
  virtual HRESULT ConvertTridToXID(ITransaction* transaction, uint32_t rmCookie, XID* xid) = 0;
  virtual HRESULT EnlistWithRM(uint32_t rmCookie, ITransaction* transaction,
                               ITransactionResourceAsync* resource,
                               ITransactionEnlistmentAsync** enlistment) = 0;
  virtual void ReleaseRMCookie(uint32_t rmCookie, int32_t normal) = 0;

 protected:
  ~IDtcToXaHelperSinglePipe() = default;
};

// The process's task allocator.
class IMalloc : public IUnknown {
 public:
  virtual void* Alloc(size_t size) = 0;
  virtual void* Realloc(void* p, size_t size) = 0;
  virtual void Free(void* p) = 0;
  virtual size_t GetSize(void* p) = 0;
  virtual int DidAlloc(void* p) = 0;
  virtual void HeapMinimize() = 0;

 protected:
  ~IMalloc() = default;
};

inline constexpr char DTC_LIBRARY_NAME[] = "libkesdtc.so";
inline constexpr char DTC_ENTRY_NAME[] = "DtcGetTransactionManager";

// The coordinator's entry: its transaction manager, queried for riid. host and
// tmName null name the local coordinator.
using DtcGetTransactionManagerFn = HRESULT (*)(char* host, char* tmName, REFIID riid,
                                               uint32_t reserved1, uint16_t reserved2,
                                               void* reserved3, void** out);

// The entry of the coordinator's library, loading it at the first call; null
// when the library or its entry is missing (a later call tries again).
DtcGetTransactionManagerFn DtcLoadTransactionManager();

// context 1 (the task allocator) only; the allocator lives for the process.
HRESULT CoGetMalloc(uint32_t context, IMalloc** out);
