// Statements, parameters and fields of a query against a real database.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "database_test.h"
#include "db/error.h"
#include "util/codepage.h"
#include "util/numbers.h"

namespace qdz::db {
namespace {

class QueryTest : public DatabaseTest {
 protected:
  std::unique_ptr<Query> OpenSelect(const std::string& sql) {
    auto query = CreateQuery(*db);
    query->SetSql(sql);
    query->Open();
    return query;
  }
};

// ---- reading every common column type in every reading --------------------------------------

struct FieldCase {
  const char* expression;
  const char* asString;
  std::optional<std::int64_t> asInt64;  // nullopt: the reading fails
  std::optional<double> asDouble;
};

void PrintTo(const FieldCase& c, std::ostream* out) { *out << c.expression; }

class FieldReadingTest : public QueryTest, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(FieldReadingTest, ReadsTheColumnInEveryType) {
  const FieldCase& c = GetParam();
  auto query = OpenSelect(std::string("select ") + c.expression + " as v from rdb$database");
  ASSERT_FALSE(query->Eof());
  const Query::Field field = query->FieldByName("V");
  EXPECT_FALSE(field.IsNull());
  EXPECT_EQ(field.AsString(), c.asString);
  if (c.asInt64) {
    EXPECT_EQ(field.AsInt64(), *c.asInt64);
  } else {
    EXPECT_THROW(field.AsInt64(), util::ConvertError);
  }
  if (c.asDouble) {
    EXPECT_DOUBLE_EQ(field.AsDouble(), *c.asDouble);
  } else {
    EXPECT_THROW(field.AsDouble(), util::ConvertError);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, FieldReadingTest,
    ::testing::Values(FieldCase{"cast(-42 as smallint)", "-42", -42, -42.0},
                      FieldCase{"cast(2147483647 as integer)", "2147483647", 2147483647, 2147483647.0},
                      FieldCase{"cast(-9000000000 as bigint)", "-9000000000", -9000000000LL, -9e9},
                      FieldCase{"cast(35.50 as numeric(15,2))", "35.50", 35, 35.5},
                      FieldCase{"cast(41 as numeric(15,2))", "41.00", 41, 41.0},
                      FieldCase{"cast(-0.05 as numeric(9,2))", "-0.05", 0, -0.05},
                      FieldCase{"cast(-7.9 as numeric(4,1))", "-7.9", -7, -7.9},
                      FieldCase{"cast(123456789012.345 as decimal(18,3))", "123456789012.345", 123456789012LL,
                                123456789012.345},
                      FieldCase{"cast(2.5 as double precision)", "2.5", 2, 2.5},
                      FieldCase{"cast(0.5 as float)", "0.5", 0, 0.5},
                      FieldCase{"cast(1e20 as double precision)", "1E20", std::nullopt, 1e20},
                      FieldCase{"cast(0.00001 as double precision)", "1E-5", 0, 0.00001},
                      FieldCase{"cast('123' as varchar(10))", "123", 123, 123.0},
                      FieldCase{"cast('  17' as char(4))", "  17", 17, 17.0},
                      FieldCase{"cast('12.5' as varchar(10))", "12.5", std::nullopt, 12.5},
                      FieldCase{"cast('abc' as varchar(10))", "abc", std::nullopt, std::nullopt},
                      FieldCase{"cast('ab' as char(4))", "ab  ", std::nullopt, std::nullopt},
                      FieldCase{"cast('99' as blob sub_type text)", "99", 99, 99.0},
                      FieldCase{"true", "True", 1, 1.0},
                      FieldCase{"cast('2024-03-15 12:30:45.6780' as timestamp)", "15.03.2024 12:30:45", std::nullopt,
                                45366.0 + (12 * 3600 + 30 * 60 + 45.678) / 86400.0},
                      FieldCase{"cast('2024-03-15' as date)", "15.03.2024", std::nullopt, 45366.0},
                      FieldCase{"cast('18:00:00' as time)", "18:00:00", std::nullopt, 0.75}));

TEST_F(QueryTest, NullReadsAsEmptyZeroAndTheZeroDate) {
  auto query = OpenSelect(
      "select cast(null as integer) as i, cast(null as varchar(5)) as s, cast(null as timestamp) as ts, "
      "cast(null as blob sub_type text) as b, cast(null as numeric(15,2)) as n from rdb$database");
  for (const char* name : {"i", "s", "ts", "b", "n"}) {
    SCOPED_TRACE(name);
    const Query::Field field = query->FieldByName(name);
    EXPECT_TRUE(field.IsNull());
    EXPECT_EQ(field.AsString(), "");
    EXPECT_EQ(field.AsInt(), 0);
    EXPECT_EQ(field.AsInt64(), 0);
    EXPECT_EQ(field.AsDouble(), 0.0);
    EXPECT_TRUE(field.AsDateTime().IsZero());
  }
}

TEST_F(QueryTest, DateTimesCountDaysFrom1899_12_30WithTheTimeAsFraction) {
  auto query = OpenSelect(
      "select cast('2024-03-15 18:00:00' as timestamp) as a, cast('1899-12-30' as timestamp) as zero, "
      "cast('1899-12-29 06:00' as timestamp) as before, cast('15.03.2024 06:00' as varchar(20)) as text_dmy, "
      "cast('2024-03-15 06:00:00.5' as varchar(30)) as text_iso, cast('2024-03-15 12:30:45.6789' as timestamp) as ms "
      "from rdb$database");
  EXPECT_EQ(query->FieldByName("a").AsDateTime().days, 45366.75);
  EXPECT_TRUE(query->FieldByName("zero").AsDateTime().IsZero());
  EXPECT_EQ(query->FieldByName("before").AsDateTime().days, -1.25);
  EXPECT_EQ(query->FieldByName("text_dmy").AsDateTime().days, 45366.25);
  EXPECT_DOUBLE_EQ(query->FieldByName("text_iso").AsDateTime().days, 45366.25 + 0.5 / 86400);
  const util::DateTimeParts parts = query->FieldByName("ms").AsDateTime().Parts();
  EXPECT_EQ(parts.second, 45);
  EXPECT_EQ(parts.millisecond, 679);  // ten-thousandths kept, rounded to the millisecond
  EXPECT_THROW(query->FieldByName("a").AsInt(), util::ConvertError);
}

TEST_F(QueryTest, TextThatIsNoDateFailsToReadAsDateTime) {
  auto query = OpenSelect("select '2024-02-30' as bad_day, 'soon' as word from rdb$database");
  try {
    query->FieldByName("bad_day").AsDateTime();
    FAIL();
  } catch (const util::ConvertError& error) {
    EXPECT_STREQ(error.what(), "'2024-02-30' is not a valid date and time");
  }
  EXPECT_THROW(query->FieldByName("word").AsDateTime(), util::ConvertError);
}

TEST_F(QueryTest, AsIntRefusesValuesBeyond32Bits) {
  auto query = OpenSelect("select cast(2147483648 as bigint) as big, '-2147483648' as low from rdb$database");
  try {
    query->FieldByName("big").AsInt();
    FAIL();
  } catch (const util::ConvertError& error) {
    EXPECT_STREQ(error.what(), "'2147483648' is not a valid integer value");
  }
  EXPECT_EQ(query->FieldByName("low").AsInt(), INT32_MIN);
}

// ---- parameters --------------------------------------------------------------------------

struct ParamCase {
  const char* column;                            // the column type that receives the value
  std::function<void(Query::Param)> set;         // how the value is bound
  const char* stored;                            // the column read back as text
};

void PrintTo(const ParamCase& c, std::ostream* out) { *out << c.column << " <- " << c.stored; }

class ParamBindingTest : public QueryTest, public ::testing::WithParamInterface<ParamCase> {};

TEST_P(ParamBindingTest, ValueOfAnyTypeReachesAColumnOfAnyType) {
  Execute(std::string("create table p (c ") + GetParam().column + ")");
  auto query = CreateQuery(*db);
  query->SetSql("insert into p (c) values (:value)");
  GetParam().set(query->ParamByName("value"));
  query->ExecSQL();
  query->SetSql("select c from p");
  query->Open();
  ASSERT_FALSE(query->Eof());
  EXPECT_EQ(query->FieldByName("c").AsString(), GetParam().stored);
}

util::DateTime Stamp() {
  return util::DateTime::FromParts({.year = 2024, .month = 3, .day = 15, .hour = 12, .minute = 30, .second = 45,
                                    .millisecond = 250});
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, ParamBindingTest,
    ::testing::Values(
        ParamCase{"integer", [](Query::Param p) { p.SetString("42"); }, "42"},
        ParamCase{"bigint", [](Query::Param p) { p.SetString(" -9000000000"); }, "-9000000000"},
        ParamCase{"numeric(15,2)", [](Query::Param p) { p.SetString("35.5"); }, "35.50"},
        ParamCase{"numeric(15,2)", [](Query::Param p) { p.SetDouble(2.25); }, "2.25"},
        ParamCase{"numeric(15,2)", [](Query::Param p) { p.SetInt(7); }, "7.00"},
        ParamCase{"double precision", [](Query::Param p) { p.SetString("0.125"); }, "0.125"},
        ParamCase{"timestamp", [](Query::Param p) { p.SetString("2024-03-15 12:30:45"); }, "15.03.2024 12:30:45"},
        ParamCase{"timestamp", [](Query::Param p) { p.SetDateTime(Stamp()); }, "15.03.2024 12:30:45"},
        ParamCase{"varchar(40)", [](Query::Param p) { p.SetDateTime(Stamp()); }, "15-MAR-2024 12:30:45.2500"},
        ParamCase{"varchar(20)", [](Query::Param p) { p.SetInt(-7); }, "-7"},
        ParamCase{"varchar(20)", [](Query::Param p) { p.SetInt64(1234567890123LL); }, "1234567890123"},
        ParamCase{"varchar(20)", [](Query::Param p) { p.SetString(""); }, ""},
        ParamCase{"char(3)", [](Query::Param p) { p.SetString("ab"); }, "ab "},
        ParamCase{"smallint", [](Query::Param p) { p.SetInt64(-300); }, "-300"},
        ParamCase{"blob sub_type text", [](Query::Param p) { p.SetString("text in a blob"); }, "text in a blob"},
        ParamCase{"blob sub_type text", [](Query::Param p) { p.SetInt(7); }, "7"},
        ParamCase{"blob sub_type text", [](Query::Param p) { p.SetString(""); }, ""},
        ParamCase{"boolean", [](Query::Param p) { p.SetString("true"); }, "True"},
        ParamCase{"date", [](Query::Param p) { p.SetDateTime(Stamp()); }, "15.03.2024"}));

TEST_F(QueryTest, NullParameterStoresNullInEveryColumnType) {
  Execute("create table p (i integer, v varchar(5), ts timestamp, b blob sub_type text)");
  auto query = CreateQuery(*db);
  query->SetSql("insert into p (i, v, ts, b) values (:i, :v, :ts, :b)");
  query->ParamByName("v").SetString("set");  // set, then replaced by NULL
  query->ParamByName("v").SetNull();
  query->ExecSQL();  // :i, :ts and :b were never set: NULL too
  query->SetSql("select i, v, ts, b from p");
  query->Open();
  for (const char* name : {"i", "v", "ts", "b"}) EXPECT_TRUE(query->FieldByName(name).IsNull()) << name;
}

TEST_F(QueryTest, TextThatTheServerCannotConvertFailsTheStatement) {
  Execute("create table p (i integer)");
  auto query = CreateQuery(*db);
  query->SetSql("insert into p (i) values (:i)");
  query->ParamByName("i").SetString("12a");
  try {
    query->ExecSQL();
    FAIL();
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("conversion error"), std::string::npos) << error.what();
    EXPECT_NE(error.GdsCode(), 0);
  }
}

TEST_F(QueryTest, OneNameAtSeveralPlacesGetsTheValueEverywhere) {
  auto query = CreateQuery(*db);
  query->SetSql("select cast(:n as integer) + cast(:N as integer) * 10 as v, cast(:Word as varchar(5)) || '-' || cast(:word as varchar(5)) as w "
                "from rdb$database");
  query->ParamByName("n").SetInt(4);
  query->ParamByName("WORD").SetString("ab");
  query->Open();
  EXPECT_EQ(query->FieldByName("v").AsInt(), 44);
  EXPECT_EQ(query->FieldByName("W").AsString(), "ab-ab");
}

TEST_F(QueryTest, RepeatedExecutionsTakeEachTimesValues) {
  Execute("create table p (id integer, v varchar(2000), ts timestamp)");
  auto query = CreateQuery(*db);
  query->SetSql("insert into p (id, v, ts) values (:id, :v, :ts)");
  for (int i = 0; i < 40; ++i) {
    query->ParamByName("id").SetInt(i);
    // texts of growing and shrinking length, and a NULL now and then
    if (i % 7 == 3) query->ParamByName("v").SetNull();
    else query->ParamByName("v").SetString(std::string(static_cast<std::size_t>((i * 37) % 1500), 'x'));
    if (i % 2 == 0) query->ParamByName("ts").SetDateTime(util::DateTime{45000.0 + i});
    else query->ParamByName("ts").SetString("2024-01-01");
    query->ExecSQL();
  }
  query->SetSql("select id, char_length(v) as len, ts from p order by id");
  query->Open();
  for (int i = 0; i < 40; ++i) {
    ASSERT_FALSE(query->Eof());
    SCOPED_TRACE(i);
    EXPECT_EQ(query->FieldByName("id").AsInt(), i);
    if (i % 7 == 3) EXPECT_TRUE(query->FieldByName("len").IsNull());
    else EXPECT_EQ(query->FieldByName("len").AsInt(), (i * 37) % 1500);
    EXPECT_EQ(query->FieldByName("ts").AsDateTime().days, i % 2 == 0 ? 45000.0 + i : 45292.0);
    query->Next();
  }
  EXPECT_TRUE(query->Eof());
}

TEST_F(QueryTest, TextTooLongForAVarcharParameterFailsClearly) {
  Execute("create table p (v varchar(10))");
  auto query = CreateQuery(*db);
  query->SetSql("insert into p (v) values (:v)");
  query->ParamByName("v").SetString("12345678901");
  EXPECT_THROW(query->ExecSQL(), DatabaseError);  // the server's truncation error
  query->ParamByName("v").SetString(std::string(40000, 'x'));
  EXPECT_THROW(query->ExecSQL(), DatabaseError);
}

// ---- names -------------------------------------------------------------------------------

TEST_F(QueryTest, UnknownNamesAreReportedWithTheNameAsGiven) {
  auto query = CreateQuery(*db);
  query->SetSql("select cast(:known as varchar(5)) as v from rdb$database");
  try {
    query->ParamByName("x");
    FAIL();
  } catch (const DatabaseError& error) {
    EXPECT_STREQ(error.what(), "Parameter 'x' not found");
  }
  query->ParamByName("KNOWN").SetString("1");
  query->Open();
  EXPECT_EQ(query->FieldByName("V").AsString(), "1");
  try {
    query->FieldByName("x");
    FAIL();
  } catch (const DatabaseError& error) {
    EXPECT_STREQ(error.what(), "Field 'x' not found");
  }
}

// ---- texts: BLOBs and Windows-1251 ---------------------------------------------------------

std::string AllWindows1251Bytes(std::size_t length) {
  std::string text;
  text.reserve(length);
  for (std::size_t i = 0; text.size() < length; ++i) {
    const auto byte = static_cast<unsigned char>(32 + i % 224);
    if (byte != 0x98) text.push_back(static_cast<char>(byte));  // the one byte Windows-1251 leaves undefined
  }
  return text;
}

TEST_F(QueryTest, LongTextGoesThroughABlobWhole) {
  Execute("create table p (id integer, b blob sub_type text)");
  const std::string text = AllWindows1251Bytes(100 * 1024 + 17);
  auto query = CreateQuery(*db);
  query->SetSql("insert into p (id, b) values (1, :b)");
  query->ParamByName("b").SetString(text);
  query->ExecSQL();
  query->GetTransaction().Commit();

  query->SetSql("select b, octet_length(b) as len from p");
  query->Open();
  EXPECT_EQ(query->FieldByName("len").AsInt64(), static_cast<std::int64_t>(text.size()));
  EXPECT_EQ(query->FieldByName("b").AsString(), text);
}

TEST_F(QueryTest, Windows1251BytesRoundTripThroughTextColumns) {
  Execute("create table p (v varchar(100), b blob sub_type text)");
  const std::string cyrillic = util::W1251("Привет, мир! Ёё №");
  auto query = CreateQuery(*db);
  query->SetSql("insert into p (v, b) values (:t, :t)");
  query->ParamByName("t").SetString(cyrillic);
  query->ExecSQL();
  query->SetSql("select v, b, ascii_val(substring(v from 1 for 1)) as first_byte, char_length(v) as chars from p");
  query->Open();
  EXPECT_EQ(query->FieldByName("v").AsString(), cyrillic);
  EXPECT_EQ(query->FieldByName("b").AsString(), cyrillic);
  // The database holds the characters, not UTF-8 bytes: "П" is 0xCF in Windows-1251.
  EXPECT_EQ(query->FieldByName("first_byte").AsInt(), 0xCF);
  EXPECT_EQ(query->FieldByName("chars").AsInt(), 17);
}

// ---- results -------------------------------------------------------------------------------

TEST_F(QueryTest, RowsAreReadForwardUntilEof) {
  auto query = OpenSelect(
      "with recursive r(n) as (select 1 from rdb$database union all select n + 1 from r where n < 5) "
      "select n from r");
  std::vector<int> seen;
  for (int guard = 0; !query->Eof() && guard < 10; ++guard) {
    seen.push_back(query->FieldByName("n").AsInt());
    query->Next();
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5}));
  query->Next();  // past the end stays at the end
  EXPECT_TRUE(query->Eof());
  EXPECT_TRUE(query->FieldByName("n").IsNull());
}

