/* scr_gram.y -- the SQL grammar of the statement analysis: SELECT, INSERT,
 * UPDATE and DELETE in this system's dialect (qualified names with database
 * and server, ODBC escapes, TOP, CASE, old-style outer-join comparisons), and
 * any other statement as one opaque word.
 * Every rule builds parse-tree nodes whose templates regenerate the text; the
 * root's type is the statement kind. Templates are written with %n for the
 * text of child n and turned into the expander's markers at compile time.
 * Threading: a pure parser; all state is the parse's ScanCtx.
 * Not here: error recovery (a statement outside the grammar fails whole).
 */

%require "3.8"
%define api.pure full
%define api.prefix {scsql_}
%parse-param {ScanCtx* ctx}
%lex-param {ScanCtx* ctx}

%code requires {
#include "scrs/scr_parse.h"
}

%union {
  ParseNode* node;
  const char* tok;
}

%code {
#include <cstddef>
#include <cstring>
#include <initializer_list>

int ScanNext(ScanCtx* ctx, SCSQL_STYPE* value) noexcept;

namespace {

int scsql_lex(SCSQL_STYPE* value, ScanCtx* ctx) { return ScanNext(ctx, value); }

/* A template in the %n notation, as marker bytes. */
template <size_t N>
struct Tpl {
  char s[3 * N] = {};
};
template <size_t N>
consteval Tpl<N> T(const char (&in)[N]) {
  Tpl<N> out;
  size_t j = 0;
  for (size_t i = 0; i + 1 < N; ++i) {
    if (in[i] == '%' && in[i + 1] >= '1' && in[i + 1] <= '9') {
      out.s[j++] = '\xFF';
      out.s[j++] = '\x01';
      out.s[j++] = static_cast<char>(in[i + 1] - '0');
      ++i;
    } else {
      out.s[j++] = in[i];
    }
  }
  return out;
}

/* Builders that take missing children: when any child or the node itself
 * cannot be made, the others are freed and the answer is null, which the
 * action turns into "memory exhausted". */
ParseNode* node(int32_t type, const char* templ, std::initializer_list<ParseNode*> kids) {
  bool ok = true;
  for (ParseNode* k : kids) ok = ok && k != nullptr;
  ParseNode* n = ok ? ParseNodeNewArray(type, templ, static_cast<int32_t>(kids.size()), kids.begin())
                    : nullptr;
  if (n == nullptr) {
    for (ParseNode* k : kids) {
      ParseNode* dead = k;
      if (dead != nullptr) dead->nextSibling = nullptr;
      ParseTreeFree(&dead, ParseNodeFreeStrings);
    }
  }
  return n;
}

ParseNode* leaf(int32_t type, const char* text) { return ParseLeafNew(type, text); }

/* An expression that is nothing but a subquery gives the subquery itself,
 * its single-child wrappers freed; any other expression is kept. */
ParseNode* unwrapSubquery(ParseNode* e) {
  static constexpr int32_t kChain[] = {PN_ADD_EXPR, PN_MUL_EXPR, PN_SIGNED, PN_PRIMARY};
  ParseNode* n = e;
  for (int32_t type : kChain) {
    if (n->type != type || n->childCount != 1 || n->templ == nullptr ||
        std::strcmp(n->templ, "\xFF\x01\x01") != 0)
      return e;
    n = n->firstChild;
  }
  if (n->type != PN_SUBQUERY) return e;
  // Cut the subquery out of the chain, then free the wrappers alone.
  ParseNode* primary = e->firstChild->firstChild->firstChild;
  primary->firstChild = nullptr;
  primary->childCount = 0;
  ParseTreeFree(&e, ParseNodeFreeStrings);
  return n;
}

}  // namespace

#define NODE(type, tpl, ...) node((type), T(tpl).s, {__VA_ARGS__})
#define BUILT(value) do { if ((value) == nullptr) YYNOMEM; } while (0)
}

/* The nodes of a failed parse go with the parser's stack. */
%destructor { ParseTreeFree(&$$, ParseNodeFreeStrings); } <node>

%token <tok> TK_IDENT 258 TK_STRING 259 TK_INTNUM 260 TK_DECNUM 261 TK_APPROXNUM 262
%token <tok> TK_COMPARISON 263 TK_SETFUNC 264 TK_LIKE_ESCAPE 265 TK_DATE_LIT 266
%token <tok> TK_TIME_LIT 267 TK_TIMESTAMP_LIT 268 TK_HEXNUM 269 TK_OJ_COMPARISON 270
%token TK_CONCAT 271
%token TK_OR 272 TK_AND 273 TK_NOT 274 TK_UNARY 275
%token TK_ALL 276 TK_ANY 277 TK_AS 278 TK_ASC 279 TK_BETWEEN 280 TK_BY 281 TK_CURRENT 282
%token TK_DELETE 283 TK_DESC 284 TK_DISTINCT 285 TK_EXISTS 286 TK_FN 287 TK_FROM 288
%token TK_FULL 289 TK_GROUP 290 TK_HAVING 291 TK_IN 292 TK_INNER 293 TK_IS 294
%token TK_INSERT 295 TK_INTO 296 TK_JOIN 297 TK_LEFT 298 TK_LIKE 299 TK_NULL 300 TK_OF 301
%token TK_OJ 302 TK_ON 303 TK_OUTER 304 TK_ORDER 305 TK_OTHER_STMT 306 TK_PARAM 307
%token TK_PERCENT 308 TK_RIGHT 309 TK_SELECT 310 TK_SET 311 TK_UNION 312 TK_UPDATE 313
%token TK_USER 314 TK_VALUES 315 TK_WHERE 316 TK_WITH 317 TK_TIES 318 TK_TOP 319
%token TK_CASE 320 TK_ELSE 321 TK_END 322 TK_THEN 323 TK_WHEN 324
%token TK_VENDOR_OPEN 325 TK_VENDOR_CLOSE 326 TK_ESC_OPEN 327 TK_ESC_CLOSE 328
%token TK_ESCAPE_STMT 329 TK_UNIQUE 330

