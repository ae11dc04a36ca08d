#include "db/connection.h"

#include <algorithm>
#include <utility>

#include "db/connection_impl.h"
#include "db/parameter_blocks.h"

namespace qdz::db {

Firebird::IAttachment* Connection::Impl::OpenAttachment() const {
  if (attachment == nullptr) throw DatabaseError("Cannot perform operation -- DB is not open");
  return attachment;
}

void Connection::Impl::Fail(Status& status) {
  DatabaseError error = client->ErrorFrom(status.Raw());
  if (error.IsConnectionLost()) Close(true);
  throw error;
}

void Connection::Impl::Close(bool connectionLost) noexcept {
  // Copies: dropping its handles makes a user leave these lists.
  const std::vector<AttachmentUser*> openStatements = std::exchange(statements, {});
  const std::vector<AttachmentUser*> openTransactions = std::exchange(transactions, {});
  for (AttachmentUser* user : openStatements) user->DropHandles(connectionLost);
  for (AttachmentUser* user : openTransactions) user->DropHandles(connectionLost);

  if (attachment == nullptr) return;
  Firebird::IAttachment* closing = std::exchange(attachment, nullptr);
  if (!connectionLost) {
    Status status(*client);
    closing->detach(status.get());
    if (!status.Failed()) return;  // detach released it
  }
  closing->release();
}

void Connection::Impl::Remove(std::vector<AttachmentUser*>& users, AttachmentUser* user) {
  users.erase(std::remove(users.begin(), users.end(), user), users.end());
}

Connection::Connection() : Connection(Client::kDefaultLibrary) {}

Connection::Connection(const std::string& clientLibrary) : impl_(std::make_unique<Impl>()) {
  impl_->client = Client::Load(clientLibrary);
}

Connection::~Connection() { impl_->Close(false); }

void Connection::SetDatabaseName(std::string name) { impl_->databaseName = std::move(name); }
const std::string& Connection::DatabaseName() const { return impl_->databaseName; }
void Connection::SetParams(std::string paramsText) { impl_->params = std::move(paramsText); }
const std::string& Connection::Params() const { return impl_->params; }

void Connection::Connect() {
  if (Connected()) return;
  const Client& client = *impl_->client;
  const std::vector<unsigned char> block = BuildConnectionBlock(client, impl_->params);
  Status status(client);
  Firebird::IAttachment* attachment = client.Provider()->attachDatabase(
      status.get(), impl_->databaseName.c_str(), static_cast<unsigned>(block.size()), block.data());
  if (status.Failed()) {
    if (attachment != nullptr) attachment->release();
    throw client.ErrorFrom(status.Raw());
  }
  impl_->attachment = attachment;
}

void Connection::Disconnect() { impl_->Close(false); }

bool Connection::Connected() const { return impl_->attachment != nullptr; }

}  // namespace qdz::db
