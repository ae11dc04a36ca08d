#pragma once
// Reading a BLOB whole into a text, and writing a text into a new BLOB, on a transaction.
#include <firebird/Interface.h>

#include <string>
#include <string_view>

#include "db/connection_impl.h"

namespace qdz::db {

std::string ReadBlob(Connection::Impl& session, Firebird::ITransaction* transaction, const ISC_QUAD& id);
ISC_QUAD WriteBlob(Connection::Impl& session, Firebird::ITransaction* transaction, std::string_view text);

}  // namespace qdz::db
