#pragma once
// inf_blob.h -- the rewrite of BYTE and TEXT literals into hidden parameters
// (the server refuses a quoted literal for such a column) and the decoding of a
// BYTE literal's hexadecimal text.

#include <cstdint>

#include "drv_inf/inf_types.h"

// The bytes of a hexadecimal text ("0x4142", "414"): two digits a byte, an odd
// last digit as a high nibble. *out is malloc'd. 0, ERR_HEX_LITERAL or ERR_MEMORY.
[[nodiscard]] int32_t HexLiteralDecode(const char* text, uint8_t** out, uint32_t* len) noexcept;
// 0-15 for a hexadecimal digit, 16 for anything else.
int InfHexDigitValue(char c) noexcept;

// The literals of an UPDATE ... SET assigned to the named BYTE/TEXT columns.
// *rewritten (malloc'd) has a '?' for each; *list (malloc'd) holds them in order.
[[nodiscard]] int32_t ExtractUpdateBlobLiterals(const char* text, const char* table, int count,
                                                const int16_t* types, char* const* names,
                                                char** rewritten, InfHiddenParam** list,
                                                int32_t* listCount) noexcept;
// The same for an INSERT ... VALUES; positions are the columns' places in the table.
[[nodiscard]] int32_t ExtractInsertBlobLiterals(const char* text, const char* table, int count,
                                                const int32_t* positions, const int16_t* types,
                                                char* const* names, char** rewritten,
                                                InfHiddenParam** list, int32_t* listCount) noexcept;
// The first single-quoted literal (a double-quoted one only when the text holds no
// single quote); a doubled quote inside is part of it. The opening quote, with
// *closing at its closing quote, or null when there is none or it is not closed.
const char* NextQuotedLiteral(const char* text, const char** closing) noexcept;
void HiddenParamsUndouble(InfHiddenParam* list, int32_t count) noexcept;
// 1 with *index when name equals one of names, ignoring case; else 0.
int NameIndexLookup(const char* name, char* const* names, int count, int* index) noexcept;
