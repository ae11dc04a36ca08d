#include "db/client.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "db/client_library.h"

namespace qdz::db {
namespace {

DatabaseError LibraryNotFound(const std::string& library) {
  return DatabaseError("InterBase library " + library +
                       " not found in the path. Please install InterBase to use this functionality");
}

// The client library answers SIGINT and SIGTERM by shutting down every attachment of the process
// at once, under a running cycle ("Cannot perform operation -- DB is not open"). The service
// handles these signals itself: it stops once the cycle has ended. So the library's own
// shutdown for a signal is declined; ShutdownClient's at exit goes through.
int DeclineShutdownOnSignal(const int reason, const int, void*) { return reason == fb_shutrsn_signal ? 1 : 0; }

void KeepAttachmentsOnSignals(const ClientLibrary& library) {
  using Callback = int (*)(const int, const int, void*);
  using RegisterCallback = ISC_STATUS (*)(ISC_STATUS*, Callback, const int, void*);
  auto registerCallback = library.Entry<RegisterCallback>("fb_shutdown_callback");
  if (registerCallback == nullptr) return;
  ISC_STATUS_ARRAY status{};
  registerCallback(status, DeclineShutdownOnSignal, fb_shut_confirmation, nullptr);
}

}  // namespace

std::shared_ptr<Client> Client::Load(const std::string& library) {
  // Loaded copies by name; a copy lives as long as something made through it does.
  static std::map<std::string, std::weak_ptr<Client>> loaded;
  if (auto existing = loaded[library].lock()) return existing;

  std::unique_ptr<ClientLibrary> libraryHandle = ClientLibrary::Load(library);
  if (libraryHandle == nullptr) throw LibraryNotFound(library);
  using GetMaster = Firebird::IMaster* (*)();
  auto getMaster = libraryHandle->Entry<GetMaster>("fb_get_master_interface");
  if (getMaster == nullptr) throw LibraryNotFound(library);
  // Once per process: the library is never unloaded, so the callback stays registered.
  static std::once_flag signalsHandled;
  std::call_once(signalsHandled, [&] { KeepAttachmentsOnSignals(*libraryHandle); });

  std::shared_ptr<Client> client(new Client(std::move(libraryHandle), getMaster()));
  loaded[library] = client;
  return client;
}

Client::Client(std::unique_ptr<ClientLibrary> library, Firebird::IMaster* master)
    : library_(std::move(library)),
      master_(master),
      util_(master->getUtilInterface()),
      provider_(master->getDispatcher()) {
  sqlCode_ = library_->Entry<SqlCodeFunction>("isc_sqlcode");
  sqlState_ = library_->Entry<SqlStateFunction>("fb_sqlstate");
}

Client::~Client() { provider_->release(); }

DatabaseError Client::ErrorFrom(Firebird::IStatus* status) const {
  std::vector<char> text(4096);
  util_->formatStatus(text.data(), static_cast<unsigned>(text.size()), status);
  std::string message(text.data());
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();

  const intptr_t* vector = status->getErrors();
  std::intptr_t gdsCode = (vector[0] == isc_arg_gds) ? vector[1] : 0;
  int sqlCode = sqlCode_ != nullptr ? sqlCode_(vector) : 0;
  std::string sqlState;
  if (sqlState_ != nullptr) {
    char state[6] = {};
    sqlState_(state, vector);
    sqlState.assign(state, strnlen(state, sizeof state));
  }
  return DatabaseError(message, gdsCode, sqlCode, std::move(sqlState));
}

}  // namespace qdz::db

namespace qdz::db {

void ShutdownClient() {
  // Only a library that is already in the process is shut down; nothing is loaded for it.
  const std::unique_ptr<ClientLibrary> library = ClientLibrary::IfLoaded(Client::kDefaultLibrary);
  if (library == nullptr) return;
  using ShutdownFunction = int (*)(unsigned int, int);
  auto shutdown = library->Entry<ShutdownFunction>("fb_shutdown");
  if (shutdown != nullptr) shutdown(0, fb_shutrsn_app_stopped);
}

}  // namespace qdz::db
