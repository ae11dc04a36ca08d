#include "db/sql_params.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qdz::db {
namespace {

struct RewriteCase {
  const char* sql;
  const char* text;
  std::vector<std::string> names;
  std::vector<std::size_t> positions;
};

class RewriteNamedParametersTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteNamedParametersTest, RewritesOnlyRealParameters) {
  const RewriteCase& c = GetParam();
  const NamedSql result = RewriteNamedParameters(c.sql);
  EXPECT_EQ(result.text, c.text);
  EXPECT_EQ(result.names, c.names);
  EXPECT_EQ(result.positions, c.positions);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RewriteNamedParametersTest,
    ::testing::Values(
        RewriteCase{"select 1 from rdb$database", "select 1 from rdb$database", {}, {}},
        RewriteCase{"update t set a=:endtext where id=5", "update t set a=? where id=5", {"ENDTEXT"}, {0}},
        RewriteCase{"insert into t values (:METHOD, :CMD, :SENDDATA)", "insert into t values (?, ?, ?)",
                    {"METHOD", "CMD", "SENDDATA"}, {0, 1, 2}},
        // one name at several places, in any case, is one parameter
        RewriteCase{"select :a, :B, :A, :b from r", "select ?, ?, ?, ? from r", {"A", "B"}, {0, 1, 0, 1}},
        RewriteCase{"where x = :gen$id_1", "where x = ?", {"GEN$ID_1"}, {0}},
        // a colon inside literals, identifiers and comments is text
        RewriteCase{"select ':no', :yes from r", "select ':no', ? from r", {"YES"}, {0}},
        RewriteCase{"select 'it''s :no', :yes from r", "select 'it''s :no', ? from r", {"YES"}, {0}},
        RewriteCase{"select \"odd:name\" from r where a = :p", "select \"odd:name\" from r where a = ?", {"P"}, {0}},
        RewriteCase{"select 1 -- :no\n, :yes from r", "select 1 -- :no\n, ? from r", {"YES"}, {0}},
        RewriteCase{"select /* :no\n :nor */ :yes from r", "select /* :no\n :nor */ ? from r", {"YES"}, {0}},
        RewriteCase{"select q'{:no}', :yes from r", "select q'{:no}', ? from r", {"YES"}, {0}},
        RewriteCase{"select Q'!:it's!', :yes from r", "select Q'!:it's!', ? from r", {"YES"}, {0}},
        // a name that ends in q before a literal is no q-literal
        RewriteCase{"select seq':x' from r", "select seq':x' from r", {}, {}},
        // a lone colon or a time literal is no parameter
        RewriteCase{"select 'a' || : from r", "select 'a' || : from r", {}, {}},
        RewriteCase{"select cast('12:30:00' as time), :t from r", "select cast('12:30:00' as time), ? from r", {"T"},
                    {0}},
        // unterminated literals and comments swallow the rest
        RewriteCase{"select 'open :no", "select 'open :no", {}, {}},
        RewriteCase{"select /* open :no", "select /* open :no", {}, {}},
        RewriteCase{"select -- :no", "select -- :no", {}, {}}));

TEST(NameCompare, IgnoresAsciiCaseOnly) {
  EXPECT_TRUE(EqualNoCase("Senddata", "SENDDATA"));
  EXPECT_FALSE(EqualNoCase("SENDDATA", "SENDDAT"));
  EXPECT_FALSE(EqualNoCase("A_B", "A-B"));
  EXPECT_EQ(UpperAscii("nn$x_1"), "NN$X_1");
}

}  // namespace
}  // namespace qdz::db
