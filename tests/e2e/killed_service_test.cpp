// The service is killed (SIGKILL: no clean-up of any kind) in the middle of its work and started
// again: what it left open stays visible, nothing half-done counts as done, and the next cycle
// completes the work.
#include <gtest/gtest.h>
#include <signal.h>

#include "e2e_fixture.h"

namespace qdz::e2e {
namespace {

// What an operator sees with -report: the task rows a killed run left open.
std::vector<std::string> OpenTaskTypes(ServiceCopy& service) {
  service.Start({"-report", "--json"});
  EXPECT_EQ(service.WaitExit(), 0) << service.Output();
  std::vector<std::string> types;
  const Json report = Json::parse(service.Output());
  for (const Json& task : report["open_tasks"]) types.push_back(task["type"]);
  return types;
}

TEST(KilledService, MidPriceUploadLeavesTheTaskOpenAndTheMarkUnmovedAndTheNextCycleUploadsAgain) {
  ScenarioDatabase db;
  db.AddGoods(1200);  // three parts of 500, 500 and 200
  Marketplace market;
  market.Serve(db);
  // The first part goes through; the second one's answer never comes before the kill.
  market.SetFaults(Json::array({{{"path", "/exch/v4/prices"}, {"delay_ms", 1}, {"count", 1}},
                                {{"path", "/exch/v4/prices"}, {"delay_ms", 20000}, {"count", 1}}}));
  ServiceCopy service(db.name());
  service.Start({"-once"});
  ASSERT_TRUE(market.WaitForRequest("POST", "/exch/v4/prices", 2)) << service.LogBytes();
  service.Signal(SIGKILL);
  ASSERT_EQ(service.WaitExit(), 128 + SIGKILL);

  // Left open and visible: the upload's task row and the exchange of the second part.
  const auto tasks = db.Query("select TASK_TYPE, STATUS, ENDFLAG from I_ORDER_TASKS where ID > 0");
  ASSERT_EQ(tasks.size(), 1u);
  EXPECT_EQ(tasks[0].at("TASK_TYPE"), "POSTALLPRICES");
  EXPECT_EQ(tasks[0].at("STATUS"), "1");
  EXPECT_EQ(tasks[0].at("ENDFLAG"), "<null>");
  const auto exchanges = db.Query("select CMD, ENDFLAG from ZV$PROT order by ID");
  ASSERT_EQ(exchanges.size(), 3u);
  EXPECT_EQ(exchanges[0].at("CMD"), "/exch/v1/prices");
  EXPECT_EQ(exchanges[1].at("ENDFLAG"), "1");
  EXPECT_EQ(exchanges[2].at("ENDFLAG"), "<null>");
  // The change mark did not move: the upload never reached its end.
  EXPECT_EQ(db.Value("select PARAM_VALUE from params where param_id = 'ZELVORANT_WB_UPDATEDT'"), "<null>");
  EXPECT_FALSE(service.LogBytes().ends_with(Cp1251("полная выгрузка прайсов - ОК") + "\r\n"));
  EXPECT_EQ(OpenTaskTypes(service), std::vector<std::string>{"POSTALLPRICES"});

  // Started again: the lock is free, no full upload counts as done, so it runs whole again.
  market.SetFaults(Json::array());
  ASSERT_EQ(service.RunOnce(), 0) << service.LogBytes();
  EXPECT_EQ(service.LogBytes().find(Cp1251("Не завершен предыдущий процесс")), std::string::npos);
  const auto uploads = db.Query("select ENDFLAG from I_ORDER_TASKS where TASK_TYPE = 'POSTALLPRICES' order by ID");
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_EQ(uploads[0].at("ENDFLAG"), "<null>");
  EXPECT_EQ(uploads[1].at("ENDFLAG"), "1");
  EXPECT_EQ(db.Value("select count(*) as N from ZV$PROT where ID > 3 and CMD = '/exch/v4/prices' and endflag = 1"),
            "3");
  EXPECT_NE(db.Value("select PARAM_VALUE from params where param_id = 'ZELVORANT_WB_UPDATEDT'"), "<null>");
  EXPECT_EQ(market.Requests("DELETE", "/exch/v1/prices").size(), 2u);
  EXPECT_EQ(market.Published(kStoreId).size(), 1200u);
}

TEST(KilledService, MidOrderImportCommitsNothingOfTheBatchAndTheNextCycleTakesEveryOrderOnce) {
  constexpr int kOrders = 300;  // some seconds of batch over TCP, ample time for the kill
  ScenarioDatabase db;
  db.AddGoods(20);
  db.MarkFullUploadDone();
  Marketplace market;
  market.Serve(db);
  market.SetOrders(OrderList(5001, kOrders));
  ServiceCopy service(db.name());
  service.Start({"-once"});
  // Orders are logged one by one as the batch creates them.
  ASSERT_TRUE(service.WaitForLog("id=5040 from ")) << service.LogBytes();
  service.Signal(SIGKILL);
  ASSERT_EQ(service.WaitExit(), 128 + SIGKILL);
  const std::string log = service.LogBytes();
  ASSERT_EQ(log.find("--mark exported--"), std::string::npos) << "the batch ended before the kill: too few orders";
  EXPECT_EQ(log.find("id=" + std::to_string(5000 + kOrders) + " from "), std::string::npos);

  // Nothing of the batch was committed, nothing was acknowledged, the import's row stays open.
  EXPECT_EQ(db.Value("select count(*) as N from i_orders"), "0");
  EXPECT_EQ(db.Value("select count(*) as N from I_ORDER_ITEMS"), "0");
  EXPECT_EQ(db.Value("select ENDFLAG from I_ORDER_TASKS where TASK_TYPE = 'GETORDERS'"), "<null>");
  EXPECT_TRUE(market.Requests("POST", "/exch/v4/orders/exported").empty());
  EXPECT_TRUE(market.Exported().empty());
  EXPECT_EQ(OpenTaskTypes(service), std::vector<std::string>{"GETORDERS"});

  ASSERT_EQ(service.RunOnce(), 0) << service.LogBytes();
  const auto imports = db.Query("select ENDFLAG from I_ORDER_TASKS where TASK_TYPE = 'GETORDERS' order by ID");
  ASSERT_EQ(imports.size(), 2u);
  EXPECT_EQ(imports[0].at("ENDFLAG"), "<null>");
  EXPECT_EQ(imports[1].at("ENDFLAG"), "1");
  const std::string all = std::to_string(kOrders);
  EXPECT_EQ(db.Value("select count(distinct VNUM) || '/' || count(*) as N from i_orders where STATUS = 1"),
            all + "/" + all);
  EXPECT_EQ(db.Value("select count(*) as N from I_ORDER_ITEMS"), all);
  EXPECT_EQ(market.Exported(), OrderNumbers(5001, kOrders));
}

}  // namespace
}  // namespace qdz::e2e
