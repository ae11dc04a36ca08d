// Two copies of the service on one database: the cycle lock row keeps their cycles apart.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_fixture.h"

namespace qdz::e2e {
namespace {

struct LockCase {
  const char* name;
  bool lockRowExists;  // false: the first cycle ever, which inserts the lock row
  const char* conflict;  // what the database says to the second copy
};

void PrintTo(const LockCase& lockCase, std::ostream* out) { *out << lockCase.name; }

class TwoCopies : public ::testing::TestWithParam<LockCase> {};

TEST_P(TwoCopies, SecondCopyFindsTheCycleLockedAndTheFirstFinishesItsWorkWhole) {
  ScenarioDatabase db;
  if (GetParam().lockRowExists) {
    db.Execute("insert into I_ORDER_TASKS (ID, TASK_TYPE, STATUS) values (-1, 'ZELVORANT_MAIN', 0)");
  }
  db.AddGoods(20);
  Marketplace market;
  market.Serve(db);
  market.SetOrders(OrderList(101, 3));
  // The first copy's download waits, so that its cycle (and its lock) is surely under way.
  market.SetFaults(Json::array({{{"path", "/exch/v4/orders"}, {"method", "GET"}, {"delay_ms", 4000}, {"count", 1}}}));

  ServiceCopy first(db.name());
  ServiceCopy second(db.name());
  first.Start({"-once"});
  ASSERT_TRUE(market.WaitForRequest("GET", "/exch/v4/orders")) << first.LogBytes();
  EXPECT_EQ(second.RunOnce(), 0) << second.Output();
  ASSERT_EQ(first.WaitExit(), 0) << first.LogBytes();

  // The second copy stopped at the lock and said why, in the database's own words.
  const std::vector<std::string> messages = second.LogMessages();
  const auto lockLine = std::find_if(messages.begin(), messages.end(), [](const std::string& message) {
    return message.starts_with(Cp1251("Не завершен предыдущий процесс ("));
  });
  ASSERT_NE(lockLine, messages.end()) << second.LogBytes();
  EXPECT_NE(lockLine->find(GetParam().conflict), std::string::npos) << *lockLine;
  EXPECT_TRUE(lockLine->ends_with(")")) << *lockLine;
  ASSERT_NE(lockLine + 1, messages.end());
  EXPECT_EQ(*(lockLine + 1), "-------ZELVORANT_MAIN - OK");
  EXPECT_EQ(second.LogBytes().find(Cp1251("Чтение параметров...")), std::string::npos);

  // The marketplace saw one copy's work only.
  EXPECT_EQ(market.Requests("DELETE", "/exch/v1/prices").size(), 1u);
  EXPECT_EQ(market.Requests("GET", "/exch/v4/orders").size(), 1u);
  EXPECT_EQ(market.Requests("POST", "/exch/v4/orders/exported").size(), 1u);
  EXPECT_EQ(market.Exported(), OrderNumbers(101, 3));
  EXPECT_EQ(market.Published(kStoreId).size(), 20u);

  // The first copy's batches are whole and closed; nothing of the second copy is in the journal.
  const auto tasks = db.Query("select TASK_TYPE, STATUS, ENDFLAG from I_ORDER_TASKS where ID > 0 order by ID");
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_EQ(tasks[0].at("TASK_TYPE"), "POSTALLPRICES");
  EXPECT_EQ(tasks[1].at("TASK_TYPE"), "GETORDERS");
  for (const auto& task : tasks) EXPECT_EQ(task.at("ENDFLAG"), "1") << task.at("TASK_TYPE");
  EXPECT_EQ(db.Value("select count(*) as N from ZV$PROT where endflag is distinct from 1"), "0");
  EXPECT_EQ(db.Value("select count(*) as N from ZV$PROT"), "4");
  EXPECT_EQ(db.Value("select count(distinct VNUM) || '/' || count(*) as N from i_orders where STATUS = 1"), "3/3");
  EXPECT_EQ(db.Value("select count(*) as N from I_ORDER_ITEMS"), "3");
}

INSTANTIATE_TEST_SUITE_P(
    LockRow, TwoCopies,
    ::testing::Values(LockCase{"Held", true, "update conflicts with concurrent update"},
                      LockCase{"BeingInsertedByTheFirstCycleEver", false,
                               "violation of PRIMARY or UNIQUE KEY constraint \"PK_I_ORDER_TASKS\""}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace qdz::e2e