/* Search conditions: OR binds loosest, then AND, then NOT; OR and AND
 * associate to the left. */
%left TK_OR
%left TK_AND
%precedence TK_NOT

%type <node> input analysed_stmt other_stmt escape_stmt delete_current_stmt delete_stmt
%type <node> insert_stmt insert_source select_stmt query_spec set_quantifier percent_opt
%type <node> ties_opt top_clause update_current_stmt assignment_list assignment update_stmt
%type <node> where_opt select_list table_expr table_list table_item table_ref joined_table
%type <node> join join_kind inner_kw join_type outer_opt where_clause group_by_opt
%type <node> column_list having_opt order_by_opt union_opt insert_columns_opt union_clause
%type <node> order_by_clause sort_list sort_item ordering_opt search_cond predicate
%type <node> oj_predicate comparison between_pred like_pred like_escape_opt like_escape
%type <node> null_pred in_pred value_list quantified_pred any_all exists_pred subquery expr
%type <node> term factor primary as_opt select_item insert_value like_pattern set_function
%type <node> literal table_name column_ref table_ident column_ident column_alias cursor_name
%type <node> param table_alias uint comp_op oj_comp_op setfunc_name bit_literal
%type <node> datetime_escape date_escape time_escape timestamp_escape date_lit time_lit
%type <node> timestamp_lit oj_escape scalar_escape function_call function_name
%type <node> function_args esc_open esc_close vendor_open vendor_close simple_case
%type <node> simple_case_items simple_case_item searched_case case_items case_item

/* The grammar is ambiguous in places. The four shift/reduce conflicts that
 * remain after the precedences are resolved by shifting, which is the reading
 * wanted:
 * - three on ORDER: an ORDER BY after a derived table's query, a UNION's
 *   query or an INSERT's query belongs to that innermost query rather than
 *   to the statement around it;
 * - one on ',' after a derived table's ORDER BY list: the comma continues
 *   the sort list rather than the FROM list.
 * A subquery right after a comparison operator is the comparison's operand
 * itself, not an expression around it; the comparison's action unwraps it,
 * so that no reduce/reduce conflict is left. A deterministic parser takes no
 * %expect-rr: with %expect given, any reduce/reduce conflict fails the build.
 * The count is pinned so that a change of the grammar that adds or loses a
 * conflict is seen at build time. */
%expect 4

%%

input
  : analysed_stmt              { ScanResetState(ctx); ctx->root = $1; $$ = nullptr; }
  | other_stmt                 { ctx->root = $1; $$ = nullptr; }
  | escape_stmt                { ctx->root = $1; $$ = nullptr; }
  ;

analysed_stmt
  : select_stmt
  | delete_current_stmt
  | delete_stmt
  | insert_stmt
  | update_current_stmt
  | update_stmt
  ;

other_stmt : TK_OTHER_STMT     { $$ = leaf(PN_OTHER_STMT, ""); BUILT($$); } ;
escape_stmt : TK_ESCAPE_STMT   { $$ = leaf(PN_ESCAPE_STMT, ""); BUILT($$); } ;

delete_current_stmt
  : TK_DELETE TK_FROM table_name TK_WHERE TK_CURRENT TK_OF cursor_name
      { $$ = NODE(PN_DELETE_CURRENT, "DELETE FROM %1 WHERE CURRENT OF %2", $3, $7); BUILT($$); }
  ;

delete_stmt
  : TK_DELETE TK_FROM table_name where_opt
      { $$ = NODE(PN_DELETE, "DELETE FROM %1 %2", $3, $4); BUILT($$); }
  ;

insert_stmt
  : TK_INSERT TK_INTO table_name insert_columns_opt insert_source
      { $$ = NODE(PN_INSERT, "INSERT INTO %1 %2 %3", $3, $4, $5); BUILT($$); }
  ;

insert_source
  : TK_VALUES '(' value_list ')'   { $$ = NODE(PN_INSERT_SOURCE, "VALUES ( %1 )", $3); BUILT($$); }
  | query_spec                     { $$ = NODE(PN_INSERT_SOURCE, "%1", $1); BUILT($$); }
  ;

select_stmt
  : query_spec order_by_opt        { $$ = NODE(PN_SELECT, "%1 %2", $1, $2); BUILT($$); }
  ;

query_spec
  : TK_SELECT top_clause select_list table_expr
      { $$ = NODE(PN_QUERY_SPEC, "SELECT %1 %2 %3", $2, $3, $4); BUILT($$); }
  ;

set_quantifier
  : %empty                         { $$ = leaf(PN_SET_QUANTIFIER, ""); BUILT($$); }
  | TK_ALL                         { $$ = leaf(PN_SET_QUANTIFIER, "ALL"); BUILT($$); }
  | TK_DISTINCT                    { $$ = leaf(PN_SET_QUANTIFIER, "DISTINCT"); BUILT($$); }
  | TK_UNIQUE                      { $$ = leaf(PN_SET_QUANTIFIER, "UNIQUE"); BUILT($$); }
  ;

percent_opt
  : %empty                         { $$ = leaf(PN_TOP, ""); BUILT($$); }
  | TK_PERCENT                     { $$ = leaf(PN_TOP, "PERCENT"); BUILT($$); }
  ;

ties_opt
  : %empty                         { $$ = leaf(PN_TOP, ""); BUILT($$); }
  | TK_WITH TK_TIES                { $$ = leaf(PN_TOP, "WITH TIES"); BUILT($$); }
  ;

