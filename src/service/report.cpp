#include "service/report.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <nlohmann/json.hpp>

#include "db/connection.h"
#include "db/query.h"
#include "db/query_factory.h"
#include "db/transaction.h"
#include "service/config.h"
#include "util/codepage.h"

namespace qdz::service {
namespace {

// Nothing in the report writes: a read-only transaction cannot disturb a running cycle, and
// it takes no lock that a cycle would have to wait for.
constexpr const char* kReadOnlyTransaction = "read_committed\r\nrec_version\r\nnowait\r\nread";

constexpr const char* kTokenSql =
    "select cast(PARAM_VALUE as varchar(4000)) as TOKEN from params where param_id='ZELVORANT_AUTH_TOKEN'";

constexpr const char* kTaskColumns =
    "ID, TASK_TYPE, cast(STARTDT as varchar(24)) as STARTTEXT, cast(ENDDT as varchar(24)) as ENDTEXTDT, "
    "endflag, cast(substring(endtext from 1 for 2000) as varchar(2000)) as ENDMESSAGE from I_ORDER_TASKS ";

// The lock row (ID -1) is no batch; queued status changes are not batches of the service yet.
constexpr const char* kOpenTasksWhere =
    "where endflag is null and ID > 0 and not (TASK_TYPE='SET_ORDER_STATUS' and STATUS=0) order by ID desc";

constexpr const char* kQueuedWhere = "where TASK_TYPE='SET_ORDER_STATUS' and STATUS=0 and endflag is null order by ID";

// The same rows the cycle's own decision reads.
constexpr const char* kLastUploadSql =
    "select first 1 cast(ENDDT as varchar(24)) as ENDTEXTDT, datediff(minute from ENDDT to current_timestamp) as AGE "
    "from I_ORDER_TASKS where TASK_TYPE='%s' and ENDDT is not null and STATUS=1 and endflag=1 order by ID desc";

constexpr const char* kFailedExchangesSql =
    "select first %d ID, task_id, METHOD, CMD, STATUS, endflag, cast(STARTDT as varchar(24)) as STARTTEXT, "
    "cast(substring(endtext from 1 for 2000) as varchar(2000)) as ENDMESSAGE from ZV$PROT "
    "where endflag <> 1 order by ID desc";

std::string Format(const char* pattern, const std::string& value) {
  std::string text(pattern);
  const auto at = text.find("%s");
  return text.replace(at, 2, value);
}

std::string Format(const char* pattern, int value) {
  std::string text(pattern);
  const auto at = text.find("%d");
  return text.replace(at, 2, std::to_string(value));
}

// Timestamps come as "yyyy-mm-dd hh:nn:ss.ffff"; the fraction says nothing to a reader.
std::string WholeSeconds(std::string text) { return text.size() > 19 ? text.substr(0, 19) : text; }

std::string FirstLine(const std::string& text) {
  const auto end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end);
}

std::optional<std::int32_t> OptionalInt(const db::Query::Field& field) {
  if (field.IsNull()) return std::nullopt;
  return field.AsInt();
}

// Texts as stored (Windows-1251), with the token replaced, as UTF-8.
class TextCleaner {
 public:
  explicit TextCleaner(std::string token) : token_(std::move(token)) {}
  std::string operator()(const std::string& stored) const {
    std::string text = stored;
    if (!token_.empty()) {
      for (auto at = text.find(token_); at != std::string::npos; at = text.find(token_, at + kMask.size())) {
        text.replace(at, token_.size(), kMask);
      }
    }
    return util::Cp1251ToUtf8(text);
  }

