// ixr_proc.h -- stored procedures of the embedded server: the check of a body at CREATE,
// the per-session cache of compiled procedures, and runs of EXECUTE PROCEDURE, either to
// the end (a statement) or row by row (a cursor over a procedure with RETURNING, one row
// per RETURN WITH RESUME).
// Threading: a session's procedures and runs are used by the thread it is current on.
// Not here: the syntax of a body (ixr_parse_proc.cpp) and the SQL its statements run
// (the translator and execDml/execOther, which run them as statements of their own).
#pragma once

#include "platform/informix/ixr_session.h"

#include <memory>
#include <string>
#include <vector>

namespace ixr {

// CREATE PROCEDURE: compiles the body of create (a statement of ast) to report what is
// wrong with it (unknown variables, RETURN lists, EXIT outside a loop, LIKE of a missing
// column) before it is stored.
IxError procCheck(Session& s, Ast& ast, Stmt* create);

// The session's compiled procedure of that name: IXR_E_NO_ROUTINE when there is none.
IxError procLookup(Session& s, const std::string& name, std::shared_ptr<Proc>& out);

// PREPARE of EXECUTE PROCEDURE: resolves the routine and the number of arguments
// (IXR_E_NO_ROUTINE) and describes its RETURNING values in part.tr.cols.
IxError procPrepare(Session& s, Prepared::Part& part);

// EXECUTE of EXECUTE PROCEDURE without a cursor: runs the procedure to its end or to its
// first RETURN; the arguments' markers take the host variables of input.
IxError procExecute(Session& s, Ast& ast, Prepared::Part& part, const IxrSqlda* input);

// OPEN of a cursor for EXECUTE PROCEDURE: starts a run and takes it to its first row
// (row false: the procedure returned nothing).
IxError procOpen(Session& s, Ast& ast, Prepared::Part& part, const IxrSqlda* input, ProcRunPtr& run,
                 bool& row);

// The run's next row; row false at its end.
IxError procNext(ProcRun& run, bool& row);

// The last row of a run and its types (the procedure's RETURNING types).
const std::vector<Val>& procRowValues(const ProcRun& run);
const std::vector<IxType>& procRowTypes(const ProcRun& run);

// DROP PROCEDURE: forgets the session's compiled copy.
void procForget(Session& s, const std::string& name);

}  // namespace ixr