top_clause
  : set_quantifier                 { $$ = NODE(PN_TOP, "%1", $1); BUILT($$); }
  | set_quantifier TK_TOP uint percent_opt ties_opt
      { $$ = NODE(PN_TOP, "%1 TOP %2 %3 %4", $1, $3, $4, $5); BUILT($$); }
  | set_quantifier TK_TOP uint ',' uint percent_opt ties_opt
      { $$ = NODE(PN_TOP, "%1 TOP %2,%3 %4 %5", $1, $3, $5, $6, $7); BUILT($$); }
  | set_quantifier TK_TOP '(' expr ')' percent_opt ties_opt
      { $$ = NODE(PN_TOP, "%1 TOP (%2) %3 %4", $1, $4, $6, $7); BUILT($$); }
  | set_quantifier TK_TOP '(' expr ',' expr ')' percent_opt ties_opt
      { $$ = NODE(PN_TOP, "%1 TOP (%2, %3) %4 %5", $1, $4, $6, $8, $9); BUILT($$); }
  ;

update_current_stmt
  : TK_UPDATE table_name TK_SET assignment_list TK_WHERE TK_CURRENT TK_OF cursor_name
      { $$ = NODE(PN_UPDATE_CURRENT, "UPDATE %1 SET %2 WHERE CURRENT OF %3", $2, $4, $8); BUILT($$); }
  ;

assignment_list
  : assignment                     { $$ = NODE(PN_ASSIGN_LIST, "%1", $1); BUILT($$); }
  | assignment_list ',' assignment { $$ = NODE(PN_ASSIGN_LIST, "%1, %2", $1, $3); BUILT($$); }
  ;

assignment
  : column_ident TK_COMPARISON expr    { $$ = NODE(PN_ASSIGN, "%1 = %2", $1, $3); BUILT($$); }
  | column_ident TK_COMPARISON TK_NULL { $$ = NODE(PN_ASSIGN, "%1 = NULL", $1); BUILT($$); }
  ;

update_stmt
  : TK_UPDATE table_name TK_FROM table_list TK_SET assignment_list where_opt
      { $$ = NODE(PN_UPDATE, "UPDATE %1 FROM %2 SET %3 %4", $2, $4, $6, $7); BUILT($$); }
  | TK_UPDATE table_name TK_SET assignment_list TK_FROM table_list where_opt
      { $$ = NODE(PN_UPDATE, "UPDATE %1 SET %2 FROM %3 %4", $2, $4, $6, $7); BUILT($$); }
  | TK_UPDATE table_name TK_SET assignment_list where_opt
      { $$ = NODE(PN_UPDATE, "UPDATE %1 SET %2 %3", $2, $4, $5); BUILT($$); }
  ;

where_opt
  : %empty                         { $$ = leaf(PN_WHERE_OPT, ""); BUILT($$); }
  | where_clause                   { $$ = NODE(PN_WHERE_OPT, "%1", $1); BUILT($$); }
  ;

select_list
  : select_item                    { $$ = NODE(PN_SELECT_LIST, "%1", $1); BUILT($$); }
  | select_list ',' select_item    { $$ = NODE(PN_SELECT_LIST, "%1, %2", $1, $3); BUILT($$); }
  | '*'                            { $$ = leaf(PN_SELECT_LIST, "*"); BUILT($$); }
  ;

table_expr
  : where_opt group_by_opt having_opt union_opt order_by_opt
      { $$ = NODE(PN_TABLE_EXPR, "%1 %2 %3 %4 %5", $1, $2, $3, $4, $5); BUILT($$); }
  | TK_FROM table_list where_opt group_by_opt having_opt union_opt order_by_opt
      { $$ = NODE(PN_TABLE_EXPR, "FROM %1 %2 %3 %4 %5 %6", $2, $3, $4, $5, $6, $7); BUILT($$); }
  ;

table_list
  : table_item                     { $$ = NODE(PN_TABLE_LIST, "%1", $1); BUILT($$); }
  | table_list ',' table_item      { $$ = NODE(PN_TABLE_LIST, "%1, %2", $1, $3); BUILT($$); }
  ;

table_item
  : table_ref                      { $$ = NODE(PN_TABLE_ITEM, "%1", $1); BUILT($$); }
  | oj_escape                      { $$ = NODE(PN_TABLE_ITEM, "%1", $1); BUILT($$); }
  | joined_table                   { $$ = NODE(PN_TABLE_ITEM, "%1", $1); BUILT($$); }
  ;

