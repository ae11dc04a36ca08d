// The executable's folder becomes read-only: the scratch files ("_answer", the part files, the
// store payload) cannot be written. Each failure is recorded where it belongs, the service goes
// on, and once the folder is writable again the next cycle catches up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "e2e_fixture.h"

namespace qdz::e2e {
namespace {

constexpr uid_t kNobody = 65534;

// Root writes through any permission: as root the service runs as nobody, which may append to
// its log but create nothing in the folder.
std::optional<uid_t> MakeFolderReadOnly(const ServiceCopy& service) {
  const fs::path log = service.log();
  { std::ofstream create(log); }
  fs::permissions(log, fs::perms::all);
  fs::permissions(service.folder(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  if (::geteuid() != 0) return std::nullopt;
  fs::permissions(service.folder().parent_path(), fs::perms::all);  // nobody may reach the folder
  return kNobody;
}

std::string CannotCreate(const ServiceCopy& service, const std::string& file) {
  return "Cannot create file \"" + (fs::canonical(service.folder()) / file).string() + "\". Permission denied";
}

std::size_t ItemsIn(const Json& request) { return Json::parse(request["body"].get<std::string>())["list"].size(); }

TEST(ReadOnlyFolder, ScratchFileFailuresAreRecordedAndTheNextCycleCatchesUp) {
  ScenarioDatabase db;
  db.AddGoods(20);
  db.MarkFullUploadDone();
  db.SetParam("ZV_PARTPRICES_INTERVAL", "-1");
  const std::string markBefore = db.Value("select PARAM_VALUE from params where param_id = 'ZELVORANT_WB_UPDATEDT'");
  Marketplace market;
  market.Serve(db);
  market.SetOrders(OrderList(601, 2));
  const long long statusTask = db.QueueStatusChange("id=601\r\nstatus_id=2\r\n");
  ServiceCopy service(db.name());
  const std::optional<uid_t> user = MakeFolderReadOnly(service);

  ASSERT_EQ(service.RunOnce(user), 0) << service.Output() << service.LogBytes();
  EXPECT_EQ(service.LogBytes().find("EXCEPTION"), std::string::npos) << service.LogBytes();
  EXPECT_TRUE(service.LogBytes().ends_with("-------ZELVORANT_MAIN - OK\r\n")) << service.LogBytes();

  // The partial upload: its one part went out first, then its file could not be kept, so the
  // run failed and the mark stayed where it was.
  EXPECT_EQ(db.Value("select ENDFLAG || ' ' || ENDTEXT as T from I_ORDER_TASKS where TASK_TYPE = 'POSTPRICES'"),
            "-2 " + CannotCreate(service, "part001.json"));
  EXPECT_EQ(db.Value("select PARAM_VALUE from params where param_id = 'ZELVORANT_WB_UPDATEDT'"), markBefore);
  const auto prices = market.Requests("POST", "/exch/v4/prices");
  ASSERT_EQ(prices.size(), 1u);
  EXPECT_EQ(ItemsIn(prices[0]), 20u);
  // Its exchange had an answer that could not be saved: a failure without answer.
  EXPECT_EQ(db.Value("select ENDFLAG || ' ' || ENDTEXT as T from ZV$PROT where CMD = '/exch/v4/prices'"),
            "-2 " + CannotCreate(service, "_answer"));
  // The import could not write its store payload: nothing was asked for.
  EXPECT_EQ(db.Value("select ENDFLAG || ' ' || ENDTEXT as T from I_ORDER_TASKS where TASK_TYPE = 'GETORDERS'"),
            "-2 " + CannotCreate(service, "_delete_" + std::string(kStoreId) + ".json"));
  EXPECT_TRUE(market.Requests("GET", "/exch/v4/orders").empty());
  // The status change reached the marketplace, but without its answer it counts as failed.
  EXPECT_EQ(db.Value("select STATUS || ' ' || ENDFLAG || ' ' || ENDTEXT as T from I_ORDER_TASKS where ID = " +
                     std::to_string(statusTask)),
            "1 -2 POST ERROR: ");
  EXPECT_EQ(market.Statuses().size(), 1u);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(service.folder())) ++files;
  EXPECT_EQ(files, 3u) << "only the program, its INI and its log";

  // Writable again: the partial upload sends again what the failed run did not mark.
  fs::permissions(service.folder(), fs::perms::all);
  ASSERT_EQ(service.RunOnce(user), 0) << service.LogBytes();
  EXPECT_EQ(db.Value("select ENDFLAG from I_ORDER_TASKS where TASK_TYPE = 'POSTPRICES' order by ID desc rows 1"), "1");
  const auto pricesAgain = market.Requests("POST", "/exch/v4/prices");
  ASSERT_EQ(pricesAgain.size(), 2u);
  EXPECT_EQ(ItemsIn(pricesAgain[1]), 20u);
  EXPECT_NE(db.Value("select PARAM_VALUE from params where param_id = 'ZELVORANT_WB_UPDATEDT'"), markBefore);
  EXPECT_EQ(db.Value("select ENDFLAG from I_ORDER_TASKS where TASK_TYPE = 'GETORDERS' order by ID desc rows 1"), "1");
  EXPECT_EQ(db.Value("select count(*) as N from i_orders where STATUS = 1"), "2");
  EXPECT_EQ(market.Exported(), OrderNumbers(601, 2));
  EXPECT_TRUE(fs::exists(service.folder() / "part001.json"));
  EXPECT_TRUE(fs::exists(service.folder() / "_answer"));
}

}  // namespace
}  // namespace qdz::e2e
