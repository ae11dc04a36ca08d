#pragma once
// The parameters of a prepared statement as one message. The server describes every parameter
// with the type of its target; a value is sent in its own type instead (a text as VARCHAR, an
// integer as BIGINT, ...) and the server converts it, so a text can go to an integer or timestamp
// parameter. A text for a BLOB parameter is written into a new BLOB first.
#include <firebird/Interface.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/ref_ptr.h"
#include "util/datetime.h"

namespace qdz::db {

class Client;

using ParamValue = std::variant<std::monostate, std::string, std::int64_t, double, util::DateTime>;
using BlobWriter = std::function<ISC_QUAD(std::string_view)>;

class InputMessage {
 public:
  // The server's description of the parameters of a newly prepared statement (takes the reference).
  void Describe(const Client& client, Firebird::IMessageMetadata* described);
  void Clear();

  // Lays the values out, one per parameter (nullptr for NULL), adjusting the description to them.
  void Fill(const Client& client, const std::vector<const ParamValue*>& values, const BlobWriter& writeBlob);

  Firebird::IMessageMetadata* Metadata() const { return layout_.get(); }
  unsigned char* Buffer() { return buffer_.data(); }

 private:
  struct Slot {
    unsigned type = 0;
    unsigned length = 0;
    int subType = 0;
    unsigned charSet = 0;
    int scale = 0;
    bool operator==(const Slot&) const = default;
  };

  Slot SlotFor(unsigned index, const ParamValue* value) const;
  void Rebuild(const Client& client, const std::vector<Slot>& slots);
  void Write(unsigned index, const ParamValue* value, const BlobWriter& writeBlob);

  RefPtr<Firebird::IMessageMetadata> described_;
  std::vector<Slot> describedSlots_;
  RefPtr<Firebird::IMessageMetadata> layout_;
  std::vector<Slot> slots_;
  std::vector<unsigned> offsets_;
  std::vector<unsigned> nullOffsets_;
  std::vector<unsigned char> buffer_;
};

}  // namespace qdz::db
