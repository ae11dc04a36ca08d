#include "exchange/cycle.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "exchange/exchange_request.h"
#include "exchange/order_import.h"
#include "exchange/price_upload.h"
#include "exchange/settings.h"
#include "exchange/status_push.h"
#include "exchange/store_payload.h"
#include "util/codepage.h"
#include "util/datetime.h"
#include "util/numbers.h"

namespace qdz::exchange {
namespace {

constexpr const char* kLockSql =
    "update or insert into I_ORDER_TASKS (id, TASK_TYPE, STATUS) values (-1, 'ZELVORANT_MAIN',0)";

constexpr const char* kSettingsSql =
    "select "
    "(select param_value from params where param_id='ZELVORANT_URL') as ZELVORANT_URL, "
    "(select param_value from params where param_id='ZELVORANT_MC') as ZELVORANT_MC, "
    "(select param_value from params where param_id='ZELVORANT_AUTH_TOKEN') as ZELVORANT_AUTH_TOKEN, "
    "(select param_value from params where param_id='ZV_PARTPRICES_INTERVAL') as ZV_PARTPRICES_INTERVAL, "
    "(select cast(PARAM_VALUE as dm_datetime) from params where param_id='ZELVORANT_WB_UPDATEDT') "
    "as ZELVORANT_WB_UPDATEDT"
    " from rdb$database";

constexpr const char* kLastFullUploadSql =
    "select first 1 ENDDT from I_ORDER_TASKS where TASK_TYPE='POSTALLPRICES' and enddt is not null "
    "and status=1 and endflag=1 order by id desc";

constexpr const char* kLastAnyUploadSql =
    "select first 1 ENDDT from I_ORDER_TASKS where TASK_TYPE in ('POSTPRICES','POSTALLPRICES') and "
    "enddt is not null and status=1 and endflag=1 order by id desc";

std::int32_t StrToInt(const std::string& text) {
  std::int32_t value = 0;
  if (!util::TryParseInt(text, value)) throw std::runtime_error("'" + text + "' is not a valid integer value");
  return value;
}

// Reads the settings into the process-wide values; true when the change mark row holds a value.
bool ReadSettings(db::Query& query) {
  query.SetSql(kSettingsSql);
  query.Open();
  Settings.BaseUrl = query.FieldByName("ZELVORANT_URL").AsString();
  Settings.MerchantCode = query.FieldByName("ZELVORANT_MC").AsString();
  Settings.AuthToken = query.FieldByName("ZELVORANT_AUTH_TOKEN").AsString();
  Settings.PartPricesInterval = StrToInt(query.FieldByName("ZV_PARTPRICES_INTERVAL").AsString());
  const bool hasChangeMark = !query.FieldByName("ZELVORANT_WB_UPDATEDT").IsNull();
  query.Close();
  return hasChangeMark;
}

// ENDDT of the newest successful upload the statement finds, if any.
std::optional<util::DateTime> LastUpload(db::Query& query, const char* sql) {
  query.Close();
  query.SetSql(sql);
  query.Open();
  std::optional<util::DateTime> endDt;
  if (!query.Eof()) endDt = query.FieldByName("ENDDT").AsDateTime();
  query.Close();
  return endDt;
}

// Whole minutes between two times, without sign. Counted on whole milliseconds, so that an
// exact 16 minutes is 16 and not 15.999... of a day fraction.
std::int64_t WholeMinutesBetween(util::DateTime a, util::DateTime b) {
  const double milliseconds = std::fabs(a.days - b.days) * 86400000.0;
  return std::llround(milliseconds) / 60000;
}

std::string Skipped(const std::string& stepName, util::DateTime lastEnd) {
  return stepName + util::W1251(" - пропущено (последняя выгрузка: ") + util::FormatDmyHms(lastEnd) + ")";
}

void RunFullUploadIfDue(db::Query& query, bool hasChangeMark, const LogCallback& log) {
  const std::string step = util::W1251("полная выгрузка прайсов");
  std::optional<util::DateTime> lastFull;
  if (hasChangeMark) lastFull = LastUpload(query, kLastFullUploadSql);
  const bool due = !lastFull || util::DateTime::Now().days - lastFull->days > 1.0;
  if (!due) {
    log(Skipped(step, *lastFull));
    return;
  }
  log(step + "...");
  std::string payload;
  BuildDeletePayload(*db::ExchangeDatabase, payload);
  std::string answer;
  ExchangeRequest("DELETE", "/exch/v1/prices", payload, 0, answer);
  UploadPrices(*db::ExchangeDatabase, true, log);
  log(step + util::W1251(" - ОК"));
}

void RunPartialUploadIfDue(db::Query& query, const LogCallback& log) {
  const std::string step = util::W1251("частичная выгрузка прайсов");
  const std::optional<util::DateTime> last = LastUpload(query, kLastAnyUploadSql);
  const bool due = !last || WholeMinutesBetween(util::DateTime::Now(), *last) >
                                static_cast<std::int64_t>(Settings.PartPricesInterval);
  if (!due) {
    log(Skipped(step, *last));
    return;
  }
  log(step + "...");
  UploadPrices(*db::ExchangeDatabase, false, log);
  log(step + util::W1251(" - ОК"));
}

void RunSteps(db::Query& query, const LogCallback& log) {
  try {
    query.SetSql(kLockSql);
    query.ExecSQL();
  } catch (const std::exception& e) {
    log(util::W1251("Не завершен предыдущий процесс (") + e.what() + ")");
    return;
  }
  log(util::W1251("Чтение параметров..."));
  const bool hasChangeMark = ReadSettings(query);
  log(util::W1251("Чтение параметров - ОК"));
  log("  URL: " + Settings.BaseUrl);
  log("  PARTPRICES_INTERVAL: " + std::to_string(Settings.PartPricesInterval));

  RunFullUploadIfDue(query, hasChangeMark, log);
  RunPartialUploadIfDue(query, log);

  log(util::W1251("получение заказов..."));
  ImportOrders(*db::ExchangeDatabase, log);
  log(util::W1251("получение заказов - ОК"));
  PushOrderStatuses(query.GetTransaction(), log);
}

// Releases the cycle lock whatever happened; a failed commit is of no further use to anyone.
void CommitIgnoringErrors(db::Query& query) {
  try {
    query.Close();
    query.GetTransaction().Commit();
  } catch (const std::exception&) {
  }
}

}  // namespace

void RunExchangeCycle(const LogCallback& log) {
  const std::unique_ptr<db::Query> query = db::CreateQuery(*db::ExchangeDatabase);
  try {
    RunSteps(*query, log);
  } catch (...) {
    CommitIgnoringErrors(*query);
    throw;
  }
  CommitIgnoringErrors(*query);
}

}  // namespace qdz::exchange
