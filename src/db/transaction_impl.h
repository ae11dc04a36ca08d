#pragma once
// Inside of a Transaction: the client's transaction handle while it is active.
#include <firebird/Interface.h>

#include <memory>
#include <string>

#include "db/connection_impl.h"
#include "db/transaction.h"

namespace qdz::db {

struct Transaction::Impl final : AttachmentUser {
  Impl(Connection& db, std::string paramsText);
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  Connection& connection;
  std::shared_ptr<Client> client;
  std::string params;
  Firebird::ITransaction* handle = nullptr;

  Connection::Impl& Session() const { return connection.impl(); }
  // The handle, starting the transaction first when it is not active.
  Firebird::ITransaction* Started();
  void Commit();
  void Rollback();
  // Commit, or roll back when that fails; raises nothing.
  void EndQuietly() noexcept;

  void DropHandles(bool connectionLost) noexcept override;

 private:
  void Forget();
};

}  // namespace qdz::db
