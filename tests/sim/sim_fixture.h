#pragma once
// A simulator running in the test process on a free port, over a data folder of the test's own,
// with a plain HTTP client that sends what the service sends.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "marketplace-sim/json_file.h"
#include "marketplace-sim/server.h"
#include "support/temp_dir.h"

namespace qdz::sim {

inline constexpr const char* kMerchantCode = "MC-17";
inline constexpr const char* kToken = "9f8e7d6c";
// {"store_id": "S1"} as the service puts it into the address.
inline constexpr const char* kStoreS1Data = "%7B%22store%5Fid%22%3A%20%22S1%22%7D";

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(); }
  void TearDown() override { server_.reset(); }

  // Starts (again) over the same data folder; the previous server is stopped first.
  void Start(Options options);
  void Start() { Start(DefaultOptions()); }
  void Stop() { server_.reset(); }
  Options DefaultOptions() const;

  // A request with "?mc=" and the "auth_token" header as the service sends them; `query` is
  // appended after the merchant code.
  httplib::Result Send(const std::string& method, const std::string& path, const std::string& body = "",
                       const std::string& moreQuery = "");
  httplib::Result GetOrders() { return Send("GET", "/exch/v4/orders", "", "&data=" + std::string(kStoreS1Data)); }
  // A request exactly as given: raw query, these headers only.
  httplib::Result SendRaw(const std::string& method, const std::string& target, const httplib::Headers& headers,
                          const std::string& body = "");

  std::filesystem::path DataFile(const std::string& name) const { return dir_.path() / name; }
  void WriteDataFile(const std::string& name, const std::string& bytes) const;
  std::string ReadDataFile(const std::string& name) const;
  // The JSON lines of a journal file of the data folder.
  std::vector<Json> JsonLines(const std::string& name) const;

  int port() const { return port_; }

 private:
  testing::TempDir dir_;
  std::unique_ptr<SimServer> server_;
  int port_ = 0;
};

// Everything the server sends on a fresh connection for the request bytes, until it closes.
std::string RawExchange(int port, const std::string& request);

}  // namespace qdz::sim
