// HttpClient::Perform over WinHTTP: a session of its own per request, HTTP/1.1, no redirects,
// no cookies, TLS through the system with the server's certificate and name verified against
// the Windows certificate store.
#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <string>

#include "net/http_client.h"
#include "util/system_error_text.h"

namespace qdz::net {
namespace {

constexpr const wchar_t* kUserAgent = L"QDZELVORANT";
// The system's texts are Windows-1251 bytes; addresses and header lines go over as they are.
constexpr UINT kTextCodePage = 1251;
constexpr DWORD kReadChunk = 64 * 1024;

struct InternetDeleter {
  void operator()(void* handle) const { ::WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetDeleter>;

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int length = ::MultiByteToWideChar(kTextCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(kTextCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int length = ::WideCharToMultiByte(kTextCodePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(kTextCodePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        nullptr);
  return text;
}

HttpResponse TransportFailure(std::string text) {
  HttpResponse response;
  response.transportError = std::move(text);
  return response;
}

// The failures a request meets most, for systems whose winhttp.dll brings no texts (Wine).
const char* KnownFailure(DWORD code) {
  switch (code) {
    case ERROR_WINHTTP_TIMEOUT:
      return "The operation timed out";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "The server name could not be resolved";
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "A connection with the server could not be established";
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return "The connection with the server was reset or terminated";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return "The server response could not be parsed";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      return "The secure connection could not be established (certificate or TLS failure)";
    default:
      return nullptr;
  }
}

// What the last failed WinHTTP call left, in WinHTTP's own words where it has them.
HttpResponse LastFailure(const char* step) {
  const DWORD code = ::GetLastError();
  std::string text = util::SystemErrorText(code, "winhttp.dll");
  if (const char* known = KnownFailure(code); known != nullptr && text.rfind("system error ", 0) == 0) {
    text = std::string(known) + " (WinHTTP error " + std::to_string(code) + ")";
  }
  return TransportFailure(std::string(step) + ": " + text);
}

struct Target {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query
};

bool CrackUrl(const std::string& url, Target& target) {
  const std::wstring wide = Widen(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  target.port = parts.nPort;
  target.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  target.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.object.empty()) target.object = L"/";
  return true;
}

int Milliseconds(std::chrono::seconds limit) { return static_cast<int>(limit.count() * 1000); }

bool SetRequestOptions(HINTERNET request) {
  DWORD disabled = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
  return ::WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled) != FALSE;
}

bool AddHeaders(HINTERNET request, const HttpRequest& http) {
  for (const std::string& line : OutgoingHeaderLines(http)) {
    // ADD alone: with REPLACE an empty value would take the header away.
    const std::wstring wide = Widen(line);
    if (!::WinHttpAddRequestHeaders(request, wide.c_str(), static_cast<DWORD>(wide.size()), WINHTTP_ADDREQ_FLAG_ADD)) {
      return false;
    }
  }
  return true;
}

std::string ReasonPhrase(HINTERNET request) {
  DWORD bytes = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &bytes, WINHTTP_NO_HEADER_INDEX);
  if (bytes == 0) return {};
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  text.resize(bytes / sizeof(wchar_t));
  return Narrow(text);
}

// Reads until the server has sent everything; each read waits at most the receive limit.
bool ReadBody(HINTERNET request, std::string& body) {
  std::string chunk(kReadChunk, '\0');
  for (;;) {
    DWORD got = 0;
    if (!::WinHttpReadData(request, chunk.data(), kReadChunk, &got)) return false;
    if (got == 0) return true;
    body.append(chunk.data(), got);
  }
}

}  // namespace

HttpResponse HttpClient::Perform(const HttpRequest& request) const {
  // WinHTTP trusts the Windows certificate store only; a private authority belongs there.
  if (!request.caBundle.empty()) {
    return TransportFailure("A CA bundle file is not supported on Windows: import the authority into the "
                            "Windows certificate store and leave CaBundle empty");
  }
  Target target;
  if (!CrackUrl(request.url, target)) return TransportFailure("Unsupported or malformed URL: " + request.url);

  const InternetHandle session(::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return LastFailure("WinHttpOpen");
  // Name resolution has no limit of its own, as with libcurl; sending and receiving give up
  // after the idle limit without a byte moving.
  if (!::WinHttpSetTimeouts(session.get(), 0, Milliseconds(limits_.connectTimeout),
                            Milliseconds(limits_.idleReadTimeout), Milliseconds(limits_.idleReadTimeout))) {
    return LastFailure("WinHttpSetTimeouts");
  }
  const InternetHandle connection(::WinHttpConnect(session.get(), target.host.c_str(), target.port, 0));
  if (!connection) return LastFailure("WinHttpConnect");

  const std::wstring method = Widen(request.method);
  // The address is already percent-encoded by the caller: WinHTTP must not encode it again.
  const DWORD flags = (target.secure ? WINHTTP_FLAG_SECURE : 0) | WINHTTP_FLAG_ESCAPE_DISABLE |
                      WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
  const InternetHandle handle(::WinHttpOpenRequest(connection.get(), method.c_str(), target.object.c_str(), nullptr,
                                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  if (!handle) return LastFailure("WinHttpOpenRequest");
  if (!SetRequestOptions(handle.get()) || !AddHeaders(handle.get(), request)) {
    return LastFailure("The HTTP request could not be set up");
  }

  // The body goes out byte for byte with its explicit size, so it may hold zero bytes.
  const DWORD bodySize = static_cast<DWORD>(request.body.size());
  LPVOID body = request.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(request.body.data());
  if (!::WinHttpSendRequest(handle.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, bodySize, bodySize, 0)) {
    return LastFailure("WinHttpSendRequest");
  }
  if (!::WinHttpReceiveResponse(handle.get(), nullptr)) return LastFailure("WinHttpReceiveResponse");

  HttpResponse response;
  DWORD status = 0;
  DWORD statusSize = sizeof status;
  if (!::WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
    return LastFailure("WinHttpQueryHeaders");
  }
  response.reasonPhrase = ReasonPhrase(handle.get());
  // A body cut off (time-out, dropped connection) has a status already, but it is no response:
  // what arrived is incomplete.
  if (!ReadBody(handle.get(), response.body)) return LastFailure("WinHttpReadData");
  response.received = true;
  response.statusCode = static_cast<int>(status);
  return response;
}

}  // namespace qdz::net
