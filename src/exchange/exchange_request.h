#pragma once
// The one road to the marketplace. A call journals the request in ZV$PROT before anything is
// sent, sends it with the access token (a "GET" carries its body URL-encoded in the address),
// keeps the raw answer in "_answer" in the scratch folder, decodes it from UTF-8 to Windows-1251
// and closes the journal row with the outcome.
//
// True: status 200 arrived, answer = decoded body. False with a response of another status:
// answer = "ResultCode=<code> (<reason>)", CR LF, decoded body. False without a response or
// after any other failure of the exchange: answer untouched, the failure's text only in the
// journal row. Failures to write the journal rows reach the caller.
#include <cstdint>
#include <string>

namespace qdz::exchange {

bool ExchangeRequest(const std::string& method, const std::string& path, const std::string& body,
                     std::int64_t taskId, std::string& answer);

}  // namespace qdz::exchange
