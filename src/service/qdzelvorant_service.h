#pragma once
// The service object: the one connection to the pharmacy database with its default
// transaction, the open service log and the main interval. Creating it opens the log and
// reads the configuration, both in the given folder (the executable's); ServiceExecute runs
// the main loop until the controller is terminated. Releasing it closes the log.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "db/connection.h"
#include "db/transaction.h"
#include "service/config.h"
#include "service/main_loop.h"
#include "service/service_log.h"

namespace qdz::service {

inline constexpr const char* kServiceName = "QDZELVORANTService";

class TQDZELVORANTService {
 public:
  // Fails when the client library cannot be loaded or the log can neither be created nor opened.
  explicit TQDZELVORANTService(std::filesystem::path folder);
  ~TQDZELVORANTService();
  TQDZELVORANTService(const TQDZELVORANTService&) = delete;
  TQDZELVORANTService& operator=(const TQDZELVORANTService&) = delete;

  // The main loop: start lines, a cycle in the first turn and after every main interval, the
  // stop line once the controller is terminated.
  void ServiceExecute(const LoopDrivers& drivers);
  // The start lines and exactly one guarded cycle; true when the cycle returned normally.
  bool ExecuteOnce();

  void WriteLog(const std::string& message);

 private:
  void ServiceCreate();
  void ServiceDestroy();
  void ReadConfig();
  void RunCycleSteps();
  exchange::LogCallback BoundWriteLog();

  std::filesystem::path folder_;
  db::Connection db;
  db::Transaction trnDeafult{db};
  std::unique_ptr<ServiceLog> logStream_;
  std::int32_t mainInterval_ = kDefaultMainInterval;
};

}  // namespace qdz::service
