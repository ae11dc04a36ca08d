// qdz-http-probe METHOD URL [BODY]: one request through the program's HTTP client (WinHTTP on
// Windows), as the exchange request makes it: header "auth_token: probe-token", content type
// "application/json". Prints "received: 0|1", then "status: ", "reason: " and the body after a
// line "body:", or "error: " and the transport failure. For the Wine smoke test.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "net/http_client.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: qdz-http-probe METHOD URL [BODY]\n");
    return 2;
  }
  qdz::net::HttpRequest request;
  request.method = argv[1];
  request.url = argv[2];
  request.body = argc == 4 ? argv[3] : "";
  request.headerLines = {"auth_token: probe-token"};
  request.contentType = "application/json";
  // The body is printed byte for byte, line ends included.
  _setmode(_fileno(stdout), _O_BINARY);
  const qdz::net::HttpResponse response = qdz::net::HttpClient().Perform(request);
  std::printf("received: %d\n", response.received ? 1 : 0);
  if (!response.received) {
    std::printf("error: %s\n", response.transportError.c_str());
    return 0;
  }
  std::printf("status: %d\nreason: %s\nbody:\n%s\n", response.statusCode, response.reasonPhrase.c_str(),
              response.body.c_str());
  return 0;
}
