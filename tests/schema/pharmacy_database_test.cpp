// The reference pharmacy database as the service meets it: its procedures, the goods
// trigger, the sample price SQL and the service's own statements, checked through
// isql-fb alone so that a fault of our database layer cannot hide one here.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/test_database.h"

namespace qdz::testing {
namespace {

class PharmacyDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Execute(
        "insert into GOODS (PART_ID, BARCODE, NAME, PRODUCER, SERIES, PRICE, QUANTITY, UPDATEDT)"
        " values (10452, '4601234567890', 'Аскорбиновая кислота 50 мг №200', 'Витамины',"
        " '0423', 35.50, 12, '2024-03-05 10:00:00');\n"
        "insert into GOODS (PART_ID, NAME, PRICE, QUANTITY, UPDATEDT)"
        " values (10453, 'Бинт марлевый 5 м x 10 см', 41, 3.5, '2024-03-05 12:00:00');\n"
        "insert into GOODS (PART_ID, NAME, PRICE, QUANTITY, UPDATEDT)"
        " values (10454, 'Глицин 100 мг №50', 52.10, 0, '2024-03-05 11:00:00');\n"));
  }

  void Execute(const std::string& sql) { ExecuteIsql(db_.path(), sql); }
  std::vector<IsqlRow> Query(const std::string& select) { return QueryIsql(db_.path(), select); }

  // The one value of a select that gives one row of one column.
  std::string Value(const std::string& select) {
    const auto rows = Query(select);
    if (rows.size() != 1 || rows[0].size() != 1) {
      ADD_FAILURE() << "not a single value: " << select;
      return "";
    }
    return rows[0].begin()->second;
  }

  std::string NewOrder(long long number, int marketplaceStatus) {
    return Value("select ORDER_UUID from ZV$PR_NEW_ORDER(" + std::to_string(number) +
                 ", '2024-03-05 09:30:00', 'Иванова Анна', 'anna@example.ru', '+79001234567', null, " +
                 std::to_string(marketplaceStatus) + ");");
  }

  IsqlRow AddItem(int line, const std::string& orderUuid, const std::string& partId,
                  long long quantity) {
    return SingleRow("select ERROR_CODE, ERROR_TEXT from ZV$PR_ORDER_ADD(" + std::to_string(line) +
                     ", '" + orderUuid + "', '" + partId + "', " + std::to_string(quantity) +
                     ", 35.5);");
  }

  IsqlRow CommitOrder(const std::string& orderUuid) {
    return SingleRow("select ERROR_CODE, ERROR_TEXT from ZV$PR_COMMIT_ORDER('" + orderUuid +
                     "', 1, '', 71.0);");
  }

  IsqlRow SingleRow(const std::string& select) {
    const auto rows = Query(select);
    if (rows.size() != 1) {
      ADD_FAILURE() << rows.size() << " rows from " << select;
      return {};
    }
    return rows[0];
  }

  std::string ItemCount(const std::string& orderUuid) {
    return Value("select count(*) from I_ORDER_ITEMS where d$uuid = '" + orderUuid + "';");
  }

  TestDatabase db_;
};

