// The program qdzelvorant: the pharmacy's exchange service with the marketplace.
#include "service/host_linux.h"

int main(int argc, char** argv) { return qdz::service::RunHost(argc, argv); }
