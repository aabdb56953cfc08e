// api_desc.cpp -- entry points of the descriptors.

#include "odbc/apicall.h"

KES_EXPORT_BEGIN
extern "C" {

SQLRETURN SQL_API SQLGetDescField(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT field,
                                  SQLPOINTER value, SQLINTEGER bufLen, SQLINTEGER* len) {
  return CallWith(CD_GetDescField, desc, rec, field, value, bufLen, len, MARK_A);
}
SQLRETURN SQL_API SQLGetDescFieldW(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT field,
                                   SQLPOINTER value, SQLINTEGER bufLen, SQLINTEGER* len) {
  return CallWith(CD_GetDescFieldW, desc, rec, field, value, bufLen, len, MARK_W);
}
SQLRETURN SQL_API SQLSetDescField(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT field,
                                  SQLPOINTER value, SQLINTEGER len) {
  return CallWith(CD_SetDescField, desc, rec, field, value, len, MARK_A);
}
SQLRETURN SQL_API SQLSetDescFieldW(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT field,
                                   SQLPOINTER value, SQLINTEGER len) {
  return CallWith(CD_SetDescFieldW, desc, rec, field, value, len, MARK_W);
}
SQLRETURN SQL_API SQLGetDescRec(SQLHDESC desc, SQLSMALLINT rec, SQLCHAR* name, SQLSMALLINT bufLen,
                                SQLSMALLINT* len, SQLSMALLINT* type, SQLSMALLINT* subType,
                                SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                                SQLSMALLINT* nullable) {
  return CallWith(CD_GetDescRec, desc, rec, name, bufLen, len, type, subType, length, precision,
                  scale, nullable, MARK_A);
}
SQLRETURN SQL_API SQLGetDescRecW(SQLHDESC desc, SQLSMALLINT rec, SQLWCHAR* name, SQLSMALLINT bufLen,
                                 SQLSMALLINT* len, SQLSMALLINT* type, SQLSMALLINT* subType,
                                 SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                                 SQLSMALLINT* nullable) {
  return CallWith(CD_GetDescRecW, desc, rec, name, bufLen, len, type, subType, length, precision,
                  scale, nullable, MARK_W);
}
SQLRETURN SQL_API SQLSetDescRec(SQLHDESC desc, SQLSMALLINT rec, SQLSMALLINT type,
                                SQLSMALLINT subType, SQLLEN length, SQLSMALLINT precision,
                                SQLSMALLINT scale, SQLPOINTER data, SQLLEN* stringLength,
                                SQLLEN* indicator) {
  return CallWith(CD_SetDescRec, desc, rec, type, subType, length, precision, scale, data,
                  stringLength, indicator);
}
SQLRETURN SQL_API SQLCopyDesc(SQLHDESC source, SQLHDESC target) {
  return CallWith(CD_CopyDesc, source, target);
}

}  // extern "C"
KES_EXPORT_END
