#include "db/transaction.h"

#include <utility>

#include "db/parameter_blocks.h"
#include "db/transaction_impl.h"

namespace qdz::db {

namespace {

DatabaseError NotActive() { return DatabaseError("Transaction is not active"); }

}  // namespace

Transaction::Impl::Impl(Connection& db, std::string paramsText)
    : connection(db), client(db.impl().client), params(std::move(paramsText)) {}

Transaction::Impl::~Impl() { EndQuietly(); }

Firebird::ITransaction* Transaction::Impl::Started() {
  if (handle != nullptr) return handle;
  Connection::Impl& session = Session();
  Firebird::IAttachment* attachment = session.OpenAttachment();
  const std::vector<unsigned char> block = BuildTransactionBlock(*client, params);
  Status status(*client);
  Firebird::ITransaction* started =
      attachment->startTransaction(status.get(), static_cast<unsigned>(block.size()), block.data());
  if (status.Failed()) {
    if (started != nullptr) started->release();
    session.Fail(status);
  }
  handle = started;
  session.transactions.push_back(this);
  return handle;
}

void Transaction::Impl::Commit() {
  if (handle == nullptr) throw NotActive();
  Status status(*client);
  handle->commit(status.get());
  if (status.Failed()) Session().Fail(status);
  Forget();  // commit released the handle
}

void Transaction::Impl::Rollback() {
  if (handle == nullptr) throw NotActive();
  Status status(*client);
  handle->rollback(status.get());
  if (status.Failed()) Session().Fail(status);
  Forget();
}

void Transaction::Impl::EndQuietly() noexcept {
  if (handle == nullptr) return;
  try {
    Commit();
  } catch (...) {
    try {
      if (handle != nullptr) Rollback();
    } catch (...) {
    }
  }
  if (handle != nullptr) {
    handle->release();
    Forget();
  }
}

void Transaction::Impl::DropHandles(bool connectionLost) noexcept {
  // Called while the attachment closes: no error may start another close.
  if (handle == nullptr) return;
  if (!connectionLost) {
    Status status(*client);
    handle->commit(status.get());
    if (!status.Failed()) {
      handle = nullptr;
      return;
    }
    handle->rollback(status.get());
    if (!status.Failed()) {
      handle = nullptr;
      return;
    }
  }
  std::exchange(handle, nullptr)->release();
}

void Transaction::Impl::Forget() {
  handle = nullptr;
  Connection::Impl::Remove(Session().transactions, this);
}

Transaction::Transaction(Connection& db, std::string paramsText)
    : impl_(std::make_unique<Impl>(db, std::move(paramsText))) {}

Transaction::~Transaction() = default;

Connection& Transaction::DefaultDatabase() const { return impl_->connection; }
bool Transaction::Active() const { return impl_->handle != nullptr; }
void Transaction::Start() { impl_->Started(); }
void Transaction::Commit() { impl_->Commit(); }
void Transaction::Rollback() { impl_->Rollback(); }

}  // namespace qdz::db
