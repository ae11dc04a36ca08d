#include "exchange/price_upload.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "exchange/exchange_request.h"
#include "exchange/journal.h"
#include "exchange/price_part.h"
#include "exchange/settings.h"
#include "util/datetime.h"
#include "util/files.h"
#include "util/numbers.h"
#include "util/trim.h"

namespace qdz::exchange {
namespace {

constexpr const char* kParamsSql =
    "select (select cast(PARAM_VALUE as dm_datetime) from params where param_id='ZELVORANT_WB_UPDATEDT') as "
    "ZELVORANT_WB_UPDATEDT, (select PARAM_VALUE from params where param_id='ZELVORANT_PRICESSQL') as "
    "ZELVORANT_PRICESSQL, (select PARAM_VALUE from params where param_id='ZELVORANT_STORE_UUID') as "
    "ZELVORANT_STORE_UUID, (select PARAM_VALUE from params where param_id='ZELVORANT_PARTCOUNT') as "
    "ZELVORANT_PARTCOUNT from rdb$database";

constexpr const char* kPricesPath = "/exch/v4/prices";
constexpr std::int32_t kMaxPartSize = 500;

struct UploadParams {
  std::string priceSql;
  std::string storeId;
  std::size_t partSize = kMaxPartSize;
  util::DateTime changeBound;  // the zero date unless a partial run has a stored mark
};

// The price SQL's columns, looked up once: a run may read a million rows.
struct PriceColumns {
  db::Query::Field updatedt;
  db::Query::Field partId;
  db::Query::Field barcode;
  db::Query::Field name;
  db::Query::Field price;
  db::Query::Field available;
  db::Query::Field series;
  db::Query::Field brand;
};

std::int32_t StrToInt(const std::string& text) {
  std::int32_t value = 0;
  if (!util::TryParseInt(text, value)) throw util::ConvertError("'" + text + "' is not a valid integer value");
  return value;
}

std::size_t BoundedPartSize(std::int32_t wanted) {
  return static_cast<std::size_t>(wanted < 1 || wanted > kMaxPartSize ? kMaxPartSize : wanted);
}

// Checked in a fixed order, so that the first missing setting is the one reported.
UploadParams ReadParams(db::Query& query, bool full) {
  query.SetSql(kParamsSql);
  query.Open();
  UploadParams params;
  params.priceSql = util::Trim(query.FieldByName("ZELVORANT_PRICESSQL").AsString());
  if (params.priceSql.empty()) throw std::runtime_error("No ZELVORANT_PRICESSQL");
  params.storeId = util::Trim(query.FieldByName("ZELVORANT_STORE_UUID").AsString());
  if (params.storeId.empty()) throw std::runtime_error("No ZELVORANT_STORE_UUID");
  params.partSize = BoundedPartSize(StrToInt(query.FieldByName("ZELVORANT_PARTCOUNT").AsString()));
  // NULL (no stored mark) reads as the zero date.
  if (!full) params.changeBound = query.FieldByName("ZELVORANT_WB_UPDATEDT").AsDateTime();
  query.Close();
  return params;
}

void OpenPriceSql(db::Query& query, const UploadParams& params) {
  query.SetSql(params.priceSql);
  query.Prepare();
  query.ParamByName("updatedt").SetDateTime(params.changeBound);
  query.Open();
}

// Braced initialisation runs in order, so the first missing column is the one reported.
PriceColumns FindColumns(const db::Query& query) {
  return PriceColumns{query.FieldByName("updatedt"),  query.FieldByName("part_id"),
                      query.FieldByName("bcode_izg"), query.FieldByName("sname"),
                      query.FieldByName("price"),     query.FieldByName("realquant"),
                      query.FieldByName("seria"),     query.FieldByName("sizg")};
}

void ReadItem(const PriceColumns& columns, PriceItem& item) {
  item.id = columns.partId.AsString();
  item.barcode = columns.barcode.AsString();
  item.name = columns.name.AsString();
  item.price = columns.price.AsString();
  item.available = columns.available.AsString();
  item.series = columns.series.AsString();
  item.brand = columns.brand.AsString();
}

// Posts one part and logs the marketplace's answer. A refused part does not stop the run: the
// outcome is in its protocol row and in the logged answer.
void PostPart(const std::string& body, std::int64_t taskId, const LogCallback& log) {
  std::string answer;  // fresh for every part, so a part without answer never shows another's
  ExchangeRequest("POST", kPricesPath, body, taskId, answer);
  log("--\r\n" + answer + "\r\n--");
}

class PartSender {
 public:
  PartSender(std::int64_t taskId, const LogCallback& log) : taskId_(taskId), log_(log) {}

