// Natives over the SQL handles: each takes the handle number first and works on that entry of
// the table it was bound to.
#include <cstdint>

#include "scripthost/native_groups.h"
#include "scripthost/run_context.h"
#include "scripthost/sql_handles.h"
#include "transport/platform.h"

namespace qorsv {
namespace {

using script::NativeCall;

// The run that calls: its connection thread id, from the run's own context.
uint32_t CallingRun(const NativeCall& call) {
  const RunContext* context = RunContextOf(call.HostContext());
  return static_cast<uint32_t>(context != nullptr ? context->thread_id : CurrentThreadId());
}

// A native answering a number of the handle's loaded result.
script::NativeFunction ResultCount(SqlHandleTable& table, uint32_t (ResultSet::*count)() const) {
  return [&table, count](NativeCall& call) {
    call.ReturnInt(table.WithRows(call.Int(0), [&](ResultSet& rows) { return (rows.*count)(); }));
  };
}

}  // namespace

void AddSqlNatives(NativeFunctionMap& natives, SqlHandleTable& table) {
  natives["SQL_GETNEWHANDLE"] = [&table](NativeCall& call) {
    call.ReturnInt(table.GetNewHandle(call.Str(0), CallingRun(call)));
  };
  natives["SQL_EXECUTE"] = [&table](NativeCall& call) {
    table.WithHandle(call.Int(0), [&](Tsqlite& h) { h.Database->Execute(call.Str(1)); });
  };
  natives["SQL_COMMIT"] = [&table](NativeCall& call) {
    table.WithHandle(call.Int(0), [](Tsqlite& h) { h.Database->Commit(); });
  };
  natives["SQL_ROLLBACK"] = [&table](NativeCall& call) {
    table.WithHandle(call.Int(0), [](Tsqlite& h) { h.Database->Rollback(); });
  };
  natives["SQL_BEGINTRANSACTION"] = [&table](NativeCall& call) {
    table.WithHandle(call.Int(0), [](Tsqlite& h) { h.Database->BeginTransaction(); });
  };
  natives["SQL_TABLEEXISTS"] = [&table](NativeCall& call) {
    call.ReturnBool(table.WithHandle(
        call.Int(0), [&](Tsqlite& h) { return h.Database->TableExists(call.Str(1)); }));
  };
  // A load that fails keeps the previous result.
  natives["SQL_GETTABLE"] = [&table](NativeCall& call) {
    table.WithHandle(call.Int(0), [&](Tsqlite& h) {
      h.Rows = std::make_unique<ResultSet>(h.Database->Load(call.Str(1)));
    });
  };
  natives["SQL_DROPTABLE"] = [&table](NativeCall& call) {
    table.WithHandle(call.Int(0), [&](Tsqlite& h) { h.Database->DropTable(call.Str(1)); });
  };
  natives["SQL_GETROWCOUNT"] = ResultCount(table, &ResultSet::RowCount);
  natives["SQL_GETCOUNT"] = ResultCount(table, &ResultSet::RowCount);
  natives["SQL_COUNT"] = ResultCount(table, &ResultSet::RowCount);
  natives["SQL_COLCOUNT"] = ResultCount(table, &ResultSet::ColCount);
  natives["SQL_DESTROY"] = [&table](NativeCall& call) { table.Destroy(call.Int(0)); };
  natives["SQL_GETFIELDINDEX"] = [&table](NativeCall& call) {
    call.ReturnInt(
        table.WithRows(call.Int(0), [&](ResultSet& rows) { return rows.FieldIndex(call.Str(1)); }));
  };
  natives["SQL_FIELDASSTRING"] = [&table](NativeCall& call) {
    call.ReturnStr(table.WithRows(
        call.Int(0), [&](ResultSet& rows) { return rows.FieldAsString(call.Str(1)); }));
  };
  natives["SQL_FIELDASINTEGER"] = [&table](NativeCall& call) {
    call.ReturnInt(table.WithRows(
        call.Int(0), [&](ResultSet& rows) { return rows.FieldAsInteger(call.Str(1)); }));
  };
  natives["SQL_FIELDASBOOLEAN"] = [&table](NativeCall& call) {
    call.ReturnBool(table.WithRows(
        call.Int(0), [&](ResultSet& rows) { return rows.FieldAsBoolean(call.Str(1)); }));
  };
  natives["SQL_NEXT"] = [&table](NativeCall& call) {
    call.ReturnBool(table.WithRows(call.Int(0), [](ResultSet& rows) { return rows.Next(); }));
  };
  natives["SQL_PREVIOUS"] = [&table](NativeCall& call) {
    call.ReturnBool(table.WithRows(call.Int(0), [](ResultSet& rows) { return rows.Previous(); }));
  };
  natives["SQL_MOVEFIRST"] = [&table](NativeCall& call) {
    table.WithRows(call.Int(0), [](ResultSet& rows) { rows.MoveFirst(); });
  };
  natives["SQL_MOVELAST"] = [&table](NativeCall& call) {
    table.WithRows(call.Int(0), [](ResultSet& rows) { rows.MoveLast(); });
  };
  natives["SQL_FREEHANDLES"] = [&table](NativeCall& call) {
    call.ReturnInt(table.CountSqlHandlesInUse());
  };
}

}  // namespace qorsv
