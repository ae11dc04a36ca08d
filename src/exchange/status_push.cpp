#include "exchange/status_push.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "db/query.h"
#include "db/query_factory.h"
#include "exchange/exchange_request.h"
#include "exchange/journal.h"
#include "exchange/status_change.h"
#include "util/codepage.h"

namespace qdz::exchange {
namespace {

constexpr const char* kQueueSql =
    "select id, SENDDATA from I_ORDER_TASKS where TASK_TYPE='SET_ORDER_STATUS' and status=0 and "
    "endflag is null order by id";

// Sends one queued change and closes its row with the answer. Every check comes before the row
// is taken, so a rejected row keeps STATUS 0 and nothing reaches the marketplace.
void SendStatusChange(std::int64_t taskId, const std::string& sendData, const LogCallback& log) {
  const std::string body = StatusChangeBody(ReadStatusChange(sendData));
  TaskStart(taskId);
  std::string answer;
  if (!ExchangeRequest("POST", "/exch/v4/orders", util::Cp1251ToUtf8(body), taskId, answer))
    throw std::runtime_error("POST ERROR: " + answer);
  TaskFinish(1, answer, taskId);
  log("  " + std::to_string(taskId) + " - OK");
}

}  // namespace

void PushOrderStatuses(db::Transaction& transaction, const LogCallback& log) {
  const std::string step = util::W1251("выполнение заданий");
  log(step + "...");
  const std::unique_ptr<db::Query> queue = db::CreateQueryOn(transaction);
  queue->SetSql(kQueueSql);
  queue->Open();
  while (!queue->Eof()) {
    const std::int64_t taskId = queue->FieldByName("id").AsInt64();
    log("  " + std::to_string(taskId) + "...");
    try {
      SendStatusChange(taskId, queue->FieldByName("SENDDATA").AsString(), log);
    } catch (const std::exception& e) {
      TaskFinish(-2, e.what(), taskId);
    }
    queue->Next();
  }
  queue->Close();
  log(step + util::W1251(" - ОК"));
}

}  // namespace qdz::exchange