TEST_F(QueryTest, EmptyResultIsEofAndItsFieldsReadAsNull) {
  auto query = OpenSelect("select 5 as n, 'x' as s from rdb$database where 1 = 0");
  EXPECT_TRUE(query->Eof());
  EXPECT_TRUE(query->FieldByName("n").IsNull());
  EXPECT_EQ(query->FieldByName("n").AsInt(), 0);
  EXPECT_EQ(query->FieldByName("s").AsString(), "");
}

TEST_F(QueryTest, SetSqlClosesAnOpenResult) {
  auto query = OpenSelect(
      "with recursive r(n) as (select 1 from rdb$database union all select n + 1 from r where n < 5) "
      "select n from r");
  ASSERT_FALSE(query->Eof());
  query->SetSql("select 'second' as s from rdb$database");
  EXPECT_TRUE(query->Eof());
  query->Open();
  EXPECT_EQ(query->FieldByName("s").AsString(), "second");
  query->Close();
  EXPECT_TRUE(query->Eof());
  query->Open();  // the same statement runs again after Close
  EXPECT_EQ(query->FieldByName("s").AsString(), "second");
}

TEST_F(QueryTest, StatementWithOutputButNoCursorGivesOneRow) {
  Execute("create table p (id integer, v varchar(5))");
  Execute("create procedure twice (x integer) returns (y integer) as begin y = 2 * x; end");
  auto query = CreateQuery(*db);
  query->SetSql("insert into p (id, v) values (7, :v) returning id, v");
  query->ParamByName("v").SetString("abc");
  query->ExecSQL();
  ASSERT_FALSE(query->Eof());
  EXPECT_EQ(query->FieldByName("id").AsInt(), 7);
  EXPECT_EQ(query->FieldByName("v").AsString(), "abc");
  query->Next();
  EXPECT_TRUE(query->Eof());

  query->SetSql("execute procedure twice(:x)");
  query->ParamByName("x").SetInt(21);
  query->Open();
  EXPECT_EQ(query->FieldByName("y").AsInt(), 42);
}

