// The marketplace over HTTPS with a certificate from a private authority: trusted through the
// INI's CaBundle it works; otherwise every exchange fails before a byte of HTTP, so the access
// token never leaves the machine.
#include <gtest/gtest.h>

#include "e2e_fixture.h"
#include "support/test_certificates.h"

namespace qdz::e2e {
namespace {

enum class Trust { ServersAuthority, NoBundle, AnotherAuthority };

struct TlsCase {
  const char* name;
  Trust trust;
};

void PrintTo(const TlsCase& tlsCase, std::ostream* out) { *out << tlsCase.name; }

class MarketplaceOverTls : public ::testing::TestWithParam<TlsCase> {};

bool CarriesToken(const Json& request) {
  for (const Json& header : request["headers"]) {
    if (header[0] == "auth_token" && header[1] == Marketplace::kToken) return true;
  }
  return false;
}

TEST_P(MarketplaceOverTls, OnlyATrustedCertificateGetsTheRequests) {
  testing::TempDir certificates;
  fs::create_directory(certificates / "server");
  fs::create_directory(certificates / "other");
  const testing::TestCertificates server = testing::MakeTestCertificates(certificates / "server");
  const testing::TestCertificates other = testing::MakeTestCertificates(certificates / "other");
  ScenarioDatabase db;
  db.AddGoods(20);
  Marketplace market(server.serverCert, server.serverKey);
  market.Serve(db);
  market.SetOrders(OrderList(701, 2));
  const long long statusTask = db.QueueStatusChange("id=701\r\nstatus_id=5\r\n");
  std::string bundle;
  if (GetParam().trust == Trust::ServersAuthority) bundle = server.caFile.string();
  if (GetParam().trust == Trust::AnotherAuthority) bundle = other.caFile.string();
  ServiceCopy service(db.name(), 30, bundle);

  ASSERT_EQ(service.RunOnce(), 0) << service.LogBytes();
  const auto exchanges = db.Query("select CMD, ENDFLAG, ENDTEXT from ZV$PROT order by ID");
  if (GetParam().trust == Trust::ServersAuthority) {
    ASSERT_EQ(exchanges.size(), 5u);
    for (const auto& exchange : exchanges) EXPECT_EQ(exchange.at("ENDFLAG"), "1") << exchange.at("CMD");
    EXPECT_EQ(db.Value("select count(*) as N from i_orders where STATUS = 1"), "2");
    EXPECT_EQ(market.Exported(), OrderNumbers(701, 2));
    const auto requests = market.Requests();
    ASSERT_EQ(requests.size(), 5u);
    for (const Json& request : requests) EXPECT_TRUE(CarriesToken(request)) << request.dump();
  } else {
    // Withdrawal, full part, download, status change: no acknowledgement without a download.
    ASSERT_EQ(exchanges.size(), 4u);
    for (const auto& exchange : exchanges) {
      EXPECT_EQ(exchange.at("ENDFLAG"), "-2") << exchange.at("CMD");
      EXPECT_NE(exchange.at("ENDTEXT").find("certificate"), std::string::npos) << exchange.at("ENDTEXT");
    }
    EXPECT_EQ(db.Value("select ENDFLAG from I_ORDER_TASKS where TASK_TYPE = 'GETORDERS'"), "-2");
    EXPECT_EQ(db.Value("select ENDFLAG || ' ' || ENDTEXT as T from I_ORDER_TASKS where ID = " +
                       std::to_string(statusTask)),
              "-2 POST ERROR: ");
    EXPECT_TRUE(market.Requests().empty()) << "an HTTP request got through the failed handshake";
    EXPECT_FALSE(fs::exists(service.folder() / "_answer"));
  }
}

INSTANTIATE_TEST_SUITE_P(Certificate, MarketplaceOverTls,
                         ::testing::Values(TlsCase{"TrustedThroughCaBundle", Trust::ServersAuthority},
                                           TlsCase{"UntrustedWithoutBundle", Trust::NoBundle},
                                           TlsCase{"UntrustedWithAnotherAuthority", Trust::AnotherAuthority}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace qdz::e2e
