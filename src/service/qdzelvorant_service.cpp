#include "service/qdzelvorant_service.h"

#include <utility>

#include "db/query_factory.h"
#include "exchange/cycle.h"
#include "exchange/settings.h"

namespace qdz::service {

TQDZELVORANTService::TQDZELVORANTService(std::filesystem::path folder) : folder_(std::move(folder)) {
  ServiceCreate();
}

TQDZELVORANTService::~TQDZELVORANTService() { ServiceDestroy(); }

void TQDZELVORANTService::ServiceCreate() {
  logStream_ = std::make_unique<ServiceLog>(folder_ / kLogFileName);
  exchange::Settings.ScratchFolder = folder_;
  ReadConfig();
}

void TQDZELVORANTService::ServiceDestroy() {
  // Nobody may reach the connection through the process-wide reference once it is gone.
  if (db::ExchangeDatabase == &db) db::ExchangeDatabase = nullptr;
  logStream_.reset();
}

void TQDZELVORANTService::ReadConfig() {
  const ServiceConfig config = ReadServiceConfig(folder_ / kConfigFileName);
  db.SetDatabaseName(config.DatabaseName);
  db.SetParams(config.ConnectionParams);
  mainInterval_ = config.MainInterval;
  exchange::Settings.CaBundle = config.CaBundle;
}

void TQDZELVORANTService::WriteLog(const std::string& message) {
  if (logStream_) logStream_->Write(message);
}

exchange::LogCallback TQDZELVORANTService::BoundWriteLog() {
  return [this](const std::string& message) { WriteLog(message); };
}

void TQDZELVORANTService::RunCycleSteps() {
  // After a cycle that raised the connection stays open and the next cycle reuses it.
  if (!db.Connected()) db.Connect();
  exchange::RunExchangeCycle(BoundWriteLog());
  db.Disconnect();
}

void TQDZELVORANTService::ServiceExecute(const LoopDrivers& drivers) {
  db::ExchangeDatabase = &db;
  const exchange::LogCallback log = BoundWriteLog();
  WriteStartLines(log, db.DatabaseName(), mainInterval_);
  RunMainLoop(mainInterval_, log, [this] { RunCycleSteps(); }, drivers);
}

bool TQDZELVORANTService::ExecuteOnce() {
  db::ExchangeDatabase = &db;
  const exchange::LogCallback log = BoundWriteLog();
  WriteStartLines(log, db.DatabaseName(), mainInterval_);
  return RunGuardedCycle(log, [this] { RunCycleSteps(); });
}

}  // namespace qdz::service
