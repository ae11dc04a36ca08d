// The HTTP client against real peers on 127.0.0.1: cpp-httplib for ordinary exchanges and a raw
// socket peer for answers a server library will not give.
#include "net/http_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/http_test_server.h"
#include "support/raw_http_server.h"

namespace qdz::net {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using qdz::testing::HttpTestServer;
using qdz::testing::RawHttpServer;

HttpRequest Get(const std::string& url) {
  HttpRequest request;
  request.method = "GET";
  request.url = url;
  return request;
}

TEST(ReasonPhraseOfStatusLine, TakesEverythingAfterTheCode) {
  struct Case {
    const char* line;
    const char* phrase;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\n", "OK"},
      {"HTTP/1.1 404 Not Found\r\n", "Not Found"},
      {"HTTP/1.0 200 Fine\n", "Fine"},
      {"HTTP/1.1 200 \r\n", ""},
      {"HTTP/1.1 503\r\n", ""},
      {"HTTP/2 200\r\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ReasonPhraseOfStatusLine(c.line), c.phrase) << c.line;
}

TEST(OutgoingHeaderLines, ContentTypeOnlyWithBodyAndType) {
  HttpRequest request;
  request.headerLines = {"auth_token: abc"};
  request.contentType = "application/json";
  EXPECT_EQ(OutgoingHeaderLines(request), std::vector<std::string>{"auth_token: abc"});
  request.body = "{}";
  EXPECT_EQ(OutgoingHeaderLines(request),
            (std::vector<std::string>{"auth_token: abc", "Content-Type: application/json"}));
  request.contentType.clear();
  EXPECT_EQ(OutgoingHeaderLines(request), std::vector<std::string>{"auth_token: abc"});
}

TEST(HttpClient, ReadsStatusReasonAndBodyAsTheServerSentThem) {
  struct Case {
    std::string reply;
    int status;
    std::string reason;
    std::string body;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 Fine\r\nContent-Length: 5\r\n\r\nhello", 200, "Fine", "hello"},
      {"HTTP/1.1 404 Not Here At All\r\nContent-Length: 0\r\n\r\n", 404, "Not Here At All", ""},
      {"HTTP/1.1 503\r\nContent-Length: 2\r\n\r\nno", 503, "", "no"},
      // Binary body: zero bytes and bytes above 0x7F arrive unchanged.
      {std::string("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\na\0\xC8z", 42), 200, "OK",
       std::string("a\0\xC8z", 4)},
      // An interim answer comes first; the final status line is the one that counts.
      {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Made\r\nContent-Length: 2\r\n\r\nok", 201, "Made", "ok"},
      // Without a length the body runs to the end of the connection.
      {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nuntil close", 200, "OK", "until close"},
  };
  for (const Case& c : cases) {
    RawHttpServer server(c.reply);
    const HttpResponse response = HttpClient().Perform(Get(server.Url() + "/x"));
    ASSERT_TRUE(response.received) << c.reply << response.transportError;
    EXPECT_EQ(response.statusCode, c.status) << c.reply;
    EXPECT_EQ(response.reasonPhrase, c.reason) << c.reply;
    EXPECT_EQ(response.body, c.body) << c.reply;
    EXPECT_EQ(response.transportError, "");
  }
}

TEST(HttpClient, SpeaksHttp11) {
  RawHttpServer server("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
  ASSERT_TRUE(HttpClient().Perform(Get(server.Url() + "/a/b?mc=1&data=%7B")).received);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_THAT(server.Requests()[0], StartsWith("GET /a/b?mc=1&data=%7B HTTP/1.1\r\n"));
}

TEST(HttpClient, ReturnsARedirectInsteadOfFollowingIt) {
  HttpTestServer server;
  server.Routes().Get("/old", [](const httplib::Request&, httplib::Response& response) {
    response.status = 302;
    response.set_header("Location", "/new");
    response.set_content("moved", "text/plain");
  });
  server.Routes().Get("/new", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("followed", "text/plain");
  });
  server.Start();

  const HttpResponse response = HttpClient().Perform(Get(server.Url() + "/old"));
  ASSERT_TRUE(response.received) << response.transportError;
  EXPECT_EQ(response.statusCode, 302);
  EXPECT_EQ(response.reasonPhrase, "Found");
  EXPECT_EQ(response.body, "moved");
  ASSERT_EQ(server.Received().size(), 1u);
  EXPECT_EQ(server.Received()[0].path, "/old");
}

TEST(HttpClient, RefusedConnectionIsAValueWithATextNotAnException) {
  const HttpResponse response =
      HttpClient().Perform(Get("http://127.0.0.1:" + std::to_string(qdz::testing::UnusedLocalPort()) + "/x"));
  EXPECT_FALSE(response.received);
  EXPECT_EQ(response.statusCode, 0);
  EXPECT_THAT(response.transportError, HasSubstr("Failed to connect to 127.0.0.1"));
}

TEST(HttpClient, SchemesOtherThanHttpAreRefused) {
  const HttpResponse response = HttpClient().Perform(Get("file:///etc/hostname"));
  EXPECT_FALSE(response.received);
  EXPECT_NE(response.transportError, "");
  EXPECT_EQ(response.body, "");
}

// The peer goes quiet: reading gives up after the idle limit, also when the status line and part
// of the body have already arrived.
TEST(HttpClient, GivesUpWhenThePeerStaysSilent) {
  const std::string replies[] = {
      "",
      "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst bytes",
  };
  for (const std::string& reply : replies) {
    RawHttpServer server(reply, RawHttpServer::AfterReply::StaySilent);
    HttpClientLimits limits;
    limits.idleReadTimeout = std::chrono::seconds(1);
    const HttpResponse response = HttpClient(limits).Perform(Get(server.Url() + "/slow"));
    EXPECT_FALSE(response.received) << reply;
    EXPECT_THAT(response.transportError, HasSubstr("too slow")) << reply;
  }
}

TEST(HttpClient, ConnectionDroppedBeforeTheAnswerIsCompleteIsNoResponse) {
  const std::string replies[] = {
      "",
      "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly a part",
  };
  for (const std::string& reply : replies) {
    RawHttpServer server(reply);
    const HttpResponse response = HttpClient().Perform(Get(server.Url() + "/drop"));
    EXPECT_FALSE(response.received) << reply;
    EXPECT_NE(response.transportError, "") << reply;
    EXPECT_EQ(server.Requests().size(), 1u);
  }
}

// The raw request shows the line itself: a server library drops a header without a value.
TEST(HttpClient, SendsHeaderLinesAlsoWithAnEmptyValue) {
  struct Case {
    std::string token;
    std::string lineOnTheWire;
  };
  const Case cases[] = {
      {"t0k3n-value", "\r\nauth_token: t0k3n-value\r\n"},
      {"", "\r\nauth_token:\r\n"},
  };
  for (const Case& c : cases) {
    RawHttpServer server("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    HttpRequest request = Get(server.Url() + "/x");
    request.headerLines = {"auth_token: " + c.token};
    ASSERT_TRUE(HttpClient().Perform(request).received);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_THAT(server.Requests()[0], HasSubstr(c.lineOnTheWire)) << "token '" << c.token << "'";
  }
}

class HttpClientRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Routes().Get("/login", [](const httplib::Request&, httplib::Response& response) {
      response.set_header("Set-Cookie", "session=abc; Path=/");
      response.set_content("in", "text/plain");
    });
    const auto seen = [](const httplib::Request&, httplib::Response& response) {
      response.set_content("seen", "text/plain");
    };
    server_.Routes().Get(".*", seen).Post(".*", seen).Delete(".*", seen);
    server_.Start();
  }

  // What the server received for the one request the client sent.
  qdz::testing::ReceivedRequest SendAndReceive(HttpRequest request) {
    const std::size_t before = server_.Received().size();
    request.url = server_.Url() + "/exch/v4/orders?mc=M1";
    const HttpResponse response = HttpClient().Perform(request);
    EXPECT_TRUE(response.received) << response.transportError;
    EXPECT_EQ(response.statusCode, 200);
    const auto received = server_.Received();
    EXPECT_EQ(received.size(), before + 1);
    return received.size() > before ? received.back() : qdz::testing::ReceivedRequest{};
  }

  HttpTestServer server_;
};

TEST_F(HttpClientRequestTest, SendsMethodBodyAndContentTypeOnlyWithABody) {
  struct Case {
    std::string method;
    std::string body;
  };
  const Case cases[] = {
      {"GET", ""},
      {"POST", ""},
      {"POST", "{\"a\": 1}"},
      {"DELETE", "{\"store_id\": \"s1\"}"},
      {"DELETE", ""},
      // Binary-safe: a zero byte does not end the body, high bytes pass unchanged.
      {"POST", std::string("x\0y\xD0\x98z", 6)},
  };
  for (const Case& c : cases) {
    HttpRequest request;
    request.method = c.method;
    request.body = c.body;
    request.contentType = "application/json";
    const auto received = SendAndReceive(request);
    EXPECT_EQ(received.method, c.method);
    EXPECT_EQ(received.target, "/exch/v4/orders?mc=M1");
    EXPECT_EQ(received.body, c.body);
    const auto contentTypes = received.headers.count("Content-Type");
    if (c.body.empty()) {
      EXPECT_EQ(contentTypes, 0u) << c.method << " without body";
    } else {
      ASSERT_EQ(contentTypes, 1u) << c.method;
      EXPECT_EQ(received.headers.find("Content-Type")->second, "application/json");
    }
  }
}

TEST_F(HttpClientRequestTest, LargeBodyGoesOutWithoutExpectContinue) {
  HttpRequest request;
  request.method = "POST";
  request.contentType = "application/json";
  request.body = std::string(100 * 1024, 'x');
  const auto received = SendAndReceive(request);
  EXPECT_EQ(received.body.size(), request.body.size());
  EXPECT_TRUE(received.body == request.body);
  EXPECT_EQ(received.headers.count("Expect"), 0u);
}

TEST_F(HttpClientRequestTest, CarriesNothingFromOneRequestToTheNext) {
  HttpRequest first = Get(server_.Url() + "/login");
  first.headerLines = {"auth_token: first"};
  const HttpResponse login = HttpClient().Perform(first);
  ASSERT_TRUE(login.received);
  ASSERT_EQ(login.body, "in");
  const auto received = SendAndReceive(Get(""));
  EXPECT_EQ(received.headers.count("Cookie"), 0u);
  EXPECT_EQ(received.headers.count("auth_token"), 0u);
}

}  // namespace
}  // namespace qdz::net
