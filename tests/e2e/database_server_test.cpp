// The database server goes away in the middle of a cycle and comes back.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "e2e_fixture.h"

namespace qdz::e2e {
namespace {

TEST(DatabaseServerStopped, TheCycleEndsWithTheErrorAndTheNextCycleReconnectsAndCarriesOn) {
  FirebirdServer server;  // a server of this test alone: stopping it disturbs no other test
  ScenarioDatabase db(server);
  db.AddGoods(20);
  Marketplace market;
  market.Serve(db);
  market.SetOrders(OrderList(301, 3));
  // The download waits while the server goes down (stopping it takes a second or two).
  market.SetFaults(Json::array({{{"path", "/exch/v4/orders"}, {"method", "GET"}, {"delay_ms", 5000}, {"count", 1}}}));

  ServiceCopy service(db.name(), 30);
  service.Start();
  ASSERT_TRUE(market.WaitForRequest("GET", "/exch/v4/orders")) << service.LogBytes();
  server.Stop();
  ASSERT_TRUE(service.WaitForLog("EXCEPTION in MAIN: ")) << service.LogBytes();
  EXPECT_TRUE(service.Running());
  server.Start();

  ASSERT_TRUE(service.WaitForLog("-------ZELVORANT_MAIN - OK", 1, 60s)) << service.LogBytes();
  service.Signal(SIGTERM);
  EXPECT_EQ(service.WaitExit(), 0);

  // The log: the failed cycle ends with the client's message, the next one runs whole.
  const std::vector<std::string> messages = service.LogMessages();
  const auto failure = std::find_if(messages.begin(), messages.end(), [](const std::string& message) {
    return message.starts_with("EXCEPTION in MAIN: ");
  });
  ASSERT_NE(failure, messages.end());
  EXPECT_GT(failure->size(), std::string("EXCEPTION in MAIN: ").size()) << "the client's message is missing";
  ASSERT_NE(failure + 1, messages.end());
  EXPECT_EQ(*(failure + 1), "-------ZELVORANT_MAIN...");
  EXPECT_EQ(messages.back(), Cp1251("Штатная остановка службы"));
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "-------ZELVORANT_MAIN - OK"), 1);

  // The interrupted import's row and its download stay open; nothing of it was committed
  // twice: the next cycle took every order once.
  const auto imports = db.Query("select ENDFLAG from I_ORDER_TASKS where TASK_TYPE = 'GETORDERS' order by ID");
  ASSERT_EQ(imports.size(), 2u);
  EXPECT_EQ(imports[0].at("ENDFLAG"), "<null>");
  EXPECT_EQ(imports[1].at("ENDFLAG"), "1");
  EXPECT_EQ(db.Value("select count(*) as N from ZV$PROT where CMD = '/exch/v4/orders' and METHOD = 'GET' and "
                     "endflag is null"),
            "1");
  EXPECT_EQ(db.Value("select count(distinct VNUM) || '/' || count(*) as N from i_orders where STATUS = 1"), "3/3");
  EXPECT_EQ(market.Exported(), OrderNumbers(301, 3));
  EXPECT_EQ(market.Requests("GET", "/exch/v4/orders").size(), 2u);
}

}  // namespace
}  // namespace qdz::e2e
