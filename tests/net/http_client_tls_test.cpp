// HTTPS: the peer's certificate and host name are verified, and nothing of the request (least
// of all the access token) reaches a peer that fails the check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "net/http_client.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

namespace qdz::net {
namespace {

using qdz::testing::HttpTestServer;
using qdz::testing::MakeTestCertificates;
using qdz::testing::TempDir;
using qdz::testing::TestCertificates;

class HttpClientTlsTest : public ::testing::Test {
 protected:
  // A TLS server whose certificate, signed by its own fresh authority, names subjectAltName.
  void StartServer(const std::string& subjectAltName = "IP:127.0.0.1") {
    certificates_ = MakeTestCertificates(folder_.path(), subjectAltName);
    server_ = std::make_unique<HttpTestServer>(certificates_.serverCert, certificates_.serverKey);
    server_->Routes().Post("/exch/v4/orders", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("{\"ok\": true}", "application/json");
    });
    server_->Start();
  }

  HttpRequest TokenRequest(const std::string& caBundle) const {
    HttpRequest request;
    request.method = "POST";
    request.url = server_->Url() + "/exch/v4/orders?mc=M1";
    request.headerLines = {"auth_token: secret-token"};
    request.body = "{\"id\": 1}";
    request.contentType = "application/json";
    request.caBundle = caBundle;
    return request;
  }

  TempDir folder_;
  TestCertificates certificates_;
  std::unique_ptr<HttpTestServer> server_;
};

TEST_F(HttpClientTlsTest, TrustedThroughTheConfiguredAuthority) {
  StartServer();
  const HttpResponse response = HttpClient().Perform(TokenRequest(certificates_.caFile.string()));
  ASSERT_TRUE(response.received) << response.transportError;
  EXPECT_EQ(response.statusCode, 200);
  EXPECT_EQ(response.reasonPhrase, "OK");
  EXPECT_EQ(response.body, "{\"ok\": true}");
  const auto received = server_->Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].headers.find("auth_token")->second, "secret-token");
}

TEST_F(HttpClientTlsTest, UntrustedPeerGetsNothingOfTheRequest) {
  StartServer();
  TempDir otherFolder;
  const TestCertificates other = MakeTestCertificates(otherFolder.path());
  const std::string bundles[] = {
      "",                                          // the system's authorities only
      other.caFile.string(),                       // an authority that did not sign it
      (folder_.path() / "missing.pem").string(),   // a bundle that is not there
  };
  for (const std::string& bundle : bundles) {
    const HttpResponse response = HttpClient().Perform(TokenRequest(bundle));
    EXPECT_FALSE(response.received) << "bundle '" << bundle << "'";
    EXPECT_NE(response.transportError, "") << "bundle '" << bundle << "'";
  }
  EXPECT_TRUE(server_->Received().empty());
}

TEST_F(HttpClientTlsTest, CertificateForAnotherHostIsRefused) {
  StartServer("DNS:marketplace.invalid");
  const HttpResponse response = HttpClient().Perform(TokenRequest(certificates_.caFile.string()));
  EXPECT_FALSE(response.received);
  EXPECT_THAT(response.transportError, ::testing::HasSubstr("127.0.0.1"));
  EXPECT_TRUE(server_->Received().empty());
}

}  // namespace
}  // namespace qdz::net