 private:
  static inline const std::string kMask = "***";
  std::string token_;
};

std::string ReadToken(db::Transaction& transaction) {
  const auto query = db::CreateQueryOn(transaction);
  query->SetSql(kTokenSql);
  query->Open();
  return query->Eof() ? std::string() : query->FieldByName("TOKEN").AsString();
}

std::vector<ReportTask> ReadTasks(db::Transaction& transaction, const std::string& sql, const TextCleaner& clean) {
  const auto query = db::CreateQueryOn(transaction);
  query->SetSql(sql);
  std::vector<ReportTask> tasks;
  for (query->Open(); !query->Eof(); query->Next()) {
    tasks.push_back({query->FieldByName("ID").AsInt64(), clean(query->FieldByName("TASK_TYPE").AsString()),
                     WholeSeconds(query->FieldByName("STARTTEXT").AsString()),
                     WholeSeconds(query->FieldByName("ENDTEXTDT").AsString()),
                     OptionalInt(query->FieldByName("endflag")),
                     FirstLine(clean(query->FieldByName("ENDMESSAGE").AsString()))});
  }
  return tasks;
}

std::optional<ReportUpload> ReadLastUpload(db::Transaction& transaction, const std::string& taskType) {
  const auto query = db::CreateQueryOn(transaction);
  query->SetSql(Format(kLastUploadSql, taskType));
  query->Open();
  if (query->Eof()) return std::nullopt;
  return ReportUpload{WholeSeconds(query->FieldByName("ENDTEXTDT").AsString()), query->FieldByName("AGE").AsInt64()};
}

std::vector<ReportExchange> ReadFailedExchanges(db::Transaction& transaction, int count, const TextCleaner& clean) {
  const auto query = db::CreateQueryOn(transaction);
  query->SetSql(Format(kFailedExchangesSql, count));
  std::vector<ReportExchange> exchanges;
  for (query->Open(); !query->Eof(); query->Next()) {
    exchanges.push_back({query->FieldByName("ID").AsInt64(), query->FieldByName("task_id").AsInt64(),
                         clean(query->FieldByName("METHOD").AsString()), clean(query->FieldByName("CMD").AsString()),
                         OptionalInt(query->FieldByName("STATUS")), query->FieldByName("endflag").AsInt(),
                         WholeSeconds(query->FieldByName("STARTTEXT").AsString()),
                         FirstLine(clean(query->FieldByName("ENDMESSAGE").AsString()))});
  }
  return exchanges;
}

std::string FlagText(const std::optional<std::int32_t>& flag) { return flag ? std::to_string(*flag) : "open"; }

std::string AgeText(std::int64_t minutes) {
  if (minutes < 60) return std::to_string(minutes) + " min ago";
  if (minutes < 48 * 60) return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min ago";
  return std::to_string(minutes / (24 * 60)) + " days ago";
}

std::string Pad(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// Columns as wide as their widest cell; the last column is left unpadded.
std::string Table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line = "  ";
    for (std::size_t i = 0; i < row.size(); ++i) line += i + 1 < row.size() ? Pad(row[i], widths[i] + 2) : row[i];
    text += line + "\n";
  }
  return text;
}

std::string TaskTable(const std::vector<ReportTask>& tasks) {
  if (tasks.empty()) return "  none\n";
  std::vector<std::vector<std::string>> rows{{"ID", "TYPE", "START", "END", "FLAG", "END TEXT"}};
  for (const auto& task : tasks) {
    rows.push_back({std::to_string(task.id), task.type, task.start, task.end, FlagText(task.endFlag), task.endText});
  }
  return Table(rows);
}

std::string UploadLine(const char* label, const std::optional<ReportUpload>& upload) {
  return std::string(label) + (upload ? upload->end + " (" + AgeText(upload->ageMinutes) + ")" : "never") + "\n";
}

std::string ExchangeTable(const std::vector<ReportExchange>& exchanges) {
  if (exchanges.empty()) return "  none\n";
  std::vector<std::vector<std::string>> rows{{"ID", "TASK", "START", "REQUEST", "HTTP", "FLAG", "END TEXT"}};
  for (const auto& exchange : exchanges) {
    rows.push_back({std::to_string(exchange.id), std::to_string(exchange.taskId), exchange.start,
                    exchange.method + " " + exchange.command,
                    exchange.httpStatus ? std::to_string(*exchange.httpStatus) : "-",
                    std::to_string(exchange.endFlag), exchange.endText});
  }
  return Table(rows);
}

nlohmann::json FlagJson(const std::optional<std::int32_t>& flag) {
  return flag ? nlohmann::json(*flag) : nlohmann::json(nullptr);
}

