// The program qdzelvorant: the pharmacy's exchange service with the marketplace.
#include "db/client.h"
#include "service/host.h"

int main(int argc, char** argv) {
  const int exitCode = qdz::service::RunHost(argc, argv);
  // The client library runs threads of its own (and the embedded engine's); they must be gone
  // before the exit handlers unload the libraries under them.
  qdz::db::ShutdownClient();
  return exitCode;
}
