#pragma once
// The Firebird client library, loaded at run time. One loaded copy is shared by every connection
// of the process and stays loaded while any connection, transaction or query made through it
// lives; it is unloaded when the last of them is gone.
#include <firebird/Interface.h>

#include <memory>
#include <string>

#include "db/error.h"

namespace qdz::db {

class ClientLibrary;  // the platform's loading (client_library.h)

class Client {
 public:
  // Fails with "InterBase library <library> not found in the path. Please install InterBase to use
  // this functionality" when the library or its entry point cannot be found.
  static std::shared_ptr<Client> Load(const std::string& library);
  // libfbclient.so.2; on Windows gds32.dll, which loads fbclient.dll when there is one.
  static const char* const kDefaultLibrary;

  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  Firebird::IMaster* Master() const { return master_; }
  Firebird::IUtil* Util() const { return util_; }
  Firebird::IProvider* Provider() const { return provider_; }

  // The error that a failed call left in the status: formatted text, gds code, SQLCODE, SQLSTATE.
  DatabaseError ErrorFrom(Firebird::IStatus* status) const;

 private:
  using SqlCodeFunction = int (*)(const intptr_t*);
  using SqlStateFunction = void (*)(char*, const intptr_t*);

  Client(std::unique_ptr<ClientLibrary> library, Firebird::IMaster* master);

  std::unique_ptr<ClientLibrary> library_;
  Firebird::IMaster* master_;
  Firebird::IUtil* util_;
  Firebird::IProvider* provider_;
  SqlCodeFunction sqlCode_ = nullptr;
  SqlStateFunction sqlState_ = nullptr;
};

// Shuts the client library down (embedded engine and its threads included) before the process
// ends, so that no thread of the library still runs while the process's exit handlers unload it.
// Does nothing when the library was never loaded; never throws.
void ShutdownClient();

// An IStatus of the client, owned; the wrapper is what the interface calls take.
class Status {
 public:
  explicit Status(const Client& client) : raw_(client.Master()->getStatus()), wrapper_(raw_) {}
  ~Status() { raw_->dispose(); }
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;

  Firebird::CheckStatusWrapper* get() { return &wrapper_; }
  bool Failed() const { return (wrapper_.getState() & Firebird::IStatus::STATE_ERRORS) != 0; }
  Firebird::IStatus* Raw() { return raw_; }

 private:
  Firebird::IStatus* raw_;
  Firebird::CheckStatusWrapper wrapper_;
};

}  // namespace qdz::db
