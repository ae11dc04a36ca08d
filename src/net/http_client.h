#pragma once
// One HTTP exchange as plain values: a request goes in, a response comes out. A transport failure
// (refused connection, unknown host, time-out, TLS failure) is a response with received == false
// and a text, never an exception. Every Perform uses a fresh connection: nothing (connection,
// cookies, headers) is carried from one request to the next. Redirects are returned, not followed;
// TLS peers are verified. libcurl serves on Linux, WinHTTP on Windows.
#include <chrono>
#include <string>
#include <vector>

namespace qdz::net {

struct HttpRequest {
  std::string method;                    // sent as given: "GET", "POST", "DELETE", ...
  std::string url;                       // absolute, with its query
  std::vector<std::string> headerLines;  // raw lines "name: value"; an empty value goes out too
  std::string body;                      // bytes, sent unchanged
  std::string contentType;               // sent as "Content-Type" only with a non-empty body
  std::string caBundle;                  // PEM file of trusted authorities; empty: the system's
};

struct HttpResponse {
  bool received = false;       // a complete response was read
  int statusCode = 0;
  std::string reasonPhrase;    // as the status line gave it, e.g. "OK"
  std::string body;            // bytes as received
  std::string transportError;  // why nothing was received
};

struct HttpClientLimits {
  std::chrono::seconds connectTimeout{30};
  // Reading gives up after this long without a single byte arriving.
  std::chrono::seconds idleReadTimeout{90};
};

class HttpClient {
 public:
  explicit HttpClient(HttpClientLimits limits = {});

  HttpResponse Perform(const HttpRequest& request) const;

 private:
  HttpClientLimits limits_;
};

// The header lines that go out with a request besides the client's own: the caller's lines and
// "Content-Type: <type>" when there is a body and a type.
std::vector<std::string> OutgoingHeaderLines(const HttpRequest& request);

// The reason phrase of a status line such as "HTTP/1.1 404 Not Found\r\n" ("Not Found"); empty
// when the line has none.
std::string ReasonPhraseOfStatusLine(const std::string& statusLine);

}  // namespace qdz::net
