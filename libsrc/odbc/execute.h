#pragma once
// execute.h -- executing a prepared statement with the application's bound
// parameters. The workers and the execution steps that SQLExecDirect shares
// are declared in stmtexec.h; here are the result tail that data at execution
// shares, and the helpers that SetPos and PutData use to shape values.
// Every parameter set of a parameter array travels in one column-wise
// parameter Dataset (one column per input and input/output parameter, one row
// per set not marked SQL_PARAM_IGNORE) with one back-end call.
// Threading: under the statement's connection call lock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "drv/drvops.h"
#include "odbc/stmtexec.h"

struct Desc;
struct Stmt;

// The result tail of every execution; rows is the number of parameter sets
// handed to the back end. Reports the processed count and the parameter status
// array, marks the result, and delivers output parameters.
SQLRETURN ExecuteFinish(Stmt* stmt, uint32_t rows);

// The DatasetType a value of this C type travels as, and its fixed width
// (written only when width is not null; 0 for variable-length types).
int32_t CTypeToDatasetType(int16_t cType, uint32_t* width);

// 24-byte type entries for DRV_PrepareExecute2: each shadow with the name of
// its IPD record when that record is named. Null when memory is short. The
// caller frees the names with ParamTypesFree, then the array with free.
ParamTypeEntry* ParamTypesBuild(const ParamShadow* shadows, uint16_t n, Desc* ipd);
void ParamTypesFree(ParamTypeEntry* entries, uint16_t n);
// Wide SQL and C types become their 8-bit counterparts, for a back end that
// takes no UTF-16.
void ParamTypesNarrow(ParamShadow* entries, uint16_t n);
