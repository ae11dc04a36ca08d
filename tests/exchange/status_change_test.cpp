#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "exchange/status_change.h"
#include "support/scoped_time_zone.h"

namespace qdz::exchange {
namespace {

using testing::kMoscowTime;
using testing::ScopedTimeZone;

std::string BodyOf(const std::string& sendData) { return StatusChangeBody(ReadStatusChange(sendData)); }

std::string FailureOf(const std::string& sendData) {
  try {
    ReadStatusChange(sendData);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(StatusChangeBody, IsTheMarketplaceFormatByteForByte) {
  const ScopedTimeZone zone(kMoscowTime);
  EXPECT_EQ(BodyOf("id=123\r\nstatus_id=5\r\nitems=1001=2\t1002=1\r\n"),
            R"({"list": [{"id": 123,"external_id": "123","status_id": 5,"cancel_reason": "",)"
            R"("reservation_end_date": 0,"items":[{"id":1001,"quantity":2},{"id":1002,"quantity":1}]}]})");
  EXPECT_EQ(BodyOf("id=42\r\nstatus_id=2"),
            R"({"list": [{"id": 42,"external_id": "42","status_id": 2,"cancel_reason": "",)"
            R"("reservation_end_date": 0}]})");
  EXPECT_EQ(BodyOf("id=-7\r\nstatus_id=-1\r\ncancel_reason=\xCD\xE5\xF2 \\\"X\\\"\r\nitems=5=1.5e0"),
            "{\"list\": [{\"id\": -7,\"external_id\": \"-7\",\"status_id\": -1,\"cancel_reason\": "
            "\"\xCD\xE5\xF2 \\\"X\\\"\",\"reservation_end_date\": 0,\"items\":[{\"id\":5,\"quantity\":1.5e0}]}]}");
}

TEST(StatusChangeBody, ItemsAreTheSameWhateverSeparatesThem) {
  const std::string expected = BodyOf("id=1\nstatus_id=2\nitems=1001=2\t1002=1");
  for (const char* items : {"1001=2 1002=1", "1001=2\t1002=1\t", " \"1001=2\"\t\t\"1002=1\" "})
    EXPECT_EQ(BodyOf(std::string("id=1\nstatus_id=2\nitems=") + items), expected) << items;
  for (const char* items : {"", "   ", "\t"})
    EXPECT_EQ(BodyOf(std::string("id=1\nstatus_id=2\nitems=") + items).find("items"), std::string::npos) << items;
}

TEST(ReadStatusChange, RejectsWhatCannotBeSent) {
  const struct {
    const char* sendData;
    const char* message;
  } cases[] = {
      {"status_id=2", "order_id is incorrect"},
      {"id=abc\nstatus_id=2", "order_id is incorrect"},
      {"id=4.2\nstatus_id=2", "order_id is incorrect"},
      {"id=9223372036854775808\nstatus_id=2", "order_id is incorrect"},
      {"id=42\nstatus_id=", "status_id is incorrect"},
      {"id=42\nstatus_id=2147483648", "status_id is incorrect"},
      {"id=42", "status_id is incorrect"},
      // Copied into the body unquoted, so each side of "=" must be a JSON number.
      {"id=42\nstatus_id=2\nitems=1001", "items is incorrect"},
      {"id=42\nstatus_id=2\nitems=abc=2", "items is incorrect"},
      {"id=42\nstatus_id=2\nitems=1001=two", "items is incorrect"},
      {"id=42\nstatus_id=2\nitems=1001=", "items is incorrect"},
      {"id=42\nstatus_id=2\nitems=01=2", "items is incorrect"},
      {"id=42\nstatus_id=2\nitems=1=2,\"x\":1}", "items is incorrect"},
      {"id=42\nstatus_id=2\nitems=\"1 = 2\"", "items is incorrect"},
      // Copied between quotes verbatim, so it must be valid inside a JSON string.
      {"id=42\nstatus_id=2\ncancel_reason=say \"no\"", "cancel_reason is incorrect"},
      {"id=42\nstatus_id=2\ncancel_reason=x\",\"status_id\": 9,\"y\": \"", "cancel_reason is incorrect"},
      {"id=42\nstatus_id=2\ncancel_reason=ends with \\", "cancel_reason is incorrect"},
      {"id=42\nstatus_id=2\ncancel_reason=bad \\x escape", "cancel_reason is incorrect"},
      {"id=42\nstatus_id=2\ncancel_reason=\\u12G4", "cancel_reason is incorrect"},
      {"id=42\nstatus_id=2\ncancel_reason=\\u12", "cancel_reason is incorrect"},
      {"id=42\nstatus_id=2\ncancel_reason=tab\there", "cancel_reason is incorrect"},
      // The checks run in the order the body is built.
      {"id=x\nstatus_id=y\nitems=z", "order_id is incorrect"},
      {"id=1\nstatus_id=y\nitems=z", "status_id is incorrect"},
      {"id=1\nstatus_id=2\nitems=z\ncancel_reason=\"", "items is incorrect"},
  };
  for (const auto& c : cases) EXPECT_EQ(FailureOf(c.sendData), c.message) << c.sendData;
}

TEST(ReadStatusChange, AcceptsNumbersAndReasonsTheBodyCanCarry) {
  for (const char* sendData : {
           "id=42\nstatus_id=2\nitems=0=1\t-3=2.5\t7=1E+2\t8=0.5e-1",
           "id=42\nstatus_id=2\ncancel_reason=\\\"quoted\\\" \\\\ \\/ \\b\\f\\n\\r\\t \\u041F\\u0440",
           "id=42\nstatus_id=2\ncancel_reason=\xCA\xEB\xE8\xE5\xED\xF2 \xEE\xF2\xEA\xE0\xE7\xE0\xEB\xF1\xFF",
       })
    EXPECT_EQ(FailureOf(sendData), "(no failure)") << sendData;
}

TEST(ReservationEnd, LocalTimeBecomesUnixTimeRoundedHalfToEven) {
  const struct {
    const char* zone;
    const char* value;
    std::int64_t expected;
  } cases[] = {
      {kMoscowTime, "45000.5", 1678870800},  // 2023-03-15 12:00 in Moscow is 09:00 UTC
      {kMoscowTime, "45000,5", 1678870800},
      {"UTC0", "45000.5", 1678881600},
      {"UTC0", "25569", 0},
      {"UTC0", "25569.01171875", 1012},  // exactly 1012.5 seconds
      {"UTC0", "25569.00390625", 338},   // exactly 337.5 seconds
      {kMoscowTime, "0", 0},
      {kMoscowTime, "-1.5", 0},
      {kMoscowTime, "", 0},
      {kMoscowTime, "tomorrow", 0},
      {kMoscowTime, "1e300", 0},
  };
  for (const auto& c : cases) {
    const ScopedTimeZone zone(c.zone);
    const StatusChange change =
        ReadStatusChange(std::string("id=1\r\nstatus_id=2\r\nreservation_end_date=") + c.value);
    EXPECT_EQ(change.reservationEnd, c.expected) << c.zone << " " << c.value;
  }
}

TEST(ReservationEnd, AMissingValueCarriesZero) {
  const ScopedTimeZone zone(kMoscowTime);
  EXPECT_EQ(ReadStatusChange("id=1\r\nstatus_id=2").reservationEnd, 0);
}

}  // namespace
}  // namespace qdz::exchange
