// calldesc.cpp -- the call descriptors of every entry point, and the worker
// that answers "Driver not capable" for entry points whose work is not here yet.

#include "odbc/calldesc.h"

#include "drv/errtab.h"
#include "odbc/bulkops.h"
#include "odbc/catalog.h"
#include "odbc/colmeta.h"
#include "odbc/conn.h"
#include "odbc/connattr.h"
#include "odbc/connconf.h"
#include "odbc/dae.h"
#include "odbc/desc.h"
#include "odbc/descops.h"
#include "odbc/diag.h"
#include "odbc/envr.h"
#include "odbc/fetch.h"
#include "odbc/getinfo.h"
#include "odbc/prepare.h"
#include "odbc/setpos.h"
#include "odbc/stmt.h"
#include "odbc/stmtattr.h"
#include "odbc/stmtbind.h"
#include "odbc/stmtexec.h"

SQLRETURN NotCapableDbcImpl(Conn* conn, const CallSlot*) {
  conn->errCode = ERR_NOT_CAPABLE;
  return SQL_ERROR;
}
SQLRETURN NotCapableStmtImpl(Stmt* stmt, const CallSlot*) {
  stmt->errCode = ERR_NOT_CAPABLE;
  return SQL_ERROR;
}
SQLRETURN NotCapableDescImpl(Desc* desc, const CallSlot*) {
  desc->errCode = ERR_NOT_CAPABLE;
  return SQL_ERROR;
}

