#pragma once
// Inside of a Connection, shared with the transactions and queries made on it: the attachment,
// the objects that hold handles on it, and the one place where a failed call becomes an error
// (closing the attachment first when the failure says the connection is gone).
#include <firebird/Interface.h>

#include <memory>
#include <string>
#include <vector>

#include "db/client.h"
#include "db/connection.h"

namespace qdz::db {

// Something that holds handles on the attachment (a transaction, a prepared statement). When the
// attachment closes, it drops them: cleanly after a normal Disconnect, by plain release when the
// connection was lost. Afterwards it must not touch them again.
class AttachmentUser {
 public:
  virtual void DropHandles(bool connectionLost) noexcept = 0;

 protected:
  ~AttachmentUser() = default;
};

struct Connection::Impl {
  std::shared_ptr<Client> client;
  std::string databaseName;
  std::string params;
  Firebird::IAttachment* attachment = nullptr;
  std::vector<AttachmentUser*> statements;
  std::vector<AttachmentUser*> transactions;

  // The attachment, or "Cannot perform operation -- DB is not open".
  Firebird::IAttachment* OpenAttachment() const;

  // Raises the error in the status; a lost connection is closed before.
  [[noreturn]] void Fail(Status& status);

  // Ends what still holds handles (statements first, then transactions) and lets the attachment go.
  void Close(bool connectionLost) noexcept;

  static void Remove(std::vector<AttachmentUser*>& users, AttachmentUser* user);
};

}  // namespace qdz::db
