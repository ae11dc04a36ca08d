#pragma once
// A fresh reference pharmacy database (schema/) for one test, and isql-fb to look into
// a database independently of our own database layer.
//
// The database is a copy of a template that schema/create-db makes once per build tree:
// the CTest fixture "create_template_db" (FIXTURES_SETUP template_db) makes it before the
// tests that require it; a test program started by hand makes it itself when it is
// missing or older than the schema.
//
// The embedded engine lets one process at a time open a database file: close every
// connection of the test before RunIsql looks at the same file.
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace qdz::testing {

class TestDatabase {
 public:
  TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  // The plain file path of this test's database, usable as a database name.
  std::string path() const { return path_.string(); }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::filesystem::path path_;
};

// The template the copies are made from, created when missing or out of date.
std::filesystem::path TemplateDatabasePath();

// Runs schema/create-db for a new database with extra arguments ("--goods 10");
// throws with create-db's output when it fails.
void CreateDatabase(const std::filesystem::path& dbPath, const std::string& arguments = "");

// Runs the statements with isql-fb (quiet, user SYSDBA, connection character set UTF8,
// so Cyrillic texts go in and come out as UTF-8) and returns what it printed, errors
// included. A failing statement does not stop the ones after it. The last statement's
// terminator ";" may be left out.
std::string RunIsql(const std::string& dbPath, const std::string& sql);

// Like RunIsql, but stops at the first error and fails the test (fatally) when isql-fb
// exits with an error. Use ASSERT_NO_FATAL_FAILURE(...) to stop the test there.
std::string ExecuteIsql(const std::string& dbPath, const std::string& sql);

// The rows of one select, each a map from column name (as isql prints it, upper case
// unless quoted) to its value as isql prints it ("<null>" for NULL, "35.50" for a
// numeric(15,2), "2024-03-05 14:07:09.0000" for a timestamp; a CHAR value keeps its
// padding). A blob gives its text. Values that span lines lose their trailing line breaks,
// and a text in the last column that looks like a blob id ("0:1a") reads as an empty blob.
// Fails the test when isql-fb reports an error.
using IsqlRow = std::map<std::string, std::string>;
std::vector<IsqlRow> QueryIsql(const std::string& dbPath, const std::string& select);

}  // namespace qdz::testing
