#pragma once
// The Firebird client library as the operating system loads it: by name, its entry points by
// name, and a look for a copy that is already in the process. Each platform brings its own
// source; the client (client.cpp) builds on this alone.
#include <memory>
#include <string>

namespace qdz::db {

class ClientLibrary {
 public:
  // The library, loaded and kept in the process for good: it starts threads of its own that
  // outlive every interface we release, and unmapping their code under them crashes the
  // process. Nothing when it cannot be loaded.
  static std::unique_ptr<ClientLibrary> Load(const std::string& name);
  // The library only when it is in the process already; nothing is loaded for it.
  static std::unique_ptr<ClientLibrary> IfLoaded(const std::string& name);

  ~ClientLibrary();
  ClientLibrary(const ClientLibrary&) = delete;
  ClientLibrary& operator=(const ClientLibrary&) = delete;

  // The entry point of that name, or nullptr.
  template <typename Function>
  Function Entry(const char* name) const {
    return reinterpret_cast<Function>(Symbol(name));
  }

 private:
  explicit ClientLibrary(void* handle) : handle_(handle) {}
  // A plain function address; the caller knows its type.
  void (*Symbol(const char* name) const)();

  void* handle_;
};

}  // namespace qdz::db