// One descriptor a line, so that the table reads as a table.
// clang-format off
const CallDescriptor CD_DriverConnect = {"DriverConnect", "HWND=%p szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u", 1, 1, CALL_HDBC, KES_WORKER(DriverConnectImpl)};
const CallDescriptor CD_DriverConnectW = {"DriverConnectW", "HWND=%x szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u", 1, 1, CALL_HDBC, KES_WORKER(DriverConnectImpl)};
const CallDescriptor CD_FreeHandleEnv = {"FreeHandle", "handleType=1", 0, 1, CALL_HENV, KES_WORKER(FreeHandleEnvImpl)};
const CallDescriptor CD_FreeHandleDbc = {"FreeHandle", "handleType=2", 0, 1, CALL_HDBC, KES_WORKER(FreeHandleDbcImpl)};
const CallDescriptor CD_FreeHandleStmt = {"FreeHandle", "handleType=3", 0, 1, CALL_HSTMT, KES_WORKER(FreeHandleStmtImpl)};
const CallDescriptor CD_FreeHandleDesc = {"FreeHandle", "handleType=4", 0, 1, CALL_HDESC, KES_WORKER(FreeHandleDescImpl)};
const CallDescriptor CD_SetEnvAttr = {"SetEnvAttr", "Attribute=%ld ValuePtr=%lX StringLength=%ld", 0, 1, CALL_HENV, KES_WORKER(SetEnvAttrImpl)};
const CallDescriptor CD_GetEnvAttr = {"GetEnvAttr", "Attribute=%ld ValuePtr=%lX BufferLength=%ld, StringLengthPtr=%lX", 0, 1, CALL_HENV, KES_WORKER(GetEnvAttrImpl)};
const CallDescriptor CD_AllocHandleEnv = {"AllocHandle", "handleType=1", 0, 0, CALL_NOHANDLE, KES_WORKER(AllocHandleEnvImpl)};
const CallDescriptor CD_AllocHandleDbc = {"AllocHandle", "handleType=2", 0, 1, CALL_HENV, KES_WORKER(AllocHandleDbcImpl)};
const CallDescriptor CD_AllocHandleStmt = {"AllocHandle", "handleType=3", 0, 1, CALL_HDBC, KES_WORKER(AllocHandleStmtImpl), 1};
const CallDescriptor CD_AllocHandleDesc = {"AllocHandle", "handleType=4", 0, 1, CALL_HDBC, KES_WORKER(AllocHandleDescImpl), 1};
const CallDescriptor CD_Disconnect = {"Disconnect", "", 0, 1, CALL_HDBC, KES_WORKER(DisconnectImpl)};
const CallDescriptor CD_Fetch = {"Fetch", "", 1, 1, CALL_HSTMT, KES_WORKER(FetchImpl)};
const CallDescriptor CD_GetData = {"GetData", "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", 1, 1, CALL_HSTMT, KES_WORKER(GetDataImpl)};
const CallDescriptor CD_SetParam = {"SetParam", "ipar=%u fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX pcbValue=%lX", 0, 1, CALL_HSTMT, KES_WORKER(SetParamImpl)};
const CallDescriptor CD_BindParameter = {"BindParameter", "ipar=%u fParamType=%d fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX cbValueMax=%lu pcbValue=%lX", 0, 1, CALL_HSTMT, KES_WORKER(BindParameterImpl)};
const CallDescriptor CD_ParamData = {"ParamData", "prgbValue=%lX", 1, 1, CALL_HSTMT, KES_WORKER(ParamDataImpl)};
const CallDescriptor CD_PutData = {"PutData", "rgbValue=%lX cbValue=%ld", 1, 1, CALL_HSTMT, KES_WORKER(PutDataImpl)};
const CallDescriptor CD_DescribeParam = {"DescribeParam", "ipar=%u pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1, 1, CALL_HSTMT, KES_WORKER(DescribeParamImpl)};
const CallDescriptor CD_GetDescField = {"GetDescField", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 1, CALL_HDESC, KES_WORKER(GetDescFieldImpl)};
const CallDescriptor CD_GetDescFieldW = {"GetDescFieldW", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 1, CALL_HDESC, KES_WORKER(GetDescFieldImpl)};
const CallDescriptor CD_SetDescField = {"SetDescField", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", 0, 1, CALL_HDESC, KES_WORKER(SetDescFieldImpl)};
const CallDescriptor CD_SetDescFieldW = {"SetDescFieldW", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", 0, 1, CALL_HDESC, KES_WORKER(SetDescFieldImpl)};
const CallDescriptor CD_SetStmtOption = {"SetStmtOption", "fOption=%u vParam=%08lX", 0, 1, CALL_HSTMT, KES_WORKER(SetStmtOptionImpl)};
const CallDescriptor CD_GetStmtOption = {"GetStmtOption", "fOption=%u pvParam=%08lX", 0, 1, CALL_HSTMT, KES_WORKER(GetStmtOptionImpl)};
const CallDescriptor CD_GetStmtAttr = {"GetStmtAttr", "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX", 0, 1, CALL_HSTMT, KES_WORKER(GetStmtAttrImpl)};
const CallDescriptor CD_GetStmtAttrW = {"GetStmtAttrW", "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX", 0, 1, CALL_HSTMT, KES_WORKER(GetStmtAttrImpl)};
const CallDescriptor CD_SetStmtAttr = {"SetStmtAttr", "Attribute=%ld ValuePtr=%08lX StringLength=%ld", 0, 1, CALL_HSTMT, KES_WORKER(SetStmtAttrImpl)};
const CallDescriptor CD_SetStmtAttrW = {"SetStmtAttrW", "Attribute=%ld ValuePtr=%08lX StringLength=%ld", 0, 1, CALL_HSTMT, KES_WORKER(SetStmtAttrImpl)};
const CallDescriptor CD_BindCol = {"BindCol", "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", 0, 1, CALL_HSTMT, KES_WORKER(BindColImpl)};
const CallDescriptor CD_ErrorEnv = {"Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 1, 0, CALL_HENV, KES_WORKER(ErrorEnvImpl)};
const CallDescriptor CD_ErrorDbc = {"Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 1, 0, CALL_HDBC, KES_WORKER(ErrorDbcImpl)};
const CallDescriptor CD_ErrorStmt = {"Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 1, 0, CALL_HSTMT, KES_WORKER(ErrorStmtImpl)};
const CallDescriptor CD_ErrorEnvW = {"ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 1, 0, CALL_HENV, KES_WORKER(ErrorEnvImpl)};
const CallDescriptor CD_ErrorDbcW = {"ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 1, 0, CALL_HDBC, KES_WORKER(ErrorDbcImpl)};
const CallDescriptor CD_ErrorStmtW = {"ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 1, 0, CALL_HSTMT, KES_WORKER(ErrorStmtImpl)};
const CallDescriptor CD_FetchScroll = {"FetchScroll", "fOrient=%d, fOffset=%ld", 1, 1, CALL_HSTMT, KES_WORKER(FetchScrollImpl)};
const CallDescriptor CD_SetPos = {"SetPos", "irow=%u fOption=%u fLock=%u", 1, 1, CALL_HSTMT, KES_WORKER(SetPosImpl)};
const CallDescriptor CD_BulkOperations = {"BulkOperations", "op=%u", 1, 1, CALL_HSTMT, KES_WORKER(BulkOperationsImpl)};
const CallDescriptor CD_Execute = {"Execute", "", 1, 1, CALL_HSTMT, KES_WORKER(ExecuteImpl)};
const CallDescriptor CD_GetTypeInfo = {"GetTypeInfo", "fSqlType=%d", 1, 1, CALL_HSTMT, KES_WORKER(GetTypeInfoImpl)};
const CallDescriptor CD_GetTypeInfoW = {"GetTypeInfoW", "fSqlType=%d", 1, 1, CALL_HSTMT, KES_WORKER(GetTypeInfoImpl)};
const CallDescriptor CD_ExtendedFetch = {"ExtendedFetch", "fFetchType=%u irow=%ld pcrow=%lX rgfRowStatus=%lX", 1, 1, CALL_HSTMT, KES_WORKER(ExtendedFetchImpl)};
const CallDescriptor CD_AllocConnect = {"AllocConnect", "phdbc=%08lX", 0, 1, CALL_HENV, KES_WORKER(AllocConnectImpl)};
const CallDescriptor CD_AllocEnv = {"AllocEnv", "phenv=%lX", 0, 1, CALL_NOHANDLE, KES_WORKER(AllocEnvImpl)};
const CallDescriptor CD_AllocStmt = {"AllocStmt", "phstmt=%lX", 0, 1, CALL_HDBC, KES_WORKER(AllocStmtImpl), 1};
const CallDescriptor CD_CloseCursor = {"CloseCursor", "", 0, 1, CALL_HSTMT, KES_WORKER(CloseCursorImpl)};
const CallDescriptor CD_ColAttributes = {"ColAttributes", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, 1, CALL_HSTMT, KES_WORKER(ColAttributesImpl)};
const CallDescriptor CD_ColAttributesW = {"ColAttributesW", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, 1, CALL_HSTMT, KES_WORKER(ColAttributesImpl)};
const CallDescriptor CD_ColAttribute = {"ColAttribute", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, 1, CALL_HSTMT, KES_WORKER(ColAttributeImpl)};
const CallDescriptor CD_ColAttributeW = {"ColAttributeW", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, 1, CALL_HSTMT, KES_WORKER(ColAttributeImpl)};
const CallDescriptor CD_ColumnPrivileges = {"ColumnPrivileges", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ColumnPrivilegesImpl)};
const CallDescriptor CD_ColumnPrivilegesW = {"ColumnPrivilegesW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ColumnPrivilegesImpl)};
const CallDescriptor CD_Columns = {"Columns", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ColumnsImpl)};
const CallDescriptor CD_ColumnsW = {"ColumnsW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ColumnsImpl)};
const CallDescriptor CD_Connect = {"Connect", "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", 1, 1, CALL_HDBC, KES_WORKER(ConnectImpl)};
const CallDescriptor CD_ConnectW = {"ConnectW", "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", 1, 1, CALL_HDBC, KES_WORKER(ConnectImpl)};
const CallDescriptor CD_CopyDesc = {"CopyDesc", "TargetDescHandle=%lX", 0, 1, CALL_HDESC, KES_WORKER(CopyDescImpl)};
const CallDescriptor CD_DescribeCol = {"DescribeCol", "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1, 1, CALL_HSTMT, KES_WORKER(DescribeColImpl)};
const CallDescriptor CD_DescribeColW = {"DescribeColW", "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1, 1, CALL_HSTMT, KES_WORKER(DescribeColImpl)};
const CallDescriptor CD_TransactEnv = {"Transact", "fType=%u", 0, 1, CALL_HENV, KES_WORKER(TransactEnvImpl)};
const CallDescriptor CD_TransactDbc = {"Transact", "fType=%u", 0, 1, CALL_HDBC, KES_WORKER(TransactDbcImpl)};
const CallDescriptor CD_ExecDirect = {"ExecDirect", "szSqlStr=%lX cbSqlStr=%ld", 1, 1, CALL_HSTMT, KES_WORKER(ExecDirectImpl)};
const CallDescriptor CD_ExecDirectW = {"ExecDirectW", "szSqlStr=%lX cbSqlStr=%ld", 1, 1, CALL_HSTMT, KES_WORKER(ExecDirectImpl)};
const CallDescriptor CD_ForeignKeys = {"ForeignKeys", "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ForeignKeysImpl)};
const CallDescriptor CD_ForeignKeysW = {"ForeignKeysW", "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ForeignKeysImpl)};
const CallDescriptor CD_FreeConnect = {"FreeConnect", "", 0, 1, CALL_HDBC, KES_WORKER(FreeConnectImpl)};
const CallDescriptor CD_FreeEnv = {"FreeEnv", "", 0, 1, CALL_HENV, KES_WORKER(FreeEnvImpl)};
const CallDescriptor CD_FreeStmt = {"FreeStmt", "fOption=%u", 0, 1, CALL_HSTMT, KES_WORKER(FreeStmtImpl)};
const CallDescriptor CD_SetConnectOption = {"SetConnectOption", "fOption=%u vParam=%lu", 0, 1, CALL_HDBC, KES_WORKER(SetConnectOptionImpl)};
const CallDescriptor CD_SetConnectOptionW = {"SetConnectOptionW", "fOption=%u vParam=%lu", 0, 1, CALL_HDBC, KES_WORKER(SetConnectOptionImpl)};
const CallDescriptor CD_GetConnectOption = {"GetConnectOption", "fOption=%u pvParam=%lX", 0, 1, CALL_HDBC, KES_WORKER(GetConnectOptionImpl)};
const CallDescriptor CD_GetConnectOptionW = {"GetConnectOptionW", "fOption=%u pvParam=%lX", 0, 1, CALL_HDBC, KES_WORKER(GetConnectOptionImpl)};
const CallDescriptor CD_SetConnectAttr = {"SetConnectAttr", "Attribute=%u ValuePtr=%lX StringLength=%d", 0, 1, CALL_HDBC, KES_WORKER(SetConnectAttrImpl)};
const CallDescriptor CD_SetConnectAttrW = {"SetConnectAttrW", "Attribute=%u ValuePtr=%lX StringLength=%d", 0, 1, CALL_HDBC, KES_WORKER(SetConnectAttrImpl)};
const CallDescriptor CD_GetConnectAttr = {"GetConnectAttr", "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 1, CALL_HDBC, KES_WORKER(GetConnectAttrImpl)};
const CallDescriptor CD_GetConnectAttrW = {"GetConnectAttrW", "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 1, CALL_HDBC, KES_WORKER(GetConnectAttrImpl)};
const CallDescriptor CD_GetCursorName = {"GetCursorName", "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", 0, 1, CALL_HSTMT, KES_WORKER(GetCursorNameImpl)};
const CallDescriptor CD_GetCursorNameW = {"GetCursorNameW", "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", 0, 1, CALL_HSTMT, KES_WORKER(GetCursorNameImpl)};
const CallDescriptor CD_SetDescRec = {"SetDescRec", "RecNumber=%d\nType=%d SubType=%d Length=%d Precision=%d Scale=%d\nDataPtr=%lX StringLengthPtr=%lX IndicatorPtr=%lX", 0, 1, CALL_HDESC, KES_WORKER(SetDescRecImpl)};
const CallDescriptor CD_GetDescRec = {"GetDescRec", "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX", 0, 1, CALL_HDESC, KES_WORKER(GetDescRecImpl)};
const CallDescriptor CD_GetDescRecW = {"GetDescRecW", "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX", 0, 1, CALL_HDESC, KES_WORKER(GetDescRecImpl)};
const CallDescriptor CD_GetDiagFieldEnv = {"GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 0, CALL_HENV, KES_WORKER(GetDiagFieldEnvImpl)};
const CallDescriptor CD_GetDiagFieldEnvW = {"GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 0, CALL_HENV, KES_WORKER(GetDiagFieldEnvImpl)};
const CallDescriptor CD_GetDiagRecEnv = {"GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, 0, CALL_HENV, KES_WORKER(GetDiagRecEnvImpl)};
const CallDescriptor CD_GetDiagRecEnvW = {"GetDiagRecW", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, 0, CALL_HENV, KES_WORKER(GetDiagRecEnvImpl)};
const CallDescriptor CD_GetDiagFieldDbc = {"GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 0, CALL_HDBC, KES_WORKER(GetDiagFieldDbcImpl)};
const CallDescriptor CD_GetDiagFieldDbcW = {"GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 0, CALL_HDBC, KES_WORKER(GetDiagFieldDbcImpl)};
const CallDescriptor CD_GetDiagRecDbc = {"GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, 0, CALL_HDBC, KES_WORKER(GetDiagRecDbcImpl)};
const CallDescriptor CD_GetDiagRecDbcW = {"GetDiagRecW", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, 0, CALL_HDBC, KES_WORKER(GetDiagRecDbcImpl)};
const CallDescriptor CD_GetDiagFieldStmt = {"GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 0, CALL_HSTMT, KES_WORKER(GetDiagFieldStmtImpl)};
const CallDescriptor CD_GetDiagFieldStmtW = {"GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 0, CALL_HSTMT, KES_WORKER(GetDiagFieldStmtImpl)};
const CallDescriptor CD_GetDiagRecStmt = {"GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, 0, CALL_HSTMT, KES_WORKER(GetDiagRecStmtImpl)};
const CallDescriptor CD_GetDiagRecStmtW = {"GetDiagRecW", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, 0, CALL_HSTMT, KES_WORKER(GetDiagRecStmtImpl)};
const CallDescriptor CD_GetDiagFieldDesc = {"GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 0, CALL_HDESC, KES_WORKER(GetDiagFieldDescImpl)};
const CallDescriptor CD_GetDiagFieldDescW = {"GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, 0, CALL_HDESC, KES_WORKER(GetDiagFieldDescImpl)};
const CallDescriptor CD_GetDiagRecDesc = {"GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, 0, CALL_HDESC, KES_WORKER(GetDiagRecDescImpl)};
const CallDescriptor CD_GetDiagRecDescW = {"GetDiagRecW", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, 0, CALL_HDESC, KES_WORKER(GetDiagRecDescImpl)};
const CallDescriptor CD_GetFunctions = {"GetFunctions", "fFunction=%u pfExists=%lX", 0, 1, CALL_HDBC, KES_WORKER(GetFunctionsImpl)};
const CallDescriptor CD_GetInfo = {"GetInfo", "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX", 0, 1, CALL_HDBC, KES_WORKER(GetInfoImpl)};
const CallDescriptor CD_GetInfoW = {"GetInfoW", "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX", 0, 1, CALL_HDBC, KES_WORKER(GetInfoImpl)};
const CallDescriptor CD_MoreResults = {"MoreResults", "", 1, 1, CALL_HSTMT, KES_WORKER(MoreResultsImpl)};
const CallDescriptor CD_NativeSql = {"NativeSql", "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", 0, 1, CALL_HDBC, KES_WORKER(NativeSqlImpl)};
const CallDescriptor CD_NativeSqlW = {"NativeSqlW", "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", 0, 1, CALL_HDBC, KES_WORKER(NativeSqlImpl)};
const CallDescriptor CD_NumParams = {"NumParams", "pcpar=%lX", 1, 1, CALL_HSTMT, KES_WORKER(NumParamsImpl)};
const CallDescriptor CD_NumResultCols = {"NumResultCols", "pccol=%lX", 1, 1, CALL_HSTMT, KES_WORKER(NumResultColsImpl)};
const CallDescriptor CD_ParamOptions = {"ParamOptions", "crow=%lu pirow=%lX", 0, 1, CALL_HSTMT, KES_WORKER(ParamOptionsImpl)};
const CallDescriptor CD_Prepare = {"Prepare", "szSqlStr=%lX cbSqlStr=%ld", 1, 1, CALL_HSTMT, KES_WORKER(PrepareImpl)};
const CallDescriptor CD_PrepareW = {"PrepareW", "szSqlStr=%lX cbSqlStr=%ld", 1, 1, CALL_HSTMT, KES_WORKER(PrepareImpl)};
const CallDescriptor CD_PrimaryKeys = {"PrimaryKeys", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1, 1, CALL_HSTMT, KES_WORKER(PrimaryKeysImpl)};
const CallDescriptor CD_PrimaryKeysW = {"PrimaryKeysW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1, 1, CALL_HSTMT, KES_WORKER(PrimaryKeysImpl)};
const CallDescriptor CD_ProcedureColumns = {"ProcedureColumns", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d szColumnName=%lX cbColumnName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ProcedureColumnsImpl)};
const CallDescriptor CD_ProcedureColumnsW = {"ProcedureColumnsW", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d szColumnName=%lX cbColumnName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ProcedureColumnsImpl)};
const CallDescriptor CD_Procedures = {"Procedures", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ProceduresImpl)};
const CallDescriptor CD_ProceduresW = {"ProceduresW", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d", 1, 1, CALL_HSTMT, KES_WORKER(ProceduresImpl)};
const CallDescriptor CD_RowCount = {"RowCount", "pcrow=%lX", 0, 1, CALL_HSTMT, KES_WORKER(RowCountImpl)};
const CallDescriptor CD_SetCursorName = {"SetCursorName", "szCursor=%lX cbCursor=%d", 0, 1, CALL_HSTMT, KES_WORKER(SetCursorNameImpl)};
const CallDescriptor CD_SetCursorNameW = {"SetCursorNameW", "szCursor=%lX cbCursor=%d", 0, 1, CALL_HSTMT, KES_WORKER(SetCursorNameImpl)};
const CallDescriptor CD_SpecialColumns = {"SpecialColumns", "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fScope=%u fNullable==%u", 1, 1, CALL_HSTMT, KES_WORKER(SpecialColumnsImpl)};
const CallDescriptor CD_SpecialColumnsW = {"SpecialColumnsW", "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fScope=%u fNullable==%u", 1, 1, CALL_HSTMT, KES_WORKER(SpecialColumnsImpl)};
const CallDescriptor CD_Statistics = {"Statistics", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fUnique=%u fAccuracy=%u", 1, 1, CALL_HSTMT, KES_WORKER(StatisticsImpl)};
const CallDescriptor CD_StatisticsW = {"StatisticsW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fUnique=%u fAccuracy=%u", 1, 1, CALL_HSTMT, KES_WORKER(StatisticsImpl)};
const CallDescriptor CD_TablePrivileges = {"TablePrivileges", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1, 1, CALL_HSTMT, KES_WORKER(TablePrivilegesImpl)};
const CallDescriptor CD_TablePrivilegesW = {"TablePrivilegesW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1, 1, CALL_HSTMT, KES_WORKER(TablePrivilegesImpl)};
const CallDescriptor CD_Tables = {"Tables", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d", 1, 1, CALL_HSTMT, KES_WORKER(TablesImpl)};
const CallDescriptor CD_TablesW = {"TablesW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d", 1, 1, CALL_HSTMT, KES_WORKER(TablesImpl)};
// clang-format on
