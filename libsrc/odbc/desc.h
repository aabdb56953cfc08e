#pragma once
// desc.h -- the descriptor record: the four implicit descriptors of a
// statement and the descriptors an application allocates on a connection.
// Threading: descriptor operations run under the connection's call lock.

#include <cstdint>

#include "odbc/diag.h"

struct Conn;
struct Stmt;

inline constexpr int32_t DESC_MAGIC = 0x3444;

inline constexpr int16_t DESC_USER = 0;
inline constexpr int16_t DESC_IRD = 1;
inline constexpr int16_t DESC_ARD = 2;
inline constexpr int16_t DESC_IPD = 3;
inline constexpr int16_t DESC_APD = 4;

struct DescRec {
  int16_t dr_conciseType;
  void* dr_dataPtr;
  int16_t dr_intervalCode;
  int32_t dr_intervalPrecision;
  int16_t dr_fixedPrecScale;
  void* dr_indicatorPtr;
  uint64_t dr_length;
  char* dr_name;  // owned copy
  int32_t dr_radix;
  int64_t dr_octetLength;  // buffer length (SQLLEN)
  void* dr_octetLengthPtr;
  int16_t dr_paramType;
  int16_t dr_precision;
  int16_t dr_scale;
  int16_t dr_type;
  int16_t dr_unnamed;
  int16_t dr_unsigned;
};

struct DescRecNode {
  DescRecNode* next;
  DescRec rec;
};

struct Desc {
  int32_t magic;  // DESC_MAGIC; RECORD_FREED once freed
  DiagList diag;
  int32_t errCode;
  uint32_t handle;       // its handle in the descriptor table
  Conn* de_dbc;          // owner of an explicit descriptor
  Stmt* de_stmt;         // owner of an implicit descriptor
  int16_t de_type;       // DESC_* kind
  int16_t de_allocType;  // SQL_DESC_ALLOC_AUTO (1) or SQL_DESC_ALLOC_USER (2)
  int64_t de_arraySize;
  uint16_t* de_arrayStatusPtr;
  void* de_bindOffsetPtr;
  int32_t de_bindType;
  int16_t de_count;
  void* de_rowsProcessedPtr;
  DescRecNode* de_recs;  // head node: record 0, the bookmark record
  int16_t diagRecNo;
  // The record found last: a walk over the records in order (a copy, a describe)
  // goes on from it instead of from the head. Cleared when records are dropped.
  DescRecNode* de_lastRec;
  int16_t de_lastRecNo;
};

// Null with ERR_MEMORY on the statement (implicit) or the connection (explicit).
Desc* DescNew(int16_t type, int16_t allocType, Stmt* stmt, Conn* conn);
void DescFree(Desc* desc);
// The connection a descriptor's calls run on.
Conn* DescConn(const Desc* desc);
