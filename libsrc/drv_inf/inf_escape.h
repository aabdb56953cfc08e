#pragma once
// inf_escape.h -- request analysis: ODBC escape translation into Informix SQL,
// statement separators and control characters, '?' counting and the statement's
// kind, plus the procedure-name reader of CALL escapes.
// Pure text work: nothing here touches a session or a handle table.

#include <cstdint>
#include <string>
#include <string_view>

// The analysis of one statement, kept in every agent cursor. The two texts come
// first so that the generic layer's request-text record can free them.
struct InfRequest {
  char* text = nullptr;        // as received, from its first non-blank; malloc'd
  char* translated = nullptr;  // after escape translation; malloc'd
  uint16_t columns = 0;        // select-list items of a SELECT, else 0
  uint16_t markers = 0;        // '?' outside quoted strings, escapes included
  int16_t kind = 0;            // REQ_SELECT, REQ_DML or REQ_OTHER
  uint16_t flags = 0;          // REQF_*
};

inline constexpr int16_t REQ_SELECT = 1;
inline constexpr int16_t REQ_DML = 2;  // INSERT, DELETE or UPDATE
inline constexpr int16_t REQ_OTHER = 3;

inline constexpr uint16_t REQF_STAR = 0x1;         // '*' in the select list
inline constexpr uint16_t REQF_MARKERS = 0x2;      // the text has a '?'
inline constexpr uint16_t REQF_CALL = 0x4;         // a CALL escape was translated
inline constexpr uint16_t REQF_RETURN = 0x8;       // the CALL's first marker takes its return value
inline constexpr uint16_t REQF_FOR_UPDATE = 0x10;  // a SELECT ... FOR UPDATE

// Escape flags answered by TranslateEscape.
inline constexpr int ESC_OUTER_JOIN = 1;  // a following WHERE becomes AND
inline constexpr int ESC_AGAIN = 2;       // the escape was rewritten; translate it again

// Fills every field of the request from text. 0, ERR_SYNTAX (a SELECT without a
// FROM between blanks, or escapes nested beyond the limit) or ERR_MEMORY.
// The request's old texts are not freed: the caller empties it first.
[[nodiscard]] int AnalyseRequest(InfRequest* req, const char* text) noexcept;

// Frees the two texts and clears them; the counts stay.
void InfRequestFree(InfRequest* req) noexcept;

// Appends the translation of text to out; counts markers into req (may be NULL).
// *escFlags receives the flags of the last escape translated. 0 or ERR_SYNTAX.
// May throw std::bad_alloc; AnalyseRequest is the edge that catches it.
[[nodiscard]] int TranslateEscapes(std::string& out, std::string_view text, InfRequest* req,
                                   int* escFlags);

// Translates the text of one escape (without its delimiters) into out. When it
// rewrites the escape for another round it replaces `escape` and sets ESC_AGAIN.
// countMarkers is false on such further rounds, so that no '?' is counted twice.
[[nodiscard]] int TranslateEscape(std::string& out, std::string& escape, bool firstPass,
                                  int* escFlags, InfRequest* req, bool countMarkers);

struct EscapeFunction {
  const char* name;
  const char* templ;  // nullptr: known, but no translation
};

// The template of a scalar function or CONVERT type, found without regard to case;
// nullptr when the name is absent or has no template.
const char* FindEscapeFunction(const EscapeFunction* table, int count, std::string_view name);

extern const EscapeFunction INF_ScalarFunctions[];
extern const int INF_ScalarFunctionCount;
extern const EscapeFunction INF_ConvertTypes[];
extern const int INF_ConvertTypeCount;

// The procedure named by a CALL escape, split into its parts; each malloc'd or NULL.
struct InfProcName {
  char* catalog = nullptr;
  char* schema = nullptr;
  char* name = nullptr;
};

// Reads "{call db.owner.proc(...)}" and the like. Stores nothing unless CALL
// follows the leading '{', '?', '=' and blanks. 0 or ERR_MEMORY.
[[nodiscard]] int ReadProcedureName(const char* text, InfProcName* out) noexcept;
void InfProcNameFree(InfProcName* p) noexcept;
