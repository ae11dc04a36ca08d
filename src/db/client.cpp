#include "db/client.h"

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <vector>

namespace qdz::db {

struct Client::LibraryHandle {
  void* handle;
  explicit LibraryHandle(void* h) : handle(h) {}
  ~LibraryHandle() { dlclose(handle); }
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;

  template <typename Function>
  Function Symbol(const char* name) const {
    return reinterpret_cast<Function>(dlsym(handle, name));
  }
};

namespace {

DatabaseError LibraryNotFound(const std::string& library) {
  return DatabaseError("InterBase library " + library +
                       " not found in the path. Please install InterBase to use this functionality");
}

}  // namespace

std::shared_ptr<Client> Client::Load(const std::string& library) {
  // Loaded copies by name; a copy lives as long as something made through it does.
  static std::map<std::string, std::weak_ptr<Client>> loaded;
  if (auto existing = loaded[library].lock()) return existing;

  // Never unloaded: the library starts threads of its own that outlive every interface we
  // release, and unmapping their code under them crashes the process.
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NODELETE);
  if (handle == nullptr) throw LibraryNotFound(library);
  auto libraryHandle = std::make_unique<LibraryHandle>(handle);
  using GetMaster = Firebird::IMaster* (*)();
  auto getMaster = libraryHandle->Symbol<GetMaster>("fb_get_master_interface");
  if (getMaster == nullptr) throw LibraryNotFound(library);

  std::shared_ptr<Client> client(new Client(std::move(libraryHandle), getMaster()));
  loaded[library] = client;
  return client;
}

Client::Client(std::unique_ptr<LibraryHandle> library, Firebird::IMaster* master)
    : library_(std::move(library)),
      master_(master),
      util_(master->getUtilInterface()),
      provider_(master->getDispatcher()) {
  sqlCode_ = library_->Symbol<SqlCodeFunction>("isc_sqlcode");
  sqlState_ = library_->Symbol<SqlStateFunction>("fb_sqlstate");
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
  void* handle = dlopen(Client::kDefaultLibrary, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return;
  using ShutdownFunction = int (*)(unsigned int, int);
  auto shutdown = reinterpret_cast<ShutdownFunction>(dlsym(handle, "fb_shutdown"));
  if (shutdown != nullptr) shutdown(0, fb_shutrsn_app_stopped);
  dlclose(handle);
}

}  // namespace qdz::db