  // A full part is kept on disk before it goes out; a file that cannot be written stops the run.
  void SendFull(const std::string& body) {
    SaveNextPartFile(body);
    PostPart(body, taskId_, log_);
  }

  // The last part goes out first and is kept on disk afterwards.
  void SendLast(const std::string& body) {
    PostPart(body, taskId_, log_);
    SaveNextPartFile(body);
  }

 private:
  void SaveNextPartFile(const std::string& body) {
    ++partsSent_;
    util::SaveStringToFile(body, Settings.ScratchFolder / ("part" + util::IntToStr3(partsSent_) + ".json"));
  }

  std::int64_t taskId_;
  const LogCallback& log_;
  std::int32_t partsSent_ = 0;
};

// Sends every row in parts and returns the new change mark: the latest updatedt seen, never
// below the change bound, so that a run without dated rows cannot reset the mark to the zero
// date (which would make the next partial run send the whole list).
util::DateTime SendRows(db::Query& query, const UploadParams& params, PartSender& sender) {
  PricePart part(params.storeId, params.partSize);
  PriceItem item;
  std::optional<PriceColumns> columns;
  util::DateTime newMark = params.changeBound;
  for (; !query.Eof(); query.Next()) {
    if (!columns) columns.emplace(FindColumns(query));
    const util::DateTime changed = columns->updatedt.AsDateTime();
    if (changed > newMark) newMark = changed;
    ReadItem(*columns, item);
    part.Add(item);
    if (part.Count() == params.partSize) sender.SendFull(part.Finish());
  }
  if (part.Count() > 0) sender.SendLast(part.Finish());
  return newMark;
}

void StoreChangeMark(db::Query& query, util::DateTime mark) {
  // Only updated, never inserted: without the row every cycle keeps running the full upload.
  query.SetSql("update params set PARAM_VALUE='" + util::FormatYmdHms(mark) +
               "' where param_id='ZELVORANT_WB_UPDATEDT'");
  query.ExecSQL();
}

void RollBackQuietly(db::Transaction& transaction) {
  try {
    if (transaction.Active()) transaction.Rollback();
  } catch (const std::exception&) {
    // The run's own failure is the one worth reporting.
  }
}

void RunUpload(db::Connection& db, bool full, std::int64_t taskId, const LogCallback& log) {
  const std::unique_ptr<db::Query> query = db::CreateQuery(db);
  try {
    const UploadParams params = ReadParams(*query, full);
    OpenPriceSql(*query, params);
    PartSender sender(taskId, log);
    const util::DateTime newMark = SendRows(*query, params, sender);
    query->Close();
    StoreChangeMark(*query, newMark);
    query->GetTransaction().Commit();
  } catch (...) {
    // Releasing the query would commit what it holds; a failed run must leave the mark as it was.
    RollBackQuietly(query->GetTransaction());
    throw;
  }
}

}  // namespace

void UploadPrices(db::Connection& db, bool full, const LogCallback& log) {
  const std::int64_t taskId = TaskCreate(full ? "POSTALLPRICES" : "POSTPRICES", "", 1);
  try {
    RunUpload(db, full, taskId, log);
  } catch (const std::exception& e) {
    TaskFinish(-2, e.what(), taskId);
    return;
  }
  TaskFinish(1, "", taskId);
}

}  // namespace qdz::exchange
