// The isql-fb helpers that the database checks rely on: what QueryIsql makes of isql's
// output decides whether those checks can see a fault at all.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_database.h"

namespace qdz::testing {
namespace {

class IsqlHelpersTest : public ::testing::Test {
 protected:
  TestDatabase db_;
};

TEST_F(IsqlHelpersTest, QueryIsqlGivesEveryRowWithItsValues) {
  const auto rows = QueryIsql(db_.path(),
      "select param_id, cast(null as varchar(5)) as nothing, '' as empty_text,"
      " cast('Заказ' || ascii_char(10) || ascii_char(10) || 'x' as varchar(20)) as two_lines,"
      " cast('Текст в блобе' as blob sub_type text) as blob_text,"
      " cast('' as blob sub_type text) as empty_blob, cast(null as blob sub_type text) as null_blob,"
      " cast(35.5 as numeric(15,2)) as price"
      " from params where param_id in ('ZELVORANT_MC', 'ZELVORANT_URL') order by param_id");
  ASSERT_EQ(rows.size(), 2u);
  const IsqlRow expected = {
      {"PARAM_ID", "ZELVORANT_MC"}, {"NOTHING", "<null>"},          {"EMPTY_TEXT", ""},
      {"TWO_LINES", "Заказ\n\nx"},  {"BLOB_TEXT", "Текст в блобе"}, {"EMPTY_BLOB", ""},
      {"NULL_BLOB", "<null>"},      {"PRICE", "35.50"},
  };
  EXPECT_EQ(rows[0], expected);
  EXPECT_EQ(rows[1].at("PARAM_ID"), "ZELVORANT_URL");
  EXPECT_EQ(rows[1].at("TWO_LINES"), "Заказ\n\nx");
}

TEST_F(IsqlHelpersTest, BlobInTheLastColumnAndStatementWithoutTerminator) {
  const auto rows = QueryIsql(db_.path(),
      "select list(param_id, ',') as ids from (select param_id from params"
      " where param_id starting with 'ZELVORANT_M' or param_id = 'ZELVORANT_URL' order by param_id)");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("IDS"), "ZELVORANT_MC,ZELVORANT_URL");
}

TEST_F(IsqlHelpersTest, ExecuteIsqlFailsOnAnErrorWhereRunIsqlReportsIt) {
  const std::string wrong = "select no_such_column from rdb$database";
  EXPECT_NE(RunIsql(db_.path(), wrong).find("NO_SUCH_COLUMN"), std::string::npos);
  // The statement may use no local variable, hence a database of its own.
  EXPECT_FATAL_FAILURE(ExecuteIsql(TestDatabase().path(), "select no_such_column from rdb$database"),
                       "isql-fb failed");
}

TEST_F(IsqlHelpersTest, CopiesAreIndependentOfEachOther) {
  TestDatabase other;
  ExecuteIsql(other.path(), "update params set PARAM_VALUE = 'changed' where param_id = 'ZELVORANT_MC'");
  const std::string select = "select PARAM_VALUE from params where param_id = 'ZELVORANT_MC'";
  EXPECT_EQ(QueryIsql(other.path(), select).at(0).at("PARAM_VALUE"), "changed");
  EXPECT_EQ(QueryIsql(db_.path(), select).at(0).at("PARAM_VALUE"), "demo-pharmacy");
}

}  // namespace
}  // namespace qdz::testing
