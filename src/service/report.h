#pragma once
// The REPORT switch: what an administrator asks first when the marketplace shows stale data
// or missing orders. It reads the task journal and the exchange protocol of the configured
// database on a read-only transaction and prints recent batches, the age of the last good
// uploads, the status changes still waiting, batches that never ended and failed exchanges.
// The access token of params never appears in the output: it is masked wherever a stored
// text happens to hold it.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qdz::db {
class Connection;
}

namespace qdz::service {

// Texts are UTF-8, times "yyyy-mm-dd hh:nn:ss" (empty for NULL).
struct ReportTask {
  std::int64_t id = 0;
  std::string type;
  std::string start;
  std::string end;
  std::optional<std::int32_t> endFlag;
  std::string endText;  // the first line only
};

struct ReportUpload {
  std::string end;
  std::int64_t ageMinutes = 0;
};

struct ReportExchange {
  std::int64_t id = 0;
  std::int64_t taskId = 0;
  std::string method;
  std::string command;
  std::optional<std::int32_t> httpStatus;
  std::int32_t endFlag = 0;
  std::string start;
  std::string endText;  // the first line only
};

struct AdminReport {
  std::vector<ReportTask> recentTasks;
  std::optional<ReportUpload> lastFullUpload;
  std::optional<ReportUpload> lastPartialUpload;
  std::vector<ReportTask> queuedStatusChanges;
  std::vector<ReportTask> openTasks;
  std::vector<ReportExchange> failedExchanges;
};

// count: how many recent task rows and failed exchanges to show (newest first).
AdminReport ReadAdminReport(db::Connection& connection, int count);

std::string FormatReportText(const AdminReport& report);
std::string FormatReportJson(const AdminReport& report);

// Reads the configuration file, connects with its settings and prints the report; the exit
// status (1 with a message on err when the file or the database cannot be read).
int RunReport(const std::filesystem::path& configFile, int count, bool json, std::ostream& out, std::ostream& err);

}  // namespace qdz::service
