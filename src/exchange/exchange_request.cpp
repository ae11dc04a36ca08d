#include "exchange/exchange_request.h"

#include <stdexcept>

#include "exchange/journal.h"
#include "exchange/settings.h"
#include "exchange/url_encoding.h"
#include "net/http_client.h"
#include "util/codepage.h"
#include "util/files.h"
#include "util/if_then_value.h"

namespace qdz::exchange {
namespace {

constexpr std::size_t kJournalledBodyBytes = 1024;
constexpr const char* kAnswerFileName = "_answer";

net::HttpRequest BuildRequest(const std::string& method, const std::string& path,
                              const std::string& body) {
  net::HttpRequest request;
  request.method = method;
  request.url = Settings.BaseUrl + path + "?mc=" + Settings.MerchantCode;
  request.contentType = "application/json";
  request.headerLines.push_back("auth_token: " + Settings.AuthToken);
  request.caBundle = Settings.CaBundle;
  // Exactly "GET" carries its data in the address; any other spelling sends it as a body.
  if (method == "GET") {
    request.url += "&data=" + EncodeUrlElement(body);
  } else {
    request.body = body;
  }
  return request;
}

std::string ResultLine(const net::HttpResponse& response) {
  return "ResultCode=" + std::to_string(response.statusCode) + " (" + response.reasonPhrase + ")";
}

}  // namespace

bool ExchangeRequest(const std::string& method, const std::string& path, const std::string& body,
                     std::int64_t taskId, std::string& answer) {
  const std::int64_t protocolId =
      ProtocolStart(method, path, body.substr(0, kJournalledBodyBytes), taskId);

  bool success = false;
  std::string resultLine;
  try {
    const net::HttpClient client;
    const net::HttpResponse response = client.Perform(BuildRequest(method, path, body));
    if (!response.received) throw std::runtime_error(response.transportError);
    util::SaveStringToFile(response.body, Settings.ScratchFolder / kAnswerFileName);
    resultLine = ResultLine(response);
    const std::string decoded = util::Utf8ToCp1251(response.body);
    success = response.statusCode == 200;
    answer = success ? decoded : resultLine + "\r\n" + decoded;
  } catch (const std::exception& failure) {
    ProtocolFinish(-2, failure.what(), protocolId);
    return false;
  }
  ProtocolFinish(util::IfThenValue(success, 1, -1), resultLine + "\r\n" + answer, protocolId);
  return success;
}

}  // namespace qdz::exchange
