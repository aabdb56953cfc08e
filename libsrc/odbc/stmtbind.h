#pragma once
// stmtbind.h -- binding a column or a parameter: the one operation behind
// SQLBindCol and SQLBindParameter and behind the descriptor writes that bind,
// so that a statement's binding records and its ARD, APD and IPD records
// always agree, whichever side the application wrote.
// Threading: under the statement's connection call lock.

#include <cstdint>

#include "odbc/callargs.h"
#include "odbc/stmt.h"

// Binds (value not null) or unbinds column n. A buffer length of 0 takes the C
// type's fixed size; column 0 is the bookmark and needs the back end's bookmark
// support. -> 0 or a driver error code, also left in errCode; a refused call
// changes nothing.
int32_t StmtBindCol(Stmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufLen,
                    int64_t* lenInd);
// The same with separate octet-length and indicator pointers, as an ARD record
// carries them.
int32_t StmtBindColPtrs(Stmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufLen,
                        int64_t* octetLenPtr, int64_t* indicatorPtr);
// Binds parameter n and writes the binding into the APD and IPD records.
// -> SQL_SUCCESS, or SQL_ERROR with the code in errCode.
SQLRETURN StmtBindParameter(Stmt* stmt, uint16_t n, int16_t paramType, int16_t cType,
                            int16_t sqlType, uint64_t columnSize, int16_t scale, void* data,
                            int64_t bufLen, int64_t* lengthPtr, int64_t* indicatorPtr);

// Workers of SQLBindCol, SQLBindParameter, SQLSetParam and SQLDescribeParam.
// args: [column, C type, value, buffer length, length/indicator].
SQLRETURN BindColImpl(Stmt* stmt, const CallSlot* args);
// args: [number, parameter type, C type, SQL type, column size, scale, value,
// buffer length, length/indicator].
SQLRETURN BindParameterImpl(Stmt* stmt, const CallSlot* args);
// args: [number, C type, SQL type, column size, scale, value, length/indicator].
SQLRETURN SetParamImpl(Stmt* stmt, const CallSlot* args);
// args: [number, SQL type, size, scale, nullable].
SQLRETURN DescribeParamImpl(Stmt* stmt, const CallSlot* args);
