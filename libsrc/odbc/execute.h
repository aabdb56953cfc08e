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
struct ParamBinding;
struct Stmt;

// The result tail of every execution; rows is the number of parameter sets
// handed to the back end. Reports the processed count and the parameter status
// array, marks the result, and delivers output parameters.
SQLRETURN ExecuteFinish(Stmt* stmt, uint32_t rows);

// The DatasetType a value of this C type travels as, and its fixed width
// (written only when width is not null; 0 for variable-length types).
int32_t CTypeToDatasetType(int16_t cType, uint32_t* width);

// Whether set r of a bound parameter is sent at execution (its length is
// SQL_DATA_AT_EXEC or SQL_LEN_DATA_AT_EXEC(n), its indicator not NULL).
bool ParamAtExec(const Stmt* stmt, const ParamBinding& pb, uint64_t r);
// The parameter index (0-based) of a column of the parameter Dataset, whose
// columns are the input and input/output parameters; -1 for none.
int32_t ParamOfColumn(const Stmt* stmt, int32_t column);
// The parameter set of a row of the parameter Dataset, which has no row for a
// set marked SQL_PARAM_IGNORE; -1 for none.
int64_t SetOfRow(const Stmt* stmt, int32_t row);

// A date, time or timestamp escape ({d '...'}, {t '...'}, {ts '...'}) of 8-bit
// or UTF-16 text as the plain text the server reads for its type ("2024-02-29
// 10:11:12.5"); 0 when the text is no such escape.
uint64_t DateTimeEscapeText(const void* text, uint64_t bytes, bool wide, int32_t sqlType,
                            char (&out)[64]);

// true when the back end takes UTF-16 values as they are; otherwise wide values
// and their types go to it as 8-bit text.
bool BackEndTakesWide(const Stmt* stmt);
// The wide text of rows handed to the back end as 8-bit text when the back end
// takes no UTF-16 (the ANSI build's agent), whichever entry point connected.
// -> 0 or the conversion's code.
int32_t NarrowForBackEnd(const Stmt* stmt, Dataset* ds);

// 24-byte type entries for DRV_PrepareExecute2: each shadow with the name of
// its IPD record when that record is named. Null when memory is short. The
// caller frees the names with ParamTypesFree, then the array with free.
ParamTypeEntry* ParamTypesBuild(const ParamShadow* shadows, uint16_t n, Desc* ipd);
void ParamTypesFree(ParamTypeEntry* entries, uint16_t n);
// Wide SQL and C types become their 8-bit counterparts, for a back end that
// takes no UTF-16.
void ParamTypesNarrow(ParamShadow* entries, uint16_t n);
