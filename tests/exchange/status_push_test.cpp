#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/transaction.h"
#include "exchange/settings.h"
#include "exchange/status_push.h"
#include "order_exchange_fixture.h"
#include "support/scoped_time_zone.h"
#include "util/codepage.h"

namespace qdz::testing {
namespace {

using util::W1251;

class PushOrderStatusesTest : public OrderExchangeTest {
 protected:
  // One pass of the stage on a transaction like the cycle's, committed afterwards.
  void Push() {
    db::Transaction cycle(Db());
    exchange::PushOrderStatuses(cycle, Log());
    cycle.Commit();
  }

  std::vector<std::string> SentBodies() const {
    std::vector<std::string> bodies;
    for (const auto& request : Received("POST", "/exch/v4/orders")) bodies.push_back(request.body);
    return bodies;
  }
};

TEST_F(PushOrderStatusesTest, WithNothingQueuedOnlyTheStepIsLogged) {
  Push();
  EXPECT_EQ(LogLines(), (std::vector<std::string>{W1251("выполнение заданий..."), W1251("выполнение заданий - ОК")}));
  EXPECT_TRUE(SentBodies().empty());
}

TEST_F(PushOrderStatusesTest, SendsEachQueuedChangeAndClosesItsRowWithTheAnswer) {
  const std::int64_t first = QueueStatusChange("id=123\r\nstatus_id=5\r\nitems=1001=2\t1002=1\r\n");
  const std::int64_t second = QueueStatusChange("ID=42\nStatus_Id=2\n");
  AnswerStatusChange({200, R"({"result": "принято"})"});
  Push();

  EXPECT_EQ(SentBodies(), (std::vector<std::string>{
                              R"({"list": [{"id": 123,"external_id": "123","status_id": 5,"cancel_reason": "",)"
                              R"("reservation_end_date": 0,"items":[{"id":1001,"quantity":2},{"id":1002,"quantity":1}]}]})",
                              R"({"list": [{"id": 42,"external_id": "42","status_id": 2,"cancel_reason": "",)"
                              R"("reservation_end_date": 0}]})",
                          }));
  for (const std::int64_t id : {first, second}) {
    const TaskRow row = Task(id);
    EXPECT_EQ(row.status, 1);
    EXPECT_EQ(row.endFlag, 1);
    EXPECT_EQ(row.endText, W1251(R"({"result": "принято"})"));
    EXPECT_EQ(Count("select count(*) from ZV$PROT where METHOD = 'POST' and task_id = " + std::to_string(id)), 1);
  }
  const std::string a = std::to_string(first);
  const std::string b = std::to_string(second);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{W1251("выполнение заданий..."), "  " + a + "...", "  " + a + " - OK",
                                                  "  " + b + "...", "  " + b + " - OK",
                                                  W1251("выполнение заданий - ОК")}));
}

TEST_F(PushOrderStatusesTest, TheCancelReasonGoesOutVerbatimInUtf8) {
  QueueStatusChange("id=1\r\nstatus_id=6\r\ncancel_reason=" + W1251("Клиент \\\"передумал\\\""));
  Push();
  EXPECT_EQ(SentBodies(), std::vector<std::string>{
                              R"({"list": [{"id": 1,"external_id": "1","status_id": 6,)"
                              R"("cancel_reason": "Клиент \"передумал\"","reservation_end_date": 0}]})"});
}

TEST_F(PushOrderStatusesTest, RowsThatFailTheirChecksAreClosedUntakenAndNothingIsSent) {
  const struct {
    std::string sendData;
    const char* message;
  } cases[] = {
      {"id=abc\r\nstatus_id=2", "order_id is incorrect"},
      {"status_id=2", "order_id is incorrect"},
      {"id=42\r\nstatus_id=", "status_id is incorrect"},
      {"id=42\r\nstatus_id=2\r\ncancel_reason=say \"no\"", "cancel_reason is incorrect"},
      {"id=42\r\nstatus_id=2\r\ncancel_reason=x\",\"status_id\": 9,\"y\": \"", "cancel_reason is incorrect"},
      {"id=42\r\nstatus_id=2\r\nitems=1001=two", "items is incorrect"},
      {"id=42\r\nstatus_id=2\r\nitems=1001=1,\"status_id\":9", "items is incorrect"},
  };
  std::vector<std::int64_t> ids;
  for (const auto& c : cases) ids.push_back(QueueStatusChange(c.sendData));
  const std::int64_t good = QueueStatusChange("id=7\r\nstatus_id=2");
  Push();

  for (std::size_t i = 0; i < ids.size(); ++i) {
    const TaskRow row = Task(ids[i]);
    EXPECT_EQ(row.status, 0) << cases[i].sendData;
    EXPECT_EQ(row.endFlag, -2) << cases[i].sendData;
    EXPECT_EQ(row.endText, cases[i].message) << cases[i].sendData;
  }
  EXPECT_EQ(Task(good).endFlag, 1);
  ASSERT_EQ(SentBodies().size(), 1U);
  EXPECT_NE(SentBodies()[0].find("\"id\": 7,"), std::string::npos);
  // A rejected row gets its "..." line and no " - OK".
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(log.size(), 2 + ids.size() + 2);
  EXPECT_EQ(log[1], "  " + std::to_string(ids[0]) + "...");
  EXPECT_EQ(log[2], "  " + std::to_string(ids[1]) + "...");
}