TEST_F(PharmacyDatabaseTest, OrderWithItemIsCreatedAndCommitted) {
  const std::string uuid = NewOrder(101, 1);
  EXPECT_TRUE(std::regex_match(uuid, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")))
      << uuid;

  const IsqlRow added = AddItem(1, uuid, "10452", 2);
  EXPECT_EQ(added.at("ERROR_CODE"), "0");
  const IsqlRow committed = CommitOrder(uuid);
  EXPECT_EQ(committed.at("ERROR_CODE"), "0");

  const IsqlRow order = SingleRow(
      "select VNUM, ORDER_DATE, CLIENT_NAME, CLIENT_EMAIL, CLIENT_PHONE, I_STATUS, STATUS, SUMMA"
      " from i_orders where d$uuid = '" + uuid + "';");
  EXPECT_EQ(order.at("VNUM"), "101");
  EXPECT_EQ(order.at("ORDER_DATE"), "2024-03-05 09:30:00.0000");
  EXPECT_EQ(order.at("CLIENT_NAME"), "Иванова Анна");
  EXPECT_EQ(order.at("CLIENT_EMAIL"), "anna@example.ru");
  EXPECT_EQ(order.at("CLIENT_PHONE"), "+79001234567");
  EXPECT_EQ(order.at("I_STATUS"), "1");
  EXPECT_EQ(order.at("STATUS"), "1");
  EXPECT_EQ(order.at("SUMMA"), "71.00");

  const IsqlRow item = SingleRow("select I_ID, PART_ID, QUANT, PRICE from I_ORDER_ITEMS where d$uuid = '" +
                                 uuid + "';");
  EXPECT_EQ(item.at("I_ID"), "1");
  EXPECT_EQ(item.at("PART_ID"), "10452");
  EXPECT_EQ(item.at("QUANT"), "2.000");
  EXPECT_EQ(item.at("PRICE"), "35.50");
}

TEST_F(PharmacyDatabaseTest, RefusedItemsGiveNegativeCodeAndRussianText) {
  struct Case {
    const char* what;
    std::string partId;
    long long quantity;
    std::string code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"unknown code", "99999", 1, "-2", "Товар с кодом \"99999\" не найден"},
      {"not a number", "abc", 1, "-2", "Товар с кодом \"abc\" не найден"},
      {"empty", "", 1, "-2", "Товар с кодом \"\" не найден"},
      {"beyond the code range", "123456789012", 1, "-2", "Товар с кодом \"123456789012\" не найден"},
      {"zero quantity", "10452", 0, "-3", "Количество товара 10452 должно быть больше нуля (получено 0)"},
      {"negative quantity", "10453", -2, "-3", "Количество товара 10453 должно быть больше нуля (получено -2)"},
  };
  const std::string uuid = NewOrder(102, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const IsqlRow result = AddItem(1, uuid, c.partId, c.quantity);
    EXPECT_EQ(result.at("ERROR_CODE"), c.code);
    EXPECT_EQ(result.at("ERROR_TEXT"), c.text);
  }
  EXPECT_EQ(ItemCount(uuid), "0");

  const IsqlRow unknownOrder = AddItem(1, "no-such-order", "10452", 1);
  EXPECT_EQ(unknownOrder.at("ERROR_CODE"), "-1");
  EXPECT_EQ(unknownOrder.at("ERROR_TEXT"), "Заказ no-such-order не найден");
}

TEST_F(PharmacyDatabaseTest, CommitNeedsItemsUnlessTheOrderIsCancelled) {
  struct Case {
    const char* what;
    long long number;
    int marketplaceStatus;
    bool withItem;
    std::string code;
    std::string text;
    std::string statusAfter;
  };
  const std::vector<Case> cases = {
      {"accepted with an item", 201, 1, true, "0", "", "1"},
      {"accepted without items", 202, 1, false, "-2", "Заказ не содержит ни одной позиции", "0"},
      {"cancelled without items", 203, 3, false, "0", "", "3"},
      {"cancelled with an item", 204, 3, true, "0", "", "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string uuid = NewOrder(c.number, c.marketplaceStatus);
    if (c.withItem) {
      ASSERT_EQ(AddItem(1, uuid, "10452", 1).at("ERROR_CODE"), "0");
    }
    const IsqlRow result = CommitOrder(uuid);
    EXPECT_EQ(result.at("ERROR_CODE"), c.code);
    EXPECT_EQ(result.at("ERROR_TEXT"), c.text);
    EXPECT_EQ(Value("select STATUS from i_orders where d$uuid = '" + uuid + "';"), c.statusAfter);
  }

  const IsqlRow unknown = CommitOrder("no-such-order");
  EXPECT_EQ(unknown.at("ERROR_CODE"), "-1");
  EXPECT_EQ(unknown.at("ERROR_TEXT"), "Заказ no-such-order не найден");
}

// An order listed again after a lost acknowledgement is rebuilt, not duplicated.
TEST_F(PharmacyDatabaseTest, OrderNumberListedAgainKeepsItsUuidAndTakesNewLines) {
  const std::string first = NewOrder(300, 1);
  ASSERT_EQ(AddItem(1, first, "10452", 1).at("ERROR_CODE"), "0");
  ASSERT_EQ(AddItem(2, first, "10453", 1).at("ERROR_CODE"), "0");
  ASSERT_EQ(CommitOrder(first).at("ERROR_CODE"), "0");

  const std::string again = NewOrder(300, 1);
  EXPECT_EQ(again, first);
  EXPECT_EQ(ItemCount(first), "0");
  EXPECT_EQ(Value("select STATUS from i_orders where VNUM = 300;"), "0");

  ASSERT_EQ(AddItem(1, again, "10454", 4).at("ERROR_CODE"), "0");
  ASSERT_EQ(AddItem(1, again, "10453", 5).at("ERROR_CODE"), "0");  // the same line replaced
  ASSERT_EQ(CommitOrder(again).at("ERROR_CODE"), "0");
  const IsqlRow item = SingleRow("select I_ID, PART_ID, QUANT from I_ORDER_ITEMS where d$uuid = '" + first + "';");
  EXPECT_EQ(item.at("PART_ID"), "10453");
  EXPECT_EQ(item.at("QUANT"), "5.000");
  EXPECT_EQ(Value("select STATUS from i_orders where VNUM = 300;"), "1");
}

// The sample price SQL with its :updatedt replaced by a literal, as the service binds it.
class PriceSqlTest : public PharmacyDatabaseTest {
 protected:
  std::vector<IsqlRow> RunPriceSql(const std::string& changeBound) {
    std::string sql = Value("select cast(PARAM_VALUE as varchar(4000)) from params"
                            " where param_id = 'ZELVORANT_PRICESSQL';");
    const std::size_t at = sql.find(":updatedt");
    if (at == std::string::npos) {
      ADD_FAILURE() << "no :updatedt in " << sql;
      return {};
    }
    sql.replace(at, 9, "cast('" + changeBound + "' as timestamp)");
    return Query(sql + ";");
  }

  static std::set<std::string> PartIds(const std::vector<IsqlRow>& rows) {
    std::set<std::string> ids;
    for (const IsqlRow& row : rows) ids.insert(row.at("PART_ID"));
    return ids;
  }
};

TEST_F(PriceSqlTest, ReturnsTheEightColumnsOfEveryRowForTheZeroDate) {
  const auto rows = RunPriceSql("1899-12-30 00:00:00");
  ASSERT_EQ(PartIds(rows), (std::set<std::string>{"10452", "10453", "10454"}));
  for (const IsqlRow& row : rows) {
    std::set<std::string> columns;
    for (const auto& [name, value] : row) columns.insert(name);
    EXPECT_EQ(columns, (std::set<std::string>{"UPDATEDT", "PART_ID", "BCODE_IZG", "SNAME", "PRICE",
                                              "REALQUANT", "SERIA", "SIZG"}));
  }
  for (const IsqlRow& row : rows) {
    if (row.at("PART_ID") != "10452") continue;
    EXPECT_EQ(row.at("UPDATEDT"), "2024-03-05 10:00:00.0000");
    EXPECT_EQ(row.at("BCODE_IZG"), "4601234567890");
    EXPECT_EQ(row.at("SNAME"), "Аскорбиновая кислота 50 мг №200");
    EXPECT_EQ(row.at("PRICE"), "35.50");
    EXPECT_EQ(row.at("REALQUANT"), "12.000");
    EXPECT_EQ(row.at("SERIA"), "0423");
    EXPECT_EQ(row.at("SIZG"), "Витамины");
  }
}

TEST_F(PriceSqlTest, SendsWhatChangedAfterTheBoundAndAlwaysTheNewestRow) {
  // 10452 changed at 10:00, 10454 at 11:00, 10453 at 12:00.
  struct Case {
    std::string bound;
    std::set<std::string> partIds;
  };
  const std::vector<Case> cases = {
      {"2024-03-05 10:30:00", {"10453", "10454"}},
      {"2024-03-05 11:00:00", {"10453"}},  // strictly later only
      // Nothing changed: the newest row comes back alone, so the mark stays put
      // instead of falling back to the zero date.
      {"2024-03-05 12:00:00", {"10453"}},
      {"2024-03-06 00:00:00", {"10453"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bound);
    EXPECT_EQ(PartIds(RunPriceSql(c.bound)), c.partIds);
  }
}

TEST_F(PharmacyDatabaseTest, ChangingAPublishedColumnMovesUpdatedt) {
  struct Case {
    const char* statement;  // on a row changed at 2024-03-05 10:00:00, part 10452
    const char* outcome;    // kept, moved (to the current time) or the explicit value
  };
  const std::vector<Case> cases = {
      {"update GOODS set PRICE = 36 where PART_ID = 10452", "moved"},
      {"update GOODS set QUANTITY = 0 where PART_ID = 10452", "moved"},
      {"update GOODS set NAME = 'Аскорбинка' where PART_ID = 10452", "moved"},
      {"update GOODS set BARCODE = null where PART_ID = 10452", "moved"},
      {"update GOODS set SERIES = '0524', PRODUCER = 'Марбиофарм' where PART_ID = 10452", "moved"},
      {"update GOODS set PRICE = PRICE, QUANTITY = QUANTITY where PART_ID = 10452", "kept"},
      {"update GOODS set PRICE = 1, UPDATEDT = '2030-01-01 00:00:00' where PART_ID = 10452", "explicit"},
  };
  const std::string outcome =
      "select case when UPDATEDT = '2024-03-05 10:00:00' then 'kept'"
      " when UPDATEDT = '2030-01-01 00:00:00' then 'explicit'"
      " when UPDATEDT > dateadd(-1 hour to current_timestamp) then 'moved'"
      " else cast(UPDATEDT as varchar(30)) end from GOODS where PART_ID = 10452;";
  const std::string reset =
      "update GOODS set PRICE = 35.50, QUANTITY = 12, NAME = 'Аскорбиновая кислота', BARCODE = '1',"
      " SERIES = '0423', PRODUCER = 'Витамины', UPDATEDT = '2024-03-05 10:00:00' where PART_ID = 10452;\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(Value(reset + c.statement + ";\n" + outcome), c.outcome);
  }

  EXPECT_EQ(Value("insert into GOODS (PART_ID, NAME) values (10455, 'Новая позиция');\n"
                  "select cast(iif(UPDATEDT > dateadd(-1 hour to current_timestamp), 'now', 'old')"
                  " as varchar(3)) from GOODS where PART_ID = 10455;"),
            "now");
}

TEST_F(PharmacyDatabaseTest, ChangeMarkRowExistsAndCastsToTheDomain) {
  const std::string settings =
      "select (select cast(PARAM_VALUE as dm_datetime) from params"
      " where param_id='ZELVORANT_WB_UPDATEDT') as ZELVORANT_WB_UPDATEDT from rdb$database;";
  EXPECT_EQ(Value(settings), "<null>");

  const std::vector<std::pair<std::string, std::string>> marks = {
      {"2024-03-05 14:07:09", "2024-03-05 14:07:09.0000"},
      {"1899-12-30 00:00:00", "1899-12-30 00:00:00.0000"},
  };
  for (const auto& [text, timestamp] : marks) {
    SCOPED_TRACE(text);
    // The upload's statement, word for word with its mark inline.
    Execute("update params set PARAM_VALUE='" + text + "' where param_id='ZELVORANT_WB_UPDATEDT';");
    EXPECT_EQ(Value(settings), timestamp);
  }
}

// Every statement the service sends, with its parameters written as literals: a missing
// column, a wrong type or a missing object fails here before it fails in the service.
TEST_F(PharmacyDatabaseTest, ServiceStatementsRunAsWritten) {
  const std::vector<std::string> statements = {
      "update or insert into I_ORDER_TASKS (id, TASK_TYPE, STATUS) values (-1, 'ZELVORANT_MAIN',0)",
      "update or insert into I_ORDER_TASKS (id, TASK_TYPE, STATUS) values (-1, 'ZELVORANT_MAIN',0)",
      "select (select param_value from params where param_id='ZELVORANT_URL') as ZELVORANT_URL, "
      "(select param_value from params where param_id='ZELVORANT_MC') as ZELVORANT_MC, "
      "(select param_value from params where param_id='ZELVORANT_AUTH_TOKEN') as ZELVORANT_AUTH_TOKEN, "
      "(select param_value from params where param_id='ZV_PARTPRICES_INTERVAL') as ZV_PARTPRICES_INTERVAL, "
      "(select cast(PARAM_VALUE as dm_datetime) from params where param_id='ZELVORANT_WB_UPDATEDT') as "
      "ZELVORANT_WB_UPDATEDT from rdb$database",
      "select first 1 ENDDT from I_ORDER_TASKS where TASK_TYPE='POSTALLPRICES' and enddt is not null and "
      "status=1 and endflag=1 order by id desc",
      "select first 1 ENDDT from I_ORDER_TASKS where TASK_TYPE in ('POSTPRICES','POSTALLPRICES') and enddt "
      "is not null and status=1 and endflag=1 order by id desc",
      "select gen_id(gen_i_order_tasks_id,1) as nn from rdb$database",
      "insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS, STARTDT) values (1, 'POSTALLPRICES', '', 1, 'now')",
      "update I_ORDER_TASKS set STARTDT='now', status=1 where id=1",
      "update I_ORDER_TASKS set endflag=-2, endtext='', ENDDT='now' where id=1",
      "select gen_id(gen_zv$prot_id,1) as nn from rdb$database",
      "insert into ZV$PROT (ID, METHOD, CMD, SENDDATA, STATUS, STARTDT, task_id) values (1, 'POST', "
      "'/exch/v4/prices', '{}', 0, 'now', 0)",
      "update ZV$PROT set endflag=1, endtext='HTTP 200 OK', ENDDT='now' where id=1",
      "select (select cast(PARAM_VALUE as dm_datetime) from params where param_id='ZELVORANT_WB_UPDATEDT') as "
      "ZELVORANT_WB_UPDATEDT, (select PARAM_VALUE from params where param_id='ZELVORANT_PRICESSQL') as "
      "ZELVORANT_PRICESSQL, (select PARAM_VALUE from params where param_id='ZELVORANT_STORE_UUID') as "
      "ZELVORANT_STORE_UUID, (select PARAM_VALUE from params where param_id='ZELVORANT_PARTCOUNT') as "
      "ZELVORANT_PARTCOUNT from rdb$database",
      "select (select PARAM_VALUE from params where param_id='ZELVORANT_STORE_UUID') as ZELVORANT_STORE_UUID "
      "from rdb$database",
      "select id, SENDDATA from I_ORDER_TASKS where TASK_TYPE='SET_ORDER_STATUS' and status=0 and endflag is "
      "null order by id",
      "update i_orders set STATUS=-3, STATUS_INFO='Заказ не содержит ни одной позиции', I_SOURCE='---{}' "
      "where d$uuid='no-such-order'",
      "update i_orders set I_SOURCE='---{}' where d$uuid='no-such-order'",
  };
  std::string script;
  for (const std::string& statement : statements) script += statement + ";\n";
  // One session; on a failure isql names the statement and its line.
  ASSERT_NO_FATAL_FAILURE(Execute(script));
  EXPECT_EQ(Value("select TASK_TYPE || ' ' || STATUS from I_ORDER_TASKS where ID = -1;"), "ZELVORANT_MAIN 0");
}

}  // namespace
}  // namespace qdz::testing
