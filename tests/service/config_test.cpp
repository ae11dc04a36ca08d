#include "service/config.h"

#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <string>

#include "service/ini_file.h"
#include "support/temp_dir.h"

namespace qdz::service {
namespace {

// Written the way people write INI files by hand: CR LF, odd case, blanks, quotes.
constexpr const char* kHandWrittenIni =
    "; pharmacy connection\r\n"
    "[DBPARAMS]\r\n"
    "  DatabaseName =  localhost:/data/pharmacy.fdb   \r\n"
    "user_name=\r\n"
    "password=\"  secret  \"\r\n"
    "sql_role_name='MANAGER'\r\n"
    "lc_ctype=\"UTF8\r\n"
    "formula=a=b\r\n"
    "two_quoted=\"a\" \"b\"\r\n"
    "only_quotes=\"\"\r\n"
    "\r\n"
    "[ main ]\r\n"
    "interval=60\r\n"
    "DatabaseName=from main\r\n";

struct IniCase {
  const char* section;
  const char* key;
  const char* expected;
};

// Readable test names.
void PrintTo(const IniCase& c, std::ostream* out) { *out << c.section << "/" << c.key; }

class IniReading : public ::testing::TestWithParam<IniCase> {};

TEST_P(IniReading, ReadsLikeTheWindowsProfileReader) {
  const IniFile ini = IniFile::FromText(kHandWrittenIni);
  const IniCase& c = GetParam();
  EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReading,
    ::testing::Values(IniCase{"dbParams", "DatabaseName", "localhost:/data/pharmacy.fdb"},
                      IniCase{"dbparams", "DATABASENAME", "localhost:/data/pharmacy.fdb"},
                      IniCase{"dbParams", "user_name", ""},                // present and empty: not the default
                      IniCase{"dbParams", "password", "  secret  "},       // quotes go, blanks inside stay
                      IniCase{"dbParams", "sql_role_name", "MANAGER"},     // single quotes too
                      IniCase{"dbParams", "lc_ctype", "\"UTF8"},           // an unmatched quote stays
                      IniCase{"dbParams", "formula", "a=b"},               // the first "=" ends the key
                      IniCase{"dbParams", "two_quoted", "a\" \"b"},        // only one enclosing pair goes
                      IniCase{"dbParams", "only_quotes", ""},
                      IniCase{"Main", "Interval", "60"},                   // blanks around a section name
                      IniCase{"main", "DatabaseName", "from main"},        // keys belong to their section
                      IniCase{"dbParams", "Interval", "<default>"},
                      IniCase{"dbParams", "missing", "<default>"},
                      IniCase{"missing", "DatabaseName", "<default>"},
                      IniCase{"pharmacy connection", "x", "<default>"}));  // a comment is no section

TEST(IniFileTest, CutsAValueAfter2047Characters) {
  const std::string longValue(3000, 'x');
  const IniFile ini = IniFile::FromText("[dbParams]\nDatabaseName=" + longValue + "\n");
  EXPECT_EQ(ini.ReadString("dbParams", "DatabaseName", ""), std::string(2047, 'x'));
  const IniFile exact = IniFile::FromText("[dbParams]\nDatabaseName=" + std::string(2047, 'y') + "\n");
  EXPECT_EQ(exact.ReadString("dbParams", "DatabaseName", ""), std::string(2047, 'y'));
}

TEST(IniFileTest, MissingFileGivesEveryDefault) {
  const qdz::testing::TempDir dir;
  const ServiceConfig config = ReadServiceConfig(dir / "QDZELVORANT.ini");
  EXPECT_EQ(config.DatabaseName, "");
  EXPECT_EQ(config.ConnectionParams, "user_name=sysdba\r\npassword=pondwheel\r\nsql_role_name=\r\nlc_ctype=WIN1251");
  EXPECT_EQ(config.MainInterval, 300);
  EXPECT_EQ(config.CaBundle, "");
}

TEST(IniFileTest, ReadsAFileWrittenOnDisk) {
  const qdz::testing::TempDir dir;
  std::ofstream(dir / "QDZELVORANT.ini", std::ios::binary)
      << "\xEF\xBB\xBF[dbParams]\nDatabaseName=srv:pharmacy\n[main]\nInterval=$3C\nCaBundle=/etc/qdz/ca.pem\n";
  const ServiceConfig config = ReadServiceConfig(dir / "QDZELVORANT.ini");
  EXPECT_EQ(config.DatabaseName, "srv:pharmacy");
  EXPECT_EQ(config.MainInterval, 60);
  EXPECT_EQ(config.CaBundle, "/etc/qdz/ca.pem");
}

struct IntervalCase {
  const char* written;
  std::int32_t expected;
};

void PrintTo(const IntervalCase& c, std::ostream* out) { *out << "Interval=" << c.written; }

class MainInterval : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(MainInterval, IsConvertedAndBounded) {
  EXPECT_EQ(MainIntervalFromText(GetParam().written), GetParam().expected) << "Interval=" << GetParam().written;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainInterval,
    ::testing::Values(IntervalCase{"600", 600}, IntervalCase{"601", 300}, IntervalCase{"30", 30},
                      IntervalCase{"29", 30}, IntervalCase{"-5", 30}, IntervalCase{"0", 30},
                      IntervalCase{"0x3C", 60}, IntervalCase{"0X3c", 60}, IntervalCase{"$3C", 60},
                      IntervalCase{"+45", 45}, IntervalCase{"-0x3C", 30}, IntervalCase{"0x259", 300},
                      IntervalCase{"abc", 300}, IntervalCase{"", 300}, IntervalCase{"45s", 300},
                      IntervalCase{"4 5", 300}, IntervalCase{"60.0", 300}, IntervalCase{"0x", 300},
                      IntervalCase{"$", 300}, IntervalCase{"--45", 300}, IntervalCase{"+-45", 300},
                      IntervalCase{"0x-3C", 300}, IntervalCase{"2147483647", 300},
                      IntervalCase{"2147483648", 300}, IntervalCase{"-2147483649", 300},
                      IntervalCase{"99999999999999999999", 300}));

struct ParamsCase {
  const char* name;
  const char* ini;
  const char* expected;
};

void PrintTo(const ParamsCase& c, std::ostream* out) { *out << c.name; }

class ConnectionParams : public ::testing::TestWithParam<ParamsCase> {};

TEST_P(ConnectionParams, AreFourLinesInFixedOrder) {
  EXPECT_EQ(ReadServiceConfig(IniFile::FromText(GetParam().ini)).ConnectionParams, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectionParams,
    ::testing::Values(
        ParamsCase{"NoFile", "", "user_name=sysdba\r\npassword=pondwheel\r\nsql_role_name=\r\nlc_ctype=WIN1251"},
        ParamsCase{"EmptyUser", "[dbParams]\nuser_name=\n", "user_name=\r\npassword=pondwheel\r\nsql_role_name=\r\nlc_ctype=WIN1251"},
        ParamsCase{"AllGiven", "[dbParams]\nlc_ctype=UTF8\nsql_role_name=CASHIER\npassword=p;w=1\nuser_name=Anna\n",
                   "user_name=Anna\r\npassword=p;w=1\r\nsql_role_name=CASHIER\r\nlc_ctype=UTF8"}));

}  // namespace
}  // namespace qdz::service
