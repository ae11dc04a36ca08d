// The floor for one order download: the statements the import runs for it, prepared once and
// executed in one loop on one transaction with one commit, and nothing around them: no HTTP, no
// journal rows, no log. Every order gets the same I_SOURCE as in the import ("---" and the whole
// download), so the database does the same work.
//
//   orders-floor DATABASE ORDERS_JSON
//
// Prints "orders <n> items <m> seconds <s>" (the loop and its commit, without start-up).
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "db/connection.h"
#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "util/codepage.h"
#include "util/datetime.h"

namespace {

using Json = nlohmann::json;
using qdz::db::Query;

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("cannot read ") + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Text(const Json& object, const char* name) {
  const auto it = object.find(name);
  return it == object.end() || !it->is_string() ? std::string() : qdz::util::Utf8ToCp1251(it->get<std::string>());
}

struct Statements {
  explicit Statements(qdz::db::Connection& db)
      : newOrder(qdz::db::CreateQuery(db)),
        addItem(qdz::db::CreateQueryOn(newOrder->GetTransaction())),
        commitOrder(qdz::db::CreateQueryOn(newOrder->GetTransaction())),
        setSource(qdz::db::CreateQueryOn(newOrder->GetTransaction())) {
    Prepare(*newOrder,
            "select ORDER_UUID from ZV$PR_NEW_ORDER(:vnum,:ORDER_DATE,:CLIENT_NAME, :CLIENT_EMAIL, "
            ":CLIENT_PHONE, :CLIENT_UUID, :i_status)");
    Prepare(*addItem, "select ERROR_CODE, ERROR_TEXT from ZV$PR_ORDER_ADD(:I_ID,:ORDER_UUID,:PART_ID,:QUANT,:PRICE)");
    Prepare(*commitOrder,
            "select ERROR_CODE, ERROR_TEXT from ZV$PR_COMMIT_ORDER(:ORDER_UUID,:STATUS,:STATUS_INFO,:SUMMA)");
    Prepare(*setSource, "update i_orders set I_SOURCE=:I_SOURCE where d$uuid=:order_uuid");
  }

  static void Prepare(Query& query, const char* sql) {
    query.SetSql(sql);
    query.Prepare();
  }

  std::unique_ptr<Query> newOrder, addItem, commitOrder, setSource;
};

std::int64_t ImportAll(qdz::db::Connection& db, const Json& list, const std::string& source) {
  Statements s(db);
  std::int64_t items = 0;
  for (const Json& order : list) {
    const double days = static_cast<double>(order.value("creation_date", std::int64_t{0})) / 86400.0 + 25569.0;
    s.newOrder->ParamByName("vnum").SetInt64(order.value("id", std::int64_t{0}));
    s.newOrder->ParamByName("ORDER_DATE").SetDateTime(qdz::util::DateTime{days});
    s.newOrder->ParamByName("CLIENT_NAME").SetString(Text(order, "fio"));
    s.newOrder->ParamByName("CLIENT_EMAIL").SetString(Text(order, "email"));
    s.newOrder->ParamByName("CLIENT_PHONE").SetString(Text(order, "phone"));
    s.newOrder->ParamByName("CLIENT_UUID").SetNull();
    s.newOrder->ParamByName("i_status").SetInt(order.value("status_id", 0));
    s.newOrder->Open();
    const std::string uuid = s.newOrder->FieldByName("ORDER_UUID").AsString();
    s.newOrder->Close();
    for (const Json& item : order.at("items")) {
      s.addItem->ParamByName("I_ID").SetInt64(item.value("id", std::int64_t{0}));
      s.addItem->ParamByName("ORDER_UUID").SetString(uuid);
      s.addItem->ParamByName("PART_ID").SetString(Text(item, "item_id"));
      s.addItem->ParamByName("QUANT").SetInt64(std::llround(item.value("quantity", 0.0)));
      s.addItem->ParamByName("PRICE").SetDouble(item.value("price", 0.0));
      s.addItem->Open();
      s.addItem->Close();
      ++items;
    }
    s.commitOrder->ParamByName("ORDER_UUID").SetString(uuid);
    s.commitOrder->ParamByName("STATUS").SetInt(1);
    s.commitOrder->ParamByName("STATUS_INFO").SetString("");
    s.commitOrder->ParamByName("SUMMA").SetDouble(order.value("total_amount", 0.0));
    s.commitOrder->Open();
    s.commitOrder->Close();
    s.setSource->ParamByName("I_SOURCE").SetString(source);
    s.setSource->ParamByName("order_uuid").SetString(uuid);
    s.setSource->ExecSQL();
  }
  s.newOrder->GetTransaction().Commit();
  return items;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: orders-floor DATABASE ORDERS_JSON\n";
    return 2;
  }
  try {
    const std::string download = ReadFile(argv[2]);
    const Json list = Json::parse(download).at("list");
    qdz::db::Connection db;
    db.SetDatabaseName(argv[1]);
    db.SetParams("user_name=SYSDBA\r\nlc_ctype=WIN1251");
    db.Connect();
    const auto start = std::chrono::steady_clock::now();
    const std::int64_t items = ImportAll(db, list, "---" + qdz::util::Utf8ToCp1251(download));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::cout << "orders " << list.size() << " items " << items << " seconds " << elapsed.count() << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "orders-floor: " << e.what() << "\n";
    return 1;
  }
}
