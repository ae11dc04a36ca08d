#include "exchange/journal.h"

#include <memory>

#include "db/error.h"
#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"

namespace qdz::exchange {

namespace {

db::Connection& JournalDatabase() {
  if (db::ExchangeDatabase == nullptr) throw db::DatabaseError("Database not assigned");
  return *db::ExchangeDatabase;
}

// Draws the next key from a generator on the query's transaction.
std::int64_t NextId(db::Query& query, const std::string& generator) {
  query.SetSql("select gen_id(" + generator + ",1) as nn from rdb$database");
  query.Open();
  return query.FieldByName("nn").AsInt64();
}

// The task types are fixed names; a quote in one would still be written as the same text.
std::string QuotedLiteral(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted.push_back(c);
    if (c == '\'') quoted.push_back('\'');
  }
  return quoted + "'";
}

// Runs an update with one text bound as :endtext and commits it.
void ExecuteWithEndText(const std::string& sql, const std::string& endText) {
  auto query = db::CreateQuery(JournalDatabase());
  query->SetSql(sql);
  query->Prepare();
  query->ParamByName("endtext").SetString(endText);
  query->ExecSQL();
  query->GetTransaction().Commit();
}

}  // namespace

std::int64_t TaskCreate(const std::string& taskType, const std::string& sendData, std::int32_t status) {
  auto query = db::CreateQuery(JournalDatabase());
  const std::int64_t id = NextId(*query, "gen_i_order_tasks_id");
  query->SetSql("insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS, STARTDT) values (" +
                std::to_string(id) + ", " + QuotedLiteral(taskType) + ", :SENDDATA, " + std::to_string(status) +
                ", 'now')");
  query->Prepare();
  query->ParamByName("SENDDATA").SetString(sendData);
  query->ExecSQL();
  query->GetTransaction().Commit();
  return id;
}

void TaskStart(std::int64_t taskId) {
  auto query = db::CreateQuery(JournalDatabase());
  query->SetSql("update I_ORDER_TASKS set STARTDT='now', status=1 where id=" + std::to_string(taskId));
  query->ExecSQL();
  query->GetTransaction().Commit();
}

void TaskFinish(std::int32_t endFlag, const std::string& endText, std::int64_t taskId) {
  ExecuteWithEndText("update I_ORDER_TASKS set endflag=" + std::to_string(endFlag) +
                         ", endtext=:endtext, ENDDT='now' where id=" + std::to_string(taskId),
                     endText);
}

std::int64_t ProtocolStart(const std::string& method, const std::string& path, const std::string& sendData,
                           std::int64_t taskId) {
  auto query = db::CreateQuery(JournalDatabase());
  const std::int64_t id = NextId(*query, "gen_zv$prot_id");
  query->SetSql("insert into ZV$PROT (ID, METHOD, CMD, SENDDATA, STATUS, STARTDT, task_id) values (" +
                std::to_string(id) + ", :METHOD, :CMD, :SENDDATA, 0, 'now', " + std::to_string(taskId) + ")");
  query->Prepare();
  query->ParamByName("METHOD").SetString(method);
  query->ParamByName("CMD").SetString(path);
  query->ParamByName("SENDDATA").SetString(sendData);
  query->ExecSQL();
  query->GetTransaction().Commit();
  return id;
}

void ProtocolFinish(std::int32_t endFlag, const std::string& endText, std::int64_t protocolId) {
  ExecuteWithEndText("update ZV$PROT set endflag=" + std::to_string(endFlag) +
                         ", endtext=:endtext, ENDDT='now' where id=" + std::to_string(protocolId),
                     endText);
}

}  // namespace qdz::exchange
