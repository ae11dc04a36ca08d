#include <dlfcn.h>

#include "db/client.h"
#include "db/client_library.h"

namespace qdz::db {

const char* const Client::kDefaultLibrary = "libfbclient.so.2";

std::unique_ptr<ClientLibrary> ClientLibrary::Load(const std::string& name) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_NODELETE);
  if (handle == nullptr) return nullptr;
  return std::unique_ptr<ClientLibrary>(new ClientLibrary(handle));
}

std::unique_ptr<ClientLibrary> ClientLibrary::IfLoaded(const std::string& name) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  return std::unique_ptr<ClientLibrary>(new ClientLibrary(handle));
}

// With RTLD_NODELETE this only drops the reference count; the code stays mapped.
ClientLibrary::~ClientLibrary() { dlclose(handle_); }

void (*ClientLibrary::Symbol(const char* name) const)() {
  return reinterpret_cast<void (*)()>(dlsym(handle_, name));
}

}  // namespace qdz::db