TEST_F(QueryTest, SelectableProcedureRowsAndColumnNamesAreFoundWithoutRegardToCase) {
  Execute(
      "create procedure rows_of (n integer) returns (ERROR_CODE integer, error_text varchar(20)) as "
      "declare i integer = 0; begin while (i < n) do begin i = i + 1; error_code = -i; "
      "error_text = 'e' || i; suspend; end end");
  auto query = CreateQuery(*db);
  query->SetSql("select * from rows_of(:n)");
  query->ParamByName("N").SetInt(2);
  query->Open();
  EXPECT_EQ(query->FieldByName("error_code").AsInt(), -1);
  EXPECT_EQ(query->FieldByName("ERROR_TEXT").AsString(), "e1");
  query->Next();
  EXPECT_EQ(query->FieldByName("Error_Code").AsInt(), -2);
  query->Next();
  EXPECT_TRUE(query->Eof());
}

TEST_F(QueryTest, FailedStatementReportsTheServersMessage) {
  auto query = CreateQuery(*db);
  query->SetSql("select nothing from nowhere");
  try {
    query->Open();
    FAIL();
  } catch (const DatabaseError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("Table unknown"), std::string::npos) << message;
    EXPECT_NE(message.find("NOWHERE"), std::string::npos) << message;
    EXPECT_EQ(error.SqlCode(), -204);
    EXPECT_EQ(error.SqlState(), "42S02");
    EXPECT_FALSE(error.IsConnectionLost());
  }
  EXPECT_TRUE(db->Connected());
  query->SetSql("select 1 as v from rdb$database");  // the query is usable afterwards
  query->Open();
  EXPECT_EQ(query->FieldByName("v").AsInt(), 1);
}

}  // namespace
}  // namespace qdz::db
