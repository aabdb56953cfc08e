#pragma once
// binding.h -- the records in which a statement keeps the application's column
// and parameter bindings. The descriptors show the same bindings as ARD, APD
// and IPD records; the fetch, execute and data-at-execution code reads these.
// The pointers are the application's and are never freed here; the
// data-at-execution buffers belong to the binding.

#include <cstdint>

#include "odbc/cellcopy.h"

// One bound column, or a one-off GetData request of the same shape.
struct ColBinding {
  uint16_t cb_column;  // 0 = the bookmark column
  int16_t cb_cType;
  int16_t cb_scale;
  void* cb_data;
  int64_t cb_bufferLength;
  int64_t* cb_octetLengthPtr;
  int64_t* cb_indicatorPtr;
  uint64_t cb_daeRows;  // entries of the two arrays below
  void** cb_daeBuffers;
  uint64_t* cb_daeLengths;
};

struct ColBindingNode {
  ColBindingNode* next;
  ColBinding cb;
};

// One bound column's copy for the rows of the current block (null: the general road),
// the block's column it copies from, and the binding's buffers as the copy needs them
// (before the bind offset; ind null when it is the length or there is none).
struct BoundRowCell {
  const ColBindingNode* node;
  CellCopy copy;
  const DatasetColumn* col;
  void* data;
  int64_t bufLen;
  int64_t* len;
  int64_t* ind;
  uint16_t column;
};

// The copies of every bound column, in binding order, chosen under the statement's
// binding generation `gen`: valid while the bindings and the block's layout stay.
struct BoundRowPlan {
  BoundRowCell* cells;  // owned
  uint32_t count;
  uint32_t capacity;
  uint32_t gen;
  uint8_t made;
};

// One bound parameter; slot n - 1 of the statement's array holds parameter n,
// and a slot never bound is all zero.
struct ParamBinding {
  uint16_t pb_number;
  int16_t pb_cType;         // resolved: never SQL_C_DEFAULT
  int64_t pb_transferSize;  // fixed C size, or SQL_NTS for character and binary data
  int16_t pb_sqlType;
  uint64_t pb_columnSize;
  int16_t pb_scale;
  void* pb_data;
  int64_t* pb_lengthPtr;
  int64_t* pb_indicatorPtr;
  int64_t pb_bufferLength;
  int16_t pb_paramType;  // SQL_PARAM_INPUT, SQL_PARAM_OUTPUT, SQL_PARAM_INPUT_OUTPUT
  uint64_t pb_daeRows;   // entries of the two arrays below
  char** pb_daeBuffers;
  uint64_t* pb_daeLengths;  // bytes collected, or DAE_NULL_LENGTH
};

// The length of a value sent as NULL at execution (it has no block).
inline constexpr uint64_t DAE_NULL_LENGTH = UINT64_MAX;
