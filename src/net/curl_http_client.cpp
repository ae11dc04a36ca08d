// HttpClient::Perform over libcurl: one easy handle per request, HTTP/1.1, no redirects, TLS
// peers and host names verified.
#include <curl/curl.h>

#include <memory>
#include <string>

#include "net/http_client.h"

namespace qdz::net {
namespace {

constexpr const char* kUserAgent = "QDZELVORANT";

// curl_global_init is not thread-safe on every libcurl build; a function-local static runs it
// exactly once, whichever thread comes first.
CURLcode GlobalInitResult() {
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  return result;
}

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Everything one transfer owns; released together whatever way the request ends.
class Transfer {
 public:
  Transfer() : handle_(curl_easy_init()) { errorBuffer_[0] = '\0'; }
  // curl keeps the addresses of the error buffer and the response: the object must stay put.
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  CURL* Handle() const { return handle_.get(); }
  char* ErrorBuffer() { return errorBuffer_; }

  // curl_slist_append returns a new head only on success; on failure the old list stays ours.
  bool AppendHeader(const std::string& line) {
    curl_slist* head = curl_slist_append(headers_.get(), line.c_str());
    if (head == nullptr) return false;
    headers_.release();
    headers_.reset(head);
    return true;
  }
  curl_slist* Headers() const { return headers_.get(); }

  HttpResponse& Response() { return response_; }

 private:
  std::unique_ptr<CURL, EasyDeleter> handle_;
  std::unique_ptr<curl_slist, SlistDeleter> headers_;
  char errorBuffer_[CURL_ERROR_SIZE];
  HttpResponse response_;
};

// Callbacks run inside curl's C code: nothing may be thrown through it. Returning a short count
// aborts the transfer, which then reports a write error.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  try {
    static_cast<HttpResponse*>(user)->body.append(data, size * count);
    return size * count;
  } catch (...) {
    return 0;
  }
}

// The last status line wins: an interim "100 Continue" comes before the real one.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  try {
    const std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
      static_cast<HttpResponse*>(user)->reasonPhrase = ReasonPhraseOfStatusLine(line);
    }
    return size * count;
  } catch (...) {
    return 0;
  }
}

bool SetMethodAndBody(CURL* curl, const HttpRequest& request) {
  if (request.method == "GET" && request.body.empty()) {
    return curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  }
  // The body goes out byte for byte with its explicit size, so it may hold zero bytes.
  bool ok = curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(request.body.size())) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data()) == CURLE_OK;
  if (ok && request.method != "POST") {
    ok = curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str()) == CURLE_OK;
  }
  return ok;
}

// curl drops a custom header whose value is blank ("name: "); written "name;" it goes out as
// "name:" with the empty value.
std::string CurlHeaderLine(const std::string& line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos) return line;
  const bool blankValue = line.find_first_not_of(" \t", colon + 1) == std::string::npos;
  return blankValue ? line.substr(0, colon) + ";" : line;
}

bool SetHeaders(Transfer& transfer, const HttpRequest& request) {
  for (const std::string& line : OutgoingHeaderLines(request)) {
    if (!transfer.AppendHeader(CurlHeaderLine(line))) return false;
  }
  // Without a body no Content-Type goes out, not even curl's form default; an empty "Expect:"
  // keeps curl from waiting for "100 Continue" before larger bodies.
  if (request.body.empty() || request.contentType.empty()) {
    if (!transfer.AppendHeader("Content-Type:")) return false;
  }
  if (!transfer.AppendHeader("Expect:")) return false;
  return curl_easy_setopt(transfer.Handle(), CURLOPT_HTTPHEADER, transfer.Headers()) == CURLE_OK;
}

bool SetConnection(CURL* curl, const HttpRequest& request, const HttpClientLimits& limits) {
  bool ok = curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str()) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(limits.connectTimeout.count())) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.idleReadTimeout.count())) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  if (ok && !request.caBundle.empty()) {
    ok = curl_easy_setopt(curl, CURLOPT_CAINFO, request.caBundle.c_str()) == CURLE_OK;
  }
  return ok;
}

bool SetCallbacks(Transfer& transfer) {
  CURL* curl = transfer.Handle();
  HttpResponse* response = &transfer.Response();
  return curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, transfer.ErrorBuffer()) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_WRITEDATA, response) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_HEADERDATA, response) == CURLE_OK;
}

HttpResponse TransportFailure(std::string text) {
  HttpResponse response;
  response.transportError = std::move(text);
  return response;
}

}  // namespace

HttpResponse HttpClient::Perform(const HttpRequest& request) const {
  if (const CURLcode init = GlobalInitResult(); init != CURLE_OK) {
    return TransportFailure(curl_easy_strerror(init));
  }
  Transfer transfer;
  if (transfer.Handle() == nullptr) return TransportFailure("curl_easy_init failed");
  if (!SetCallbacks(transfer) || !SetConnection(transfer.Handle(), request, limits_) ||
      !SetMethodAndBody(transfer.Handle(), request) || !SetHeaders(transfer, request)) {
    return TransportFailure("The HTTP request could not be set up");
  }

  const CURLcode result = curl_easy_perform(transfer.Handle());
  HttpResponse& response = transfer.Response();
  if (result != CURLE_OK) {
    // A transfer cut off mid-body (time-out, dropped connection) has a status already, but it is
    // no response: what arrived is incomplete.
    const std::string detail = transfer.ErrorBuffer()[0] != '\0' ? transfer.ErrorBuffer()
                                                                  : curl_easy_strerror(result);
    return TransportFailure(detail);
  }
  long status = 0;
  curl_easy_getinfo(transfer.Handle(), CURLINFO_RESPONSE_CODE, &status);
  response.received = true;
  response.statusCode = static_cast<int>(status);
  return std::move(response);
}

}  // namespace qdz::net
