// A stop request (SIGTERM as systemd sends it, SIGINT as Ctrl-C does) in the middle of a cycle
// against a real server: the cycle finishes its work on its database connection, then the
// service stops. The Firebird client library reacts to both signals itself by shutting down
// every attachment; the service must keep its own, later stop.
#include <gtest/gtest.h>
#include <signal.h>

#include "e2e_fixture.h"

namespace qdz::e2e {
namespace {

TEST(StopRequest, ASignalDuringACycleLetsTheCycleFinishThenStops) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    ScenarioDatabase db;
    db.AddGoods(20);
    Marketplace market;
    market.Serve(db);
    market.SetOrders(OrderList(401, 3));
    market.SetFaults(Json::array({{{"path", "/exch/v4/orders"}, {"method", "GET"}, {"delay_ms", 1500}, {"count", 1}}}));
    const long long statusTask = db.QueueStatusChange("id=401\r\nstatus_id=2\r\n");

    ServiceCopy service(db.name(), 30);
    service.Start();
    ASSERT_TRUE(market.WaitForRequest("GET", "/exch/v4/orders")) << service.LogBytes();
    service.Signal(signal);
    EXPECT_EQ(service.WaitExit(), 0) << service.Output();

    const std::vector<std::string> messages = service.LogMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], "-------ZELVORANT_MAIN - OK") << service.LogBytes();
    EXPECT_EQ(messages.back(), Cp1251("Штатная остановка службы"));
    EXPECT_EQ(service.LogBytes().find("EXCEPTION"), std::string::npos) << service.LogBytes();
    EXPECT_EQ(db.Value("select ENDFLAG from I_ORDER_TASKS where TASK_TYPE = 'GETORDERS'"), "1");
    EXPECT_EQ(db.Value("select ENDFLAG from I_ORDER_TASKS where ID = " + std::to_string(statusTask)), "1");
    EXPECT_EQ(db.Value("select count(*) as N from i_orders where STATUS = 1"), "3");
    EXPECT_EQ(market.Exported(), OrderNumbers(401, 3));
  }
}

}  // namespace
}  // namespace qdz::e2e
