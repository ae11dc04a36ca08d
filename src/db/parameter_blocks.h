#pragma once
// The connection and transaction parameter texts turned into the client's parameter blocks.
//  - connection: "name=value" lines (user_name, password, sql_role_name, lc_ctype; names without
//    regard to case, an "isc_dpb_" prefix allowed, other names ignored), SQL dialect 3 always;
//  - transaction: one word per line (read_committed, rec_version, nowait, ...); an unknown word
//    is an error, so a typing mistake cannot silently change the isolation.
// Lines end with CR LF or LF.
#include <string>
#include <string_view>
#include <vector>

namespace qdz::db {

class Client;

std::vector<std::string_view> SplitLines(std::string_view text);

std::vector<unsigned char> BuildConnectionBlock(const Client& client, std::string_view paramsText);
std::vector<unsigned char> BuildTransactionBlock(const Client& client, std::string_view paramsText);

}  // namespace qdz::db
