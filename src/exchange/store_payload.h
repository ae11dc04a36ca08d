#pragma once
// The short JSON that names the store to the marketplace ({"store_id": "..."}), also left in the
// file "_delete_<store id>.json" in the scratch folder.
#include <string>

namespace qdz::db {
class Connection;
}

namespace qdz::exchange {

// Fails with "No ZELVORANT_STORE_UUID" when the store id is absent or blank.
void BuildDeletePayload(db::Connection& db, std::string& payload);

}  // namespace qdz::exchange