table_ref
  : table_name                     { $$ = NODE(PN_TABLE_REF, "%1", $1); BUILT($$); }
  | table_name as_opt table_alias  { $$ = NODE(PN_TABLE_REF, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  ;

joined_table
  : join                           { $$ = NODE(PN_JOINED_TABLE, "%1", $1); BUILT($$); }
  | '(' query_spec ')' as_opt table_alias order_by_opt
      { $$ = NODE(PN_JOINED_TABLE, "( %1 ) %2 %3 %4", $2, $4, $5, $6); BUILT($$); }
  | '(' joined_table ')'           { $$ = NODE(PN_JOINED_TABLE, "( %1 )", $2); BUILT($$); }
  ;

join
  : table_item join_kind TK_JOIN table_item TK_ON search_cond
      { $$ = NODE(PN_JOIN, "%1 %2 JOIN %3 ON %4", $1, $2, $4, $6); BUILT($$); }
  ;

join_kind
  : inner_kw                       { $$ = NODE(PN_JOIN_KIND, "%1", $1); BUILT($$); }
  | join_type outer_opt            { $$ = NODE(PN_JOIN_KIND, "%1 %2", $1, $2); BUILT($$); }
  ;

inner_kw : TK_INNER                { $$ = leaf(PN_INNER, "INNER"); BUILT($$); } ;

join_type
  : TK_LEFT                        { $$ = leaf(PN_JOIN_TYPE, "LEFT"); BUILT($$); }
  | TK_RIGHT                       { $$ = leaf(PN_JOIN_TYPE, "RIGHT"); BUILT($$); }
  | TK_FULL                        { $$ = leaf(PN_JOIN_TYPE, "FULL"); BUILT($$); }
  ;

outer_opt
  : %empty                         { $$ = leaf(PN_OUTER, ""); BUILT($$); }
  | TK_OUTER                       { $$ = leaf(PN_OUTER, "OUTER"); BUILT($$); }
  ;

where_clause
  : TK_WHERE search_cond           { $$ = NODE(PN_WHERE, "WHERE %1", $2); BUILT($$); }
  ;

group_by_opt
  : %empty                         { $$ = leaf(PN_GROUP_BY, ""); BUILT($$); }
  | TK_GROUP TK_BY column_list     { $$ = NODE(PN_GROUP_BY, "GROUP BY %1", $3); BUILT($$); }
  ;

column_list
  : column_ref                     { $$ = NODE(PN_COLUMN_LIST, "%1", $1); BUILT($$); }
  | column_list ',' column_ref     { $$ = NODE(PN_COLUMN_LIST, "%1, %2", $1, $3); BUILT($$); }
  ;

having_opt
  : %empty                         { $$ = leaf(PN_HAVING, ""); BUILT($$); }
  | TK_HAVING search_cond          { $$ = NODE(PN_HAVING, "HAVING %1", $2); BUILT($$); }
  ;

order_by_opt
  : %empty                         { $$ = leaf(PN_ORDER_BY_OPT, ""); BUILT($$); }
  | order_by_clause                { $$ = NODE(PN_ORDER_BY_OPT, "%1", $1); BUILT($$); }
  ;

union_opt
  : %empty                         { $$ = leaf(PN_UNION_OPT, ""); BUILT($$); }
  | union_clause                   { $$ = NODE(PN_UNION_OPT, "%1", $1); BUILT($$); }
  ;

insert_columns_opt
  : %empty                         { $$ = leaf(PN_COLUMN_LIST_OPT, ""); BUILT($$); }
  | '(' column_list ')'            { $$ = NODE(PN_COLUMN_LIST_OPT, "( %1 )", $2); BUILT($$); }
  ;

union_clause
  : TK_UNION query_spec            { $$ = NODE(PN_UNION, "UNION %1", $2); BUILT($$); }
  | TK_UNION TK_ALL query_spec     { $$ = NODE(PN_UNION, "UNION ALL %1", $3); BUILT($$); }
  ;

order_by_clause
  : TK_ORDER TK_BY sort_list       { $$ = NODE(PN_ORDER_BY, "ORDER BY %1", $3); BUILT($$); }
  ;

sort_list
  : sort_item                      { $$ = NODE(PN_SORT_LIST, "%1", $1); BUILT($$); }
  | sort_list ',' sort_item        { $$ = NODE(PN_SORT_LIST, "%1, %2", $1, $3); BUILT($$); }
  ;

sort_item
  : uint ordering_opt              { $$ = NODE(PN_SORT_ITEM, "%1 %2", $1, $2); BUILT($$); }
  | column_ref ordering_opt        { $$ = NODE(PN_SORT_ITEM, "%1 %2", $1, $2); BUILT($$); }
  ;

ordering_opt
  : %empty                         { $$ = leaf(PN_ORDERING, ""); BUILT($$); }
  | TK_ASC                         { $$ = leaf(PN_ORDERING, "ASC"); BUILT($$); }
  | TK_DESC                        { $$ = leaf(PN_ORDERING, "DESC"); BUILT($$); }
  ;

search_cond
  : %empty                         { $$ = leaf(PN_SEARCH_COND, ""); BUILT($$); }
  | search_cond TK_OR search_cond  { $$ = NODE(PN_SEARCH_COND, "%1 OR %2", $1, $3); BUILT($$); }
  | search_cond TK_AND search_cond { $$ = NODE(PN_SEARCH_COND, "%1 AND %2", $1, $3); BUILT($$); }
  | TK_NOT search_cond             { $$ = NODE(PN_SEARCH_COND, "NOT %1", $2); BUILT($$); }
  | '(' search_cond ')'            { $$ = NODE(PN_SEARCH_COND, "( %1 )", $2); BUILT($$); }
  | predicate                      { $$ = NODE(PN_SEARCH_COND, "%1", $1); BUILT($$); }
  ;

predicate
  : comparison                     { $$ = NODE(PN_PREDICATE, "%1", $1); BUILT($$); }
  | between_pred                   { $$ = NODE(PN_PREDICATE, "%1", $1); BUILT($$); }
  | like_pred                      { $$ = NODE(PN_PREDICATE, "%1", $1); BUILT($$); }
  | null_pred                      { $$ = NODE(PN_PREDICATE, "%1", $1); BUILT($$); }
  | in_pred                        { $$ = NODE(PN_PREDICATE, "%1", $1); BUILT($$); }
  | quantified_pred                { $$ = NODE(PN_PREDICATE, "%1", $1); BUILT($$); }
  | exists_pred                    { $$ = NODE(PN_PREDICATE, "%1", $1); BUILT($$); }
  | oj_predicate                   { $$ = NODE(PN_PREDICATE, "%1", $1); BUILT($$); }
  ;

oj_predicate
  : column_ref oj_comp_op column_ref
      { $$ = NODE(PN_OJ_PREDICATE, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  ;

comparison
  : expr comp_op expr
      { $$ = NODE(PN_COMPARISON, "%1 %2 %3", $1, $2, unwrapSubquery($3)); BUILT($$); }
  ;

between_pred
  : expr TK_NOT TK_BETWEEN expr TK_AND expr
      { $$ = NODE(PN_BETWEEN, "%1 NOT BETWEEN %2 AND %3", $1, $4, $6); BUILT($$); }
  | expr TK_BETWEEN expr TK_AND expr
      { $$ = NODE(PN_BETWEEN, "%1 BETWEEN %2 AND %3", $1, $3, $5); BUILT($$); }
  ;

like_pred
  : expr TK_NOT TK_LIKE like_pattern like_escape_opt
      { $$ = NODE(PN_LIKE, "%1 NOT LIKE %2 %3", $1, $4, $5); BUILT($$); }
  | expr TK_LIKE like_pattern like_escape_opt
      { $$ = NODE(PN_LIKE, "%1 LIKE %2 %3", $1, $3, $4); BUILT($$); }
  ;

like_escape_opt
  : %empty                         { $$ = leaf(PN_LIKE_ESCAPE_OPT, ""); BUILT($$); }
  | like_escape                    { $$ = NODE(PN_LIKE_ESCAPE_OPT, "%1", $1); BUILT($$); }
  | vendor_open like_escape vendor_close
      { $$ = NODE(PN_LIKE_ESCAPE_OPT, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  | esc_open like_escape esc_close
      { $$ = NODE(PN_LIKE_ESCAPE_OPT, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  ;

like_escape : TK_LIKE_ESCAPE       { $$ = leaf(PN_LIKE_ESCAPE, $1); BUILT($$); } ;

null_pred
  : column_ref TK_IS TK_NOT TK_NULL    { $$ = NODE(PN_IS_NULL, "%1 IS NOT NULL", $1); BUILT($$); }
  | column_ref TK_IS TK_NULL           { $$ = NODE(PN_IS_NULL, "%1 IS NULL", $1); BUILT($$); }
  | insert_value TK_IS TK_NOT TK_NULL  { $$ = NODE(PN_IS_NULL, "%1 IS NOT NULL", $1); BUILT($$); }
  | insert_value TK_IS TK_NULL         { $$ = NODE(PN_IS_NULL, "%1 IS NULL", $1); BUILT($$); }
  ;

in_pred
  : expr TK_NOT TK_IN subquery     { $$ = NODE(PN_IN, "%1 NOT IN %2", $1, $4); BUILT($$); }
  | expr TK_IN subquery            { $$ = NODE(PN_IN, "%1 IN %2", $1, $3); BUILT($$); }
  | expr TK_NOT TK_IN '(' value_list ')'
      { $$ = NODE(PN_IN, "%1 NOT IN ( %2 )", $1, $5); BUILT($$); }
  | expr TK_IN '(' value_list ')'  { $$ = NODE(PN_IN, "%1 IN ( %2 )", $1, $4); BUILT($$); }
  ;

value_list
  : insert_value                   { $$ = NODE(PN_VALUE_LIST, "%1", $1); BUILT($$); }
  | value_list ',' insert_value    { $$ = NODE(PN_VALUE_LIST, "%1, %2", $1, $3); BUILT($$); }
  ;

quantified_pred
  : expr comp_op any_all subquery
      { $$ = NODE(PN_QUANTIFIED_CMP, "%1 %2 %3 %4", $1, $2, $3, $4); BUILT($$); }
  ;

any_all
  : TK_ANY                         { $$ = leaf(PN_ANY_ALL, "ANY"); BUILT($$); }
  | TK_ALL                         { $$ = leaf(PN_ANY_ALL, "ALL"); BUILT($$); }
  ;

exists_pred
  : TK_EXISTS subquery             { $$ = NODE(PN_EXISTS, "EXISTS %1", $2); BUILT($$); }
  ;

subquery
  : '(' TK_SELECT set_quantifier select_list TK_FROM table_list where_opt group_by_opt having_opt ')'
      { $$ = NODE(PN_SUBQUERY, "( SELECT %1 %2 FROM %3 %4 %5 %6 )", $3, $4, $6, $7, $8, $9);
        BUILT($$); }
  ;

expr
  : term                           { $$ = NODE(PN_ADD_EXPR, "%1", $1); BUILT($$); }
  | expr TK_CONCAT term            { $$ = NODE(PN_ADD_EXPR, "%1 || %2", $1, $3); BUILT($$); }
  | expr '+' term                  { $$ = NODE(PN_ADD_EXPR, "%1 + %2", $1, $3); BUILT($$); }
  | expr '-' term                  { $$ = NODE(PN_ADD_EXPR, "%1 - %2", $1, $3); BUILT($$); }
  | simple_case                    { $$ = NODE(PN_ADD_EXPR, "%1", $1); BUILT($$); }
  | searched_case                  { $$ = NODE(PN_ADD_EXPR, "%1", $1); BUILT($$); }
  ;

term
  : factor                         { $$ = NODE(PN_MUL_EXPR, "%1", $1); BUILT($$); }
  | term '*' factor                { $$ = NODE(PN_MUL_EXPR, "%1 * %2", $1, $3); BUILT($$); }
  | term '/' factor                { $$ = NODE(PN_MUL_EXPR, "%1 / %2", $1, $3); BUILT($$); }
  ;

factor
  : primary                        { $$ = NODE(PN_SIGNED, "%1", $1); BUILT($$); }
  | '+' primary                    { $$ = NODE(PN_SIGNED, "+%1", $2); BUILT($$); }
  | '-' primary                    { $$ = NODE(PN_SIGNED, "-%1", $2); BUILT($$); }
  ;

primary
  : column_ref                     { $$ = NODE(PN_PRIMARY, "%1", $1); BUILT($$); }
  | param                          { $$ = NODE(PN_PRIMARY, "%1", $1); BUILT($$); }
  | literal                        { $$ = NODE(PN_PRIMARY, "%1", $1); BUILT($$); }
  | scalar_escape                  { $$ = NODE(PN_PRIMARY, "%1", $1); BUILT($$); }
  | function_call                  { $$ = NODE(PN_PRIMARY, "%1", $1); BUILT($$); }
  | set_function                   { $$ = NODE(PN_PRIMARY, "%1", $1); BUILT($$); }
  | TK_USER                        { $$ = leaf(PN_PRIMARY, "USER"); BUILT($$); }
  | subquery                       { $$ = NODE(PN_PRIMARY, "%1", $1); BUILT($$); }
  | '(' expr ')'                   { $$ = NODE(PN_PRIMARY, "( %1 )", $2); BUILT($$); }
  ;

as_opt
  : %empty                         { $$ = leaf(PN_AS, ""); BUILT($$); }
  | TK_AS                          { $$ = leaf(PN_AS, "AS"); BUILT($$); }
  ;

select_item
  : expr                           { $$ = NODE(PN_SELECT_ITEM, "%1", $1); BUILT($$); }
  | expr as_opt column_alias       { $$ = NODE(PN_SELECT_ITEM, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  | TK_IDENT '.' '*'
      { $$ = NODE(PN_SELECT_ITEM, "%1.*",
                  NODE(PN_TABLE_NAME, "%1", leaf(PN_NAME_PART, $1)));
        BUILT($$); }
  | TK_IDENT '.' TK_IDENT '.' '*'
      { $$ = NODE(PN_SELECT_ITEM, "%1.*",
                  NODE(PN_TABLE_NAME, "%1.%2", leaf(PN_NAME_OWNER, $1), leaf(PN_NAME_PART, $3)));
        BUILT($$); }
  | TK_IDENT '.' TK_IDENT '.' TK_IDENT '.' '*'
      { $$ = NODE(PN_SELECT_ITEM, "%1.*",
                  NODE(PN_TABLE_NAME, "%1.%2.%3", leaf(PN_NAME_QUALIFIER, $1),
                       leaf(PN_NAME_OWNER, $3), leaf(PN_NAME_PART, $5)));
        BUILT($$); }
  | TK_IDENT '.' '.' TK_IDENT '.' '*'
      { $$ = NODE(PN_SELECT_ITEM, "%1.*",
                  NODE(PN_TABLE_NAME, "%1..%2", leaf(PN_NAME_QUALIFIER, $1),
                       leaf(PN_TABLE_NAME, $4)));
        BUILT($$); }
  | TK_IDENT ':' TK_IDENT '.' '*'
      { $$ = NODE(PN_SELECT_ITEM, "%1.*",
                  NODE(PN_TABLE_NAME, "%1:%2", leaf(PN_NAME_QUALIFIER, $1),
                       leaf(PN_TABLE_NAME, $3)));
        BUILT($$); }
  | TK_IDENT ':' TK_IDENT '.' TK_IDENT '.' '*'
      { $$ = NODE(PN_SELECT_ITEM, "%1.*",
                  NODE(PN_TABLE_NAME, "%1:%2.%3", leaf(PN_NAME_QUALIFIER, $1),
                       leaf(PN_NAME_OWNER, $3), leaf(PN_NAME_PART, $5)));
        BUILT($$); }
  | TK_IDENT '@' TK_IDENT ':' TK_IDENT '.' TK_IDENT '.' '*'
      { $$ = NODE(PN_SELECT_ITEM, "%1.*",
                  NODE(PN_TABLE_NAME, "%1:%2.%3",
                       NODE(PN_NAME_QUALIFIER, "%1@%2", leaf(PN_SITE_PART, $1), leaf(PN_SITE_PART, $3)),
                       leaf(PN_NAME_OWNER, $5), leaf(PN_NAME_PART, $7)));
        BUILT($$); }
  | TK_IDENT '@' TK_IDENT ':' TK_IDENT '.' '*'
      { $$ = NODE(PN_SELECT_ITEM, "%1.*",
                  NODE(PN_TABLE_NAME, "%1:%2",
                       NODE(PN_NAME_QUALIFIER, "%1@%2", leaf(PN_SITE_PART, $1), leaf(PN_SITE_PART, $3)),
                       leaf(PN_NAME_PART, $5)));
        BUILT($$); }
  ;

insert_value
  : param                          { $$ = NODE(PN_INSERT_VALUE, "%1", $1); BUILT($$); }
  | literal                        { $$ = NODE(PN_INSERT_VALUE, "%1", $1); BUILT($$); }
  | TK_USER                        { $$ = leaf(PN_INSERT_VALUE, "USER"); BUILT($$); }
  ;

like_pattern
  : param                          { $$ = NODE(PN_LIKE_PATTERN, "%1", $1); BUILT($$); }
  | TK_STRING                      { $$ = leaf(PN_LIKE_PATTERN, $1); BUILT($$); }
  | TK_USER                        { $$ = leaf(PN_LIKE_PATTERN, "USER"); BUILT($$); }
  ;

set_function
  : setfunc_name '(' '*' ')'
      { ParseTreeFree(&$1, ParseNodeFreeStrings); $$ = leaf(PN_SET_FUNCTION, "COUNT (*)"); BUILT($$); }
  | setfunc_name '(' TK_DISTINCT column_ref ')'
      { $$ = NODE(PN_SET_FUNCTION, "%1( DISTINCT %2 )", $1, $4); BUILT($$); }
  | setfunc_name '(' expr ')'      { $$ = NODE(PN_SET_FUNCTION, "%1( %2 )", $1, $3); BUILT($$); }
  ;

literal
  : TK_STRING                      { $$ = leaf(PN_LITERAL, $1); BUILT($$); }
  | uint                           { $$ = NODE(PN_LITERAL, "%1", $1); BUILT($$); }
  | TK_DECNUM                      { $$ = leaf(PN_LITERAL, $1); BUILT($$); }
  | TK_APPROXNUM                   { $$ = leaf(PN_LITERAL, $1); BUILT($$); }
  | bit_literal                    { $$ = NODE(PN_LITERAL, "%1", $1); BUILT($$); }
  | datetime_escape                { $$ = NODE(PN_LITERAL, "%1", $1); BUILT($$); }
  | TK_HEXNUM                      { $$ = leaf(PN_HEXNUM, $1); BUILT($$); }
  ;

table_name
  : table_ident                    { $$ = NODE(PN_TABLE_NAME, "%1", $1); BUILT($$); }
  | TK_IDENT '.' TK_IDENT
      { $$ = NODE(PN_TABLE_NAME, "%1.%2", leaf(PN_NAME_QUALIFIER, $1), leaf(PN_NAME_PART, $3));
        BUILT($$); }
  | TK_IDENT '.' '.' TK_IDENT
      { $$ = NODE(PN_TABLE_NAME, "%1..%2", leaf(PN_NAME_QUALIFIER, $1), leaf(PN_NAME_PART, $4));
        BUILT($$); }
  | TK_IDENT '.' TK_IDENT '.' TK_IDENT
      { $$ = NODE(PN_TABLE_NAME, "%1.%2.%3", leaf(PN_NAME_QUALIFIER, $1), leaf(PN_NAME_OWNER, $3),
                  leaf(PN_NAME_PART, $5));
        BUILT($$); }
  | TK_IDENT '@' TK_IDENT
      { $$ = NODE(PN_TABLE_NAME, "%1@%2", leaf(PN_NAME_PART, $1), leaf(PN_NAME_QUALIFIER, $3));
        BUILT($$); }
  | TK_IDENT '.' TK_IDENT '@' TK_IDENT
      { $$ = NODE(PN_TABLE_NAME, "%1.%2@%3", leaf(PN_NAME_OWNER, $1), leaf(PN_NAME_PART, $3),
                  leaf(PN_NAME_QUALIFIER, $5));
        BUILT($$); }
  | TK_IDENT ':' TK_IDENT
      { $$ = NODE(PN_TABLE_NAME, "%1:%2", leaf(PN_NAME_QUALIFIER, $1), leaf(PN_NAME_PART, $3));
        BUILT($$); }
  | TK_IDENT '@' TK_IDENT ':' TK_IDENT
      { $$ = NODE(PN_TABLE_NAME, "%1:%2",
                  NODE(PN_NAME_QUALIFIER, "%1@%2", leaf(PN_SITE_PART, $1), leaf(PN_SITE_PART, $3)),
                  leaf(PN_NAME_PART, $5));
        BUILT($$); }
  | TK_IDENT ':' TK_IDENT '.' TK_IDENT
      { $$ = NODE(PN_TABLE_NAME, "%1:%2.%3", leaf(PN_NAME_QUALIFIER, $1), leaf(PN_NAME_OWNER, $3),
                  leaf(PN_NAME_PART, $5));
        BUILT($$); }
  | TK_IDENT '@' TK_IDENT ':' TK_IDENT '.' TK_IDENT
      { $$ = NODE(PN_TABLE_NAME, "%1:%2.%3",
                  NODE(PN_NAME_QUALIFIER, "%1@%2", leaf(PN_SITE_PART, $1), leaf(PN_SITE_PART, $3)),
                  leaf(PN_NAME_OWNER, $5), leaf(PN_NAME_PART, $7));
        BUILT($$); }
  ;

column_ref
  : column_ident                   { $$ = NODE(PN_COLUMN_REF, "%1", $1); BUILT($$); }
  | TK_IDENT '.' TK_IDENT
      { $$ = NODE(PN_COLUMN_REF, "%1.%2", leaf(PN_NAME_PART, $1), leaf(PN_IDENT, $3)); BUILT($$); }
  | TK_IDENT '.' TK_IDENT '.' TK_IDENT
      { $$ = NODE(PN_COLUMN_REF, "%1.%2.%3", leaf(PN_NAME_OWNER, $1), leaf(PN_NAME_PART, $3),
                  leaf(PN_IDENT, $5));
        BUILT($$); }
  ;

table_ident : TK_IDENT             { $$ = leaf(PN_NAME_PART, $1); BUILT($$); } ;
column_ident : TK_IDENT            { $$ = leaf(PN_IDENT, $1); BUILT($$); } ;
column_alias : TK_IDENT            { $$ = leaf(PN_COLUMN_ALIAS, $1); BUILT($$); } ;
cursor_name : TK_IDENT             { $$ = leaf(PN_CURSOR_NAME, $1); BUILT($$); } ;
param : TK_PARAM                   { $$ = leaf(PN_PARAM, "?"); BUILT($$); } ;
table_alias : TK_IDENT             { $$ = leaf(PN_TABLE_ALIAS, $1); BUILT($$); } ;
uint : TK_INTNUM                   { $$ = leaf(PN_UINT, $1); BUILT($$); } ;
comp_op : TK_COMPARISON            { $$ = leaf(PN_COMP_OP, $1); BUILT($$); } ;
oj_comp_op : TK_OJ_COMPARISON      { $$ = leaf(PN_JOIN_TYPE, $1); BUILT($$); } ;
setfunc_name : TK_SETFUNC          { $$ = leaf(PN_SETFUNC_NAME, $1); BUILT($$); } ;

bit_literal
  : '0'                            { $$ = leaf(PN_BIT_LITERAL, "0"); BUILT($$); }
  | '1'                            { $$ = leaf(PN_BIT_LITERAL, "1"); BUILT($$); }
  ;

datetime_escape
  : date_escape                    { $$ = NODE(PN_DATETIME_ESCAPE, "%1", $1); BUILT($$); }
  | time_escape                    { $$ = NODE(PN_DATETIME_ESCAPE, "%1", $1); BUILT($$); }
  | timestamp_escape               { $$ = NODE(PN_DATETIME_ESCAPE, "%1", $1); BUILT($$); }
  ;

date_escape
  : vendor_open date_lit vendor_close { $$ = NODE(PN_DATE_ESCAPE, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  | esc_open date_lit esc_close       { $$ = NODE(PN_DATE_ESCAPE, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  ;

time_escape
  : vendor_open time_lit vendor_close { $$ = NODE(PN_TIME_ESCAPE, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  | esc_open time_lit esc_close       { $$ = NODE(PN_TIME_ESCAPE, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  ;

timestamp_escape
  : vendor_open timestamp_lit vendor_close
      { $$ = NODE(PN_TIMESTAMP_ESCAPE, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  | esc_open timestamp_lit esc_close
      { $$ = NODE(PN_TIMESTAMP_ESCAPE, "%1 %2 %3", $1, $2, $3); BUILT($$); }
  ;

date_lit : TK_DATE_LIT             { $$ = leaf(PN_DATE_LIT, $1); BUILT($$); } ;
time_lit : TK_TIME_LIT             { $$ = leaf(PN_TIME_LIT, $1); BUILT($$); } ;
timestamp_lit : TK_TIMESTAMP_LIT   { $$ = leaf(PN_TIMESTAMP_LIT, $1); BUILT($$); } ;

oj_escape
  : esc_open TK_OJ join esc_close    { $$ = NODE(PN_OJ_ESCAPE, "%1 oj %2 %3", $1, $3, $4); BUILT($$); }
  | vendor_open TK_OJ join vendor_close { $$ = NODE(PN_OJ_ESCAPE, "%1 oj %2 %3", $1, $3, $4); BUILT($$); }
  ;

scalar_escape
  : esc_open TK_FN function_call esc_close
      { $$ = NODE(PN_FN_ESCAPE, "%1 fn %2 %3", $1, $3, $4); BUILT($$); }
  | vendor_open TK_FN function_call vendor_close
      { $$ = NODE(PN_FN_ESCAPE, "%1 fn %2 %3", $1, $3, $4); BUILT($$); }
  ;

function_call
  : function_name '(' function_args ')' { $$ = NODE(PN_FUNCTION, "%1( %2 )", $1, $3); BUILT($$); }
  ;

function_name : TK_IDENT           { $$ = leaf(PN_FN_NAME, $1); BUILT($$); } ;

function_args
  : %empty                         { $$ = leaf(PN_FN_ARGS, ""); BUILT($$); }
  | expr                           { $$ = NODE(PN_FN_ARGS, "%1", $1); BUILT($$); }
  | expr ',' function_args         { $$ = NODE(PN_FN_ARGS, "%1, %2", $1, $3); BUILT($$); }
  | expr TK_FROM expr              { $$ = NODE(PN_FN_ARGS, "%1 FROM %2", $1, $3); BUILT($$); }
  | expr TK_IN expr                { $$ = NODE(PN_FN_ARGS, "%1 IN %2", $1, $3); BUILT($$); }
  ;

/* Both bracket forms regenerate as braces: the vendor form's "--" would
 * comment out the rest of a statement written on one line, and braces are
 * what the escape translation reads. */
esc_open : TK_ESC_OPEN             { $$ = leaf(PN_ESC_OPEN, "{"); BUILT($$); } ;
esc_close : TK_ESC_CLOSE           { $$ = leaf(PN_ESC_CLOSE, "}"); BUILT($$); } ;
vendor_open : TK_VENDOR_OPEN       { $$ = leaf(PN_ESC_OPEN, "{"); BUILT($$); } ;
vendor_close : TK_VENDOR_CLOSE     { $$ = leaf(PN_ESC_CLOSE, "}"); BUILT($$); } ;

simple_case
  : TK_CASE expr simple_case_items TK_END
      { $$ = NODE(PN_SIMPLE_CASE, "CASE %1 %2 END", $2, $3); BUILT($$); }
  ;

simple_case_items
  : simple_case_item               { $$ = NODE(PN_SIMPLE_CASE_ITEMS, "%1", $1); BUILT($$); }
  | simple_case_items simple_case_item
      { $$ = NODE(PN_SIMPLE_CASE_ITEMS, "%1 %2", $1, $2); BUILT($$); }
  ;

simple_case_item
  : TK_WHEN expr TK_THEN expr      { $$ = NODE(PN_SIMPLE_CASE_ITEM, "WHEN %1 THEN %2", $2, $4); BUILT($$); }
  | TK_ELSE expr                   { $$ = NODE(PN_SIMPLE_CASE_ITEM, "ELSE %1", $2); BUILT($$); }
  ;

searched_case
  : TK_CASE case_items TK_END      { $$ = NODE(PN_CASE, "CASE %1 END", $2); BUILT($$); }
  ;

case_items
  : case_item                      { $$ = NODE(PN_CASE_ITEMS, "%1", $1); BUILT($$); }
  | case_items case_item           { $$ = NODE(PN_CASE_ITEMS, "%1 %2", $1, $2); BUILT($$); }
  ;

case_item
  : TK_WHEN search_cond TK_THEN expr { $$ = NODE(PN_CASE_ITEM, "WHEN %1 THEN %2", $2, $4); BUILT($$); }
  | TK_ELSE expr                   { $$ = NODE(PN_CASE_ITEM, "ELSE %1", $2); BUILT($$); }
  ;

%%
