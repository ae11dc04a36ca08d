#include "service/service_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "support/temp_dir.h"

namespace qdz::service {
namespace {

using qdz::testing::ReadFileBytes;
using qdz::testing::TempDir;

util::DateTimeParts At(int year, int month, int day, int hour, int minute, int second, int millisecond = 0) {
  return util::DateTimeParts{year, month, day, hour, minute, second, millisecond};
}

struct StampCase {
  util::DateTimeParts time;
  const char* expected;
};

// Readable test names.
void PrintTo(const StampCase& c, std::ostream* out) {
  *out << c.expected << " at " << c.time.millisecond << " ms";
}

class TimeStamp : public ::testing::TestWithParam<StampCase> {};

TEST_P(TimeStamp, IsDayMonthYearAndHourWithoutLeadingZero) {
  EXPECT_EQ(FormatTimeStamp(GetParam().time), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TimeStamp,
                         ::testing::Values(StampCase{At(2024, 3, 5, 9, 7, 12), "05.03.2024 9:07:12"},
                                           StampCase{At(2024, 12, 31, 23, 59, 59), "31.12.2024 23:59:59"},
                                           StampCase{At(2024, 1, 1, 0, 0, 0), "01.01.2024"},
                                           StampCase{At(2024, 1, 1, 0, 0, 0, 999), "01.01.2024"},
                                           StampCase{At(2024, 1, 1, 0, 0, 1), "01.01.2024 0:00:01"},
                                           StampCase{At(2024, 1, 1, 0, 1, 0), "01.01.2024 0:01:00"},
                                           StampCase{At(2024, 1, 1, 12, 0, 0), "01.01.2024 12:00:00"}));

TEST(LogLine, IsStampTabMessageCrLf) {
  EXPECT_EQ(FormatLogLine(At(2024, 3, 5, 9, 7, 12), "MainInterval: 300"), "05.03.2024 9:07:12\tMainInterval: 300\r\n");
  EXPECT_EQ(FormatLogLine(At(2024, 3, 5, 0, 0, 0), "x"), "05.03.2024\tx\r\n");
}

class ServiceLogFile : public ::testing::Test {
 protected:
  ServiceLog::Clock FixedClock() {
    return [] { return At(2024, 3, 5, 9, 7, 12); };
  }
  TempDir dir;
  std::filesystem::path file = dir / "QDZELVORANT.log";
};

TEST_F(ServiceLogFile, CreatesAMissingFileEmpty) {
  ServiceLog log(file, FixedClock());
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
}

TEST_F(ServiceLogFile, AppendsToExistingContentAcrossRestarts) {
  std::ofstream(file, std::ios::binary) << "04.03.2024 8:00:00\told line\r\n";
  {
    ServiceLog log(file, FixedClock());
    log.Write("first");
  }
  ServiceLog again(file, FixedClock());
  again.Write("second");
  EXPECT_EQ(ReadFileBytes(file),
            "04.03.2024 8:00:00\told line\r\n"
            "05.03.2024 9:07:12\tfirst\r\n"
            "05.03.2024 9:07:12\tsecond\r\n");
}

TEST_F(ServiceLogFile, EachLineIsInTheFileWhenWriteReturns) {
  ServiceLog log(file, FixedClock());
  log.Write("one");
  EXPECT_EQ(ReadFileBytes(file), "05.03.2024 9:07:12\tone\r\n");
  log.Write("two");
  EXPECT_EQ(ReadFileBytes(file), "05.03.2024 9:07:12\tone\r\n05.03.2024 9:07:12\ttwo\r\n");
}

TEST_F(ServiceLogFile, WritesMessagesUnchanged) {
  ServiceLog log(file, FixedClock());
  // An answer between "--" lines spans several physical lines; only the first has a stamp.
  log.Write("--\r\n{\"error\":false}\r\n--");
  // Windows-1251 bytes go out as given ("Старт службы").
  log.Write("\xD1\xF2\xE0\xF0\xF2 \xF1\xEB\xF3\xE6\xE1\xFB");
  EXPECT_EQ(ReadFileBytes(file),
            "05.03.2024 9:07:12\t--\r\n{\"error\":false}\r\n--\r\n"
            "05.03.2024 9:07:12\t\xD1\xF2\xE0\xF0\xF2 \xF1\xEB\xF3\xE6\xE1\xFB\r\n");
}

TEST_F(ServiceLogFile, UsesTheClockForEveryLine) {
  int second = 58;
  ServiceLog log(file, [&second] { return At(2024, 3, 5, 23, 59, second++); });
  log.Write("a");
  log.Write("b");
  ServiceLog midnight(file, [] { return At(2024, 3, 6, 0, 0, 0, 400); });
  midnight.Write("c");
  EXPECT_EQ(ReadFileBytes(file), "05.03.2024 23:59:58\ta\r\n05.03.2024 23:59:59\tb\r\n06.03.2024\tc\r\n");
}

TEST_F(ServiceLogFile, FailsWithTheFileNameWhenItCannotBeOpened) {
  const std::filesystem::path unreachable = dir / "missing-folder" / "QDZELVORANT.log";
  try {
    ServiceLog log(unreachable, FixedClock());
    FAIL() << "opened a log in a missing folder";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + unreachable.string() + "\". No such file or directory");
  }
}

// The stamps are local time, not UTC: in a zone five hours east of UTC the hour differs.
TEST(ServiceLogClock, GivesLocalTime) {
  const std::string previous = std::getenv("TZ") ? std::getenv("TZ") : "";
  const bool hadPrevious = std::getenv("TZ") != nullptr;
  ::setenv("TZ", "UTC-5", 1);
  ::tzset();
  const std::time_t before = std::time(nullptr);
  const util::DateTimeParts local = ServiceLog::LocalTime();
  const std::time_t after = std::time(nullptr);
  hadPrevious ? ::setenv("TZ", previous.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();

  auto hourInZone = [](std::time_t t) {
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    return (utc.tm_hour + 5) % 24;
  };
  EXPECT_TRUE(local.hour == hourInZone(before) || local.hour == hourInZone(after)) << local.hour;
}

}  // namespace
}  // namespace qdz::service
