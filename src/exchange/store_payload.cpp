#include "exchange/store_payload.h"

#include <memory>
#include <stdexcept>

#include "db/query.h"
#include "db/query_factory.h"
#include "exchange/json_text.h"
#include "exchange/settings.h"
#include "util/files.h"
#include "util/trim.h"

namespace qdz::exchange {
namespace {

constexpr const char* kStoreIdSql =
    "select (select PARAM_VALUE from params where param_id='ZELVORANT_STORE_UUID') as "
    "ZELVORANT_STORE_UUID from rdb$database";

std::string ReadStoreId(db::Connection& db) {
  const std::unique_ptr<db::Query> query = db::CreateQuery(db);
  query->SetSql(kStoreIdSql);
  query->Open();
  std::string storeId = util::Trim(query->FieldByName("ZELVORANT_STORE_UUID").AsString());
  query->Close();
  return storeId;
}

}  // namespace

void BuildDeletePayload(db::Connection& db, std::string& payload) {
  const std::string storeId = ReadStoreId(db);
  if (storeId.empty()) throw std::runtime_error("No ZELVORANT_STORE_UUID");
  const auto fileName = Settings.ScratchFolder / ("_delete_" + storeId + ".json");
  // Escaped so that a store id with a quote or backslash cannot break the JSON; every id that
  // was valid before keeps its bytes.
  std::string text = "{\"store_id\": \"" + JsonEscapeString(storeId) + "\"}";
  util::SaveStringToFile(text, fileName);
  payload = std::move(text);
}

}  // namespace qdz::exchange
