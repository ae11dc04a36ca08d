#include "db/error.h"

#include <array>
#include <utility>

namespace qdz::db {

namespace {

constexpr std::array<std::intptr_t, 4> kConnectionLostCodes = {
    335544721,  // isc_network_error: unable to complete network request
    335544726,  // isc_net_read_err
    335544727,  // isc_net_write_err
    335544856,  // isc_att_shutdown: connection shutdown
};

constexpr std::array<std::intptr_t, 4> kLockConflictCodes = {
    335544336,  // isc_deadlock: "deadlock / update conflicts with concurrent update"
    335544345,  // isc_lock_conflict: lock conflict on no wait transaction
    335544451,  // isc_update_conflict
    335544878,  // isc_concurrent_transaction
};

template <std::size_t N>
bool Contains(const std::array<std::intptr_t, N>& codes, std::intptr_t code) {
  for (std::intptr_t c : codes)
    if (c == code) return true;
  return false;
}

}  // namespace

DatabaseError::DatabaseError(const std::string& message, std::intptr_t gdsCode, int sqlCode,
                             std::string sqlState)
    : std::runtime_error(message), gdsCode_(gdsCode), sqlCode_(sqlCode), sqlState_(std::move(sqlState)) {}

bool DatabaseError::IsConnectionLost() const {
  return sqlCode_ == -902 || sqlState_.starts_with("08") || Contains(kConnectionLostCodes, gdsCode_);
}

bool DatabaseError::IsLockConflict() const { return Contains(kLockConflictCodes, gdsCode_); }

}  // namespace qdz::db