TEST_F(PushOrderStatusesTest, ReservationEndsAreWorkedOutPerRow) {
  const ScopedTimeZone zone(kMoscowTime);
  QueueStatusChange("id=1\r\nstatus_id=2\r\nreservation_end_date=45000,5");
  QueueStatusChange("id=2\r\nstatus_id=2\r\nreservation_end_date=45000.5");
  QueueStatusChange("id=3\r\nstatus_id=2");
  Push();
  const std::vector<std::string> bodies = SentBodies();
  ASSERT_EQ(bodies.size(), 3U);
  EXPECT_NE(bodies[0].find(R"("reservation_end_date": 1678870800})"), std::string::npos) << bodies[0];
  EXPECT_NE(bodies[1].find(R"("reservation_end_date": 1678870800})"), std::string::npos) << bodies[1];
  EXPECT_NE(bodies[2].find(R"("reservation_end_date": 0})"), std::string::npos) << bodies[2];
}

TEST_F(PushOrderStatusesTest, AnErrorAnswerFailsTheRowWithPostError) {
  const std::int64_t id = QueueStatusChange("id=42\r\nstatus_id=2");
  AnswerStatusChange({409, "order is closed"});
  Push();
  const TaskRow row = Task(id);
  EXPECT_EQ(row.status, 1);
  EXPECT_EQ(row.endFlag, -2);
  EXPECT_EQ(row.endText, "POST ERROR: ResultCode=409 (Conflict)\r\norder is closed");
  EXPECT_EQ(LogLines(), (std::vector<std::string>{W1251("выполнение заданий..."), "  " + std::to_string(id) + "...",
                                                  W1251("выполнение заданий - ОК")}));
}

TEST_F(PushOrderStatusesTest, NoAnswerAtAllFailsTheRowWithAnEmptyPostError) {
  const std::int64_t id = QueueStatusChange("id=42\r\nstatus_id=2");
  exchange::Settings.BaseUrl = "http://127.0.0.1:1";  // nobody listens there
  Push();
  const TaskRow row = Task(id);
  EXPECT_EQ(row.status, 1);
  EXPECT_EQ(row.endFlag, -2);
  EXPECT_EQ(row.endText, "POST ERROR: ");
}

TEST_F(PushOrderStatusesTest, ARowIsSentOnlyOnceWhateverItsOutcome) {
  const std::int64_t sent = QueueStatusChange("id=42\r\nstatus_id=2");
  const std::int64_t rejected = QueueStatusChange("id=x");
  AnswerStatusChange({200, "ok"});
  Push();
  const std::int64_t failed = QueueStatusChange("id=43\r\nstatus_id=2");
  AnswerStatusChange({500, "down"});
  Push();
  Push();

  EXPECT_EQ(Task(sent).endFlag, 1);
  EXPECT_EQ(Task(rejected).endFlag, -2);
  EXPECT_EQ(Task(failed).endFlag, -2);
  const std::vector<std::string> bodies = SentBodies();
  ASSERT_EQ(bodies.size(), 2U);
  EXPECT_NE(bodies[0].find("\"id\": 42,"), std::string::npos);
  EXPECT_NE(bodies[1].find("\"id\": 43,"), std::string::npos);
  // The last pass found nothing queued.
  const std::vector<std::string> log = LogLines();
  ASSERT_GE(log.size(), 2U);
  EXPECT_EQ(log[log.size() - 2], W1251("выполнение заданий..."));
}

}  // namespace
}  // namespace qdz::testing
