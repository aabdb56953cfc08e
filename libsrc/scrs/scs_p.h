#pragma once
// scs_p.h -- routines shared inside the cursor layer: an agent cursor's
// context and the kept parameter type lists.
// Threading: as the context they work on.

#include <cstdint>
#include <cstdlib>

#include "drv/dataset.h"
#include "drv/scs.h"
#include "platform/windows/critsec.h"
#include "util/dynarray.h"

// Frees a Dataset the layer allocated and forgets it; none is nothing to do.
inline void scs_p_FreeDataset(Dataset** ds) {
  if (*ds == nullptr) return;
  DatasetFree(*ds);
  std::free(*ds);
  *ds = nullptr;
}

// The entries of a list that may not exist.
inline uint32_t scs_p_Count(const DynArray* a) { return a != nullptr ? a->count : 0; }

// An agent cursor's context, with what the agent says of its connection.
// 0 or ERR_MEMORY.
int32_t SCS_InitCursor(SCS* scs, uint32_t hCursor, uint32_t hConn, DriverRecord* drv, void* owner);
// Releases everything an agent cursor's context holds.
void SCS_FreeCursor(SCS* scs);

// Replaces *list by a copy of n entries (none for n 0). 0 or ERR_MEMORY, with
// the old list kept on failure.
int32_t scs_p_SetParamTypes(ParamShadow** list, uint16_t* count, uint16_t n,
                            const ParamShadow* entries);

// The table below the cursor layer, through which every cursor context calls
// the agent (filled by SCR_Interpose).
extern DriverRecord SCR_BaseDriver;

// Describes the user cursor's result once into sc_resultCols; 0 or the
// agent's error.
[[nodiscard]] int32_t scs_p_DescribeOnce(SCS* scs);
// A statement prepared on the cursor: drops what the last one left and keeps
// the text of a scrollable cursor, which runs read-only. 0, ERR_MEMORY or
// ERR_NOT_CAPABLE.
[[nodiscard]] int32_t scs_p_PrepareScrollable(SCS* scs, const char* sql);
// A keyset-driven cursor over a SELECT with key columns.
bool scs_p_KeysetSelect(const SCS* scs);
// Row ra's column ca of a holds the same value as row rb's column cb of b
// (NULL only equals NULL).
bool scs_p_SameCell(const Dataset* a, uint32_t ra, uint16_t ca, const Dataset* b, uint32_t rb,
                    uint16_t cb);
// A static cursor under value concurrency over a SELECT with key columns: it
// holds the keys and old values of its rows, so that SetPos can change them.
bool scs_p_KeyedStatic(const SCS* scs);
// What a scrollable cursor does before its statement runs: the user's
// statement back on the cursor, the keyset of a keyset-driven cursor loaded.
[[nodiscard]] int32_t scs_p_BeforeExecute(SCS* scs);
// What a scrollable cursor does once its statement ran: its result described,
// a read-only static result loaded.
[[nodiscard]] int32_t scs_p_AfterExecute(SCS* scs);
// The agent cursor's whole result into the static set; on success the cursor
// is marked loaded (SCS_F_STATIC_LOADED).
[[nodiscard]] int32_t scs_p_LoadStatic(SCS* scs);

// The rowset of a static cursor at the 1-based target row (counted from the
// end when negative; 0: the last full rowset) into table. ERR_BEFORE_START
// and ERR_AFTER_END move the position to that end.
[[nodiscard]] int32_t scs_p_FetchStatic(SCS* scs, RowStatusTable* table, int32_t target);

// Guards the saved connect parameters of every server; created by
// SCR_Interpose before any connection exists.
extern CRITICAL_SECTION SCR_ConnListLock;
// The connection hooks: the agent's connect and disconnect, with the
// connection's parameters kept meanwhile. A connect whose parameters cannot
// be kept ends the new connection again.
int32_t SCS_Connect(DrvHandle hServer, const DriverConnectParams* params, DrvHandle* hConn);
int32_t SCS_EndConnect(DrvHandle hConn);
// The parameters a connection was made with (texts still owned by the list)
// and its server. 0, or ERR_ARGUMENT for a connection not made here.
[[nodiscard]] int32_t scs_p_SavedConnect(DrvHandle hConn, DriverConnectParams* out,
                                         DrvHandle* hServer);