nlohmann::json TasksJson(const std::vector<ReportTask>& tasks) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& task : tasks) {
    list.push_back({{"id", task.id}, {"type", task.type}, {"start", task.start}, {"end", task.end},
                    {"endflag", FlagJson(task.endFlag)}, {"endtext", task.endText}});
  }
  return list;
}

nlohmann::json UploadJson(const std::optional<ReportUpload>& upload) {
  if (!upload) return nullptr;
  return {{"end", upload->end}, {"age_minutes", upload->ageMinutes}};
}

}  // namespace

AdminReport ReadAdminReport(db::Connection& connection, int count) {
  db::Transaction transaction(connection, kReadOnlyTransaction);
  const TextCleaner clean(ReadToken(transaction));
  const std::string first = "select first " + std::to_string(std::max(count, 0)) + " ";
  AdminReport report;
  report.recentTasks = ReadTasks(transaction, first + kTaskColumns + "where ID > 0 order by ID desc", clean);
  report.lastFullUpload = ReadLastUpload(transaction, "POSTALLPRICES");
  report.lastPartialUpload = ReadLastUpload(transaction, "POSTPRICES");
  report.queuedStatusChanges = ReadTasks(transaction, std::string("select ") + kTaskColumns + kQueuedWhere, clean);
  report.openTasks = ReadTasks(transaction, std::string("select ") + kTaskColumns + kOpenTasksWhere, clean);
  report.failedExchanges = ReadFailedExchanges(transaction, std::max(count, 0), clean);
  transaction.Commit();
  return report;
}

std::string FormatReportText(const AdminReport& report) {
  std::string text = "Recent tasks (newest first):\n" + TaskTable(report.recentTasks);
  text += "\nLast successful uploads:\n";
  text += UploadLine("  full:    ", report.lastFullUpload);
  text += UploadLine("  partial: ", report.lastPartialUpload);
  text += "\nStatus changes waiting: " + std::to_string(report.queuedStatusChanges.size()) + "\n" +
          TaskTable(report.queuedStatusChanges);
  text += "\nTasks left open: " + std::to_string(report.openTasks.size()) + "\n" + TaskTable(report.openTasks);
  text += "\nFailed exchanges (newest first):\n" + ExchangeTable(report.failedExchanges);
  return text;
}

std::string FormatReportJson(const AdminReport& report) {
  nlohmann::json failed = nlohmann::json::array();
  for (const auto& exchange : report.failedExchanges) {
    failed.push_back({{"id", exchange.id}, {"task_id", exchange.taskId}, {"method", exchange.method},
                      {"cmd", exchange.command}, {"status", FlagJson(exchange.httpStatus)},
                      {"endflag", exchange.endFlag}, {"start", exchange.start}, {"endtext", exchange.endText}});
  }
  const nlohmann::json document{{"recent_tasks", TasksJson(report.recentTasks)},
                                {"last_full_upload", UploadJson(report.lastFullUpload)},
                                {"last_partial_upload", UploadJson(report.lastPartialUpload)},
                                {"queued_status_changes", TasksJson(report.queuedStatusChanges)},
                                {"open_tasks", TasksJson(report.openTasks)},
                                {"failed_exchanges", failed}};
  // Invalid UTF-8 cannot come out of the conversion, but a replacement beats an abort.
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

int RunReport(const std::filesystem::path& configFile, int count, bool json, std::ostream& out, std::ostream& err) {
  try {
    const ServiceConfig config = ReadServiceConfig(configFile);
    db::Connection connection;
    connection.SetDatabaseName(config.DatabaseName);
    connection.SetParams(config.ConnectionParams);
    connection.Connect();
    const AdminReport report = ReadAdminReport(connection, count);
    connection.Disconnect();
    out << (json ? FormatReportJson(report) : FormatReportText(report));
    return 0;
  } catch (const std::exception& e) {
    err << "REPORT failed: " << util::Cp1251ToUtf8(e.what()) << "\n";
    return 1;
  }
}

}  // namespace qdz::service
