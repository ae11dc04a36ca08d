// schema/create-db: the demo goods and queued status changes it generates, and its
// refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_database.h"

namespace qdz::testing {
namespace {

bool IsValidEan13(const std::string& code) {
  if (!std::regex_match(code, std::regex("[0-9]{13}"))) return false;
  int sum = 0;
  for (std::size_t i = 0; i < 12; ++i) sum += (code[i] - '0') * (i % 2 == 0 ? 1 : 3);
  return (10 - sum % 10) % 10 == code[12] - '0';
}

bool HasCyrillic(const std::string& utf8) {
  return utf8.find("\xD0") != std::string::npos || utf8.find("\xD1") != std::string::npos;
}

bool EveryLineEndsWithCrLf(const std::string& text) {
  if (!text.ends_with("\r\n")) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

// "name=value" lines, the first occurrence of a name counting.
std::map<std::string, std::string> SendDataLines(const std::string& text) {
  std::map<std::string, std::string> values;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) values.emplace(line.substr(0, eq), line.substr(eq + 1));
    start = end + 2;
  }
  return values;
}

std::string ControlsAsText(const std::string& column) {
  return "replace(replace(replace(cast(" + column + " as varchar(1000)), ascii_char(13), '<CR>'),"
         " ascii_char(10), '<LF>'), ascii_char(9), '<TAB>')";
}

std::string Restore(std::string text) {
  for (const auto& [mark, control] : std::vector<std::pair<std::string, std::string>>{
           {"<CR>", "\r"}, {"<LF>", "\n"}, {"<TAB>", "\t"}}) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
      text.replace(at, mark.size(), control);
    }
  }
  return text;
}

class CreateDbTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(CreateDbTest, GoodsAreRealisticAndStoredInWindows1251) {
  const std::string db = (dir_ / "demo.fdb").string();
  ASSERT_NO_THROW(CreateDatabase(db, "--goods 300"));

  const auto rows = QueryIsql(db,
      "select PART_ID, coalesce(BARCODE, '<null>') as BARCODE, NAME, PRODUCER, PRICE, QUANTITY,"
      " char_length(NAME) as NAME_CHARS, octet_length(NAME) as NAME_BYTES, UPDATEDT"
      " from GOODS order by PART_ID;");
  ASSERT_EQ(rows.size(), 300u);
  EXPECT_EQ(rows.front().at("PART_ID"), "10001");
  EXPECT_EQ(rows.back().at("PART_ID"), "10300");

  int withoutBarcode = 0;
  int fractionalQuantities = 0;
  std::set<std::string> names;
  for (const IsqlRow& row : rows) {
    SCOPED_TRACE(row.at("PART_ID"));
    const std::string& barcode = row.at("BARCODE");
    if (barcode == "<null>" || barcode.empty()) {
      ++withoutBarcode;
    } else {
      EXPECT_TRUE(IsValidEan13(barcode)) << barcode;
    }
    // One byte per character: the Cyrillic reached the WIN1251 column converted.
    EXPECT_EQ(row.at("NAME_CHARS"), row.at("NAME_BYTES"));
    EXPECT_TRUE(HasCyrillic(row.at("NAME"))) << row.at("NAME");
    EXPECT_FALSE(row.at("PRODUCER").empty());
    EXPECT_TRUE(std::regex_match(row.at("PRICE"), std::regex("[1-9][0-9]*\\.[0-9]{2}"))) << row.at("PRICE");
    EXPECT_TRUE(std::regex_match(row.at("QUANTITY"), std::regex("[0-9]+\\.(000|500)"))) << row.at("QUANTITY");
    EXPECT_NE(row.at("UPDATEDT"), "<null>");
    if (row.at("QUANTITY").ends_with(".500")) ++fractionalQuantities;
    names.insert(row.at("NAME"));
  }
  EXPECT_GT(withoutBarcode, 0);
  EXPECT_LT(withoutBarcode, 100);
  EXPECT_GT(fractionalQuantities, 0);
  EXPECT_GT(names.size(), 100u);
}

TEST_F(CreateDbTest, StatusChangesAreQueuedAsThePharmacySystemQueuesThem) {
  const std::string db = (dir_ / "demo.fdb").string();
  ASSERT_NO_THROW(CreateDatabase(db, "--status-changes 8"));

  const auto rows = QueryIsql(db,
      "select ID, " + ControlsAsText("SENDDATA") + " as SENDDATA from I_ORDER_TASKS"
      " where TASK_TYPE='SET_ORDER_STATUS' and status=0 and endflag is null order by id;");
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(QueryIsql(db, "select count(*) as N from I_ORDER_TASKS;").at(0).at("N"), "8");

  std::set<std::string> statuses;
  for (const IsqlRow& row : rows) {
    const std::string sendData = Restore(row.at("SENDDATA"));
    SCOPED_TRACE(sendData);
    EXPECT_TRUE(EveryLineEndsWithCrLf(sendData));

    const auto values = SendDataLines(sendData);
    EXPECT_TRUE(std::regex_match(values.at("id"), std::regex("7[0-9]{5}")));
    const std::string status = values.at("status_id");
    statuses.insert(status);
    if (status == "2") {
      EXPECT_TRUE(std::regex_match(values.at("items"), std::regex("[0-9]+=[0-9]+\t[0-9]+=[0-9]+")))
          << values.at("items");
    } else if (status == "3") {
      EXPECT_EQ(values.at("cancel_reason"), "Клиент отказался от заказа");
    } else if (status == "4") {
      // A day number from 1899-12-30: 45000 was in March 2023.
      const double reservationEnd = std::stod(values.at("reservation_end_date"));
      EXPECT_GT(reservationEnd, 45000.0);
      EXPECT_DOUBLE_EQ(reservationEnd - static_cast<long>(reservationEnd), 0.75);
    }
  }
  EXPECT_EQ(statuses, (std::set<std::string>{"2", "3", "4", "5"}));
}

TEST_F(CreateDbTest, RefusesAnExistingFileAndLeavesItAlone) {
  const std::filesystem::path db = dir_ / "existing.fdb";
  std::ofstream(db) << "not a database";

  try {
    CreateDatabase(db);
    ADD_FAILURE() << "create-db overwrote an existing file";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("already exists"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFileBytes(db), "not a database");
}

TEST_F(CreateDbTest, RefusesBadArgumentsWithoutCreatingAnything) {
  for (const char* arguments : {"--goods", "--goods abc", "--goods -5", "--status-changes 1.5", "--bogus 1",
                                "second-path.fdb"}) {
    SCOPED_TRACE(arguments);
    const std::filesystem::path db = dir_ / "new.fdb";
    EXPECT_THROW(CreateDatabase(db, arguments), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(db));
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path())) << "a half-made file was left behind";
}

}  // namespace
}  // namespace qdz::testing
