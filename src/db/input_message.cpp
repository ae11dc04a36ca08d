#include "db/input_message.h"

#include <algorithm>
#include <cstring>

#include "db/client.h"
#include "db/timestamp.h"
#include "db/values.h"

namespace qdz::db {

namespace {

constexpr unsigned kMaxVarcharLength = 32765;

bool IsText(unsigned type) { return type == SQL_TEXT || type == SQL_VARYING; }

template <typename T>
void Store(unsigned char* at, const T& value) {
  std::memcpy(at, &value, sizeof value);
}

// Room for a text of `length` bytes, rounded up so that a run of growing texts rarely needs a
// new layout.
unsigned VarcharRoom(std::size_t length) {
  unsigned room = 32;
  while (room < length) room *= 2;
  return std::min(room, kMaxVarcharLength);
}

std::string TextForBlob(const ParamValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
  if (const auto* floating = std::get_if<double>(&value)) return DoubleText(*floating);
  if (const auto* stamp = std::get_if<util::DateTime>(&value)) return util::FormatYmdHms(*stamp);
  return {};
}

class Checked {
 public:
  explicit Checked(const Client& client) : client_(client), status_(client) {}
  Firebird::CheckStatusWrapper* operator*() { return status_.get(); }
  void Check() {
    if (status_.Failed()) throw client_.ErrorFrom(status_.Raw());
  }

 private:
  const Client& client_;
  Status status_;
};

}  // namespace

void InputMessage::Describe(const Client& client, Firebird::IMessageMetadata* described) {
  Clear();
  described_.reset(described);
  Checked status(client);
  const unsigned count = described_->getCount(*status);
  status.Check();
  describedSlots_.resize(count);
  for (unsigned i = 0; i < count; ++i) {
    Slot& slot = describedSlots_[i];
    slot.type = described_->getType(*status, i);
    slot.length = described_->getLength(*status, i);
    slot.subType = described_->getSubType(*status, i);
    slot.charSet = described_->getCharSet(*status, i);
    slot.scale = described_->getScale(*status, i);
    status.Check();
  }
}

void InputMessage::Clear() {
  described_.reset();
  describedSlots_.clear();
  layout_.reset();
  slots_.clear();
  offsets_.clear();
  nullOffsets_.clear();
  buffer_.clear();
}

InputMessage::Slot InputMessage::SlotFor(unsigned index, const ParamValue* value) const {
  const Slot* current = index < slots_.size() ? &slots_[index] : nullptr;
  const Slot& described = describedSlots_[index];
  if (value == nullptr || std::holds_alternative<std::monostate>(*value))
    return current != nullptr ? *current : described;  // NULL fits any type
  if (described.type == SQL_BLOB) return described;
  Slot slot;
  if (const auto* text = std::get_if<std::string>(value)) {
    if (text->size() > kMaxVarcharLength)
      throw DatabaseError("A text of " + std::to_string(text->size()) +
                          " bytes is too long for a parameter that is not a BLOB");
    slot.type = SQL_VARYING;
    slot.charSet = IsText(described.type) ? described.charSet : 0;
    if (current != nullptr && current->type == SQL_VARYING && current->charSet == slot.charSet &&
        current->length >= text->size())
      return *current;
    slot.length = VarcharRoom(text->size());
  } else if (std::holds_alternative<std::int64_t>(*value)) {
    slot.type = SQL_INT64;
    slot.length = sizeof(ISC_INT64);
  } else if (std::holds_alternative<double>(*value)) {
    slot.type = SQL_DOUBLE;
    slot.length = sizeof(double);
  } else {
    slot.type = SQL_TIMESTAMP;
    slot.length = sizeof(ISC_TIMESTAMP);
  }
  return slot;
}

void InputMessage::Rebuild(const Client& client, const std::vector<Slot>& slots) {
  Checked status(client);
  RefPtr<Firebird::IMetadataBuilder> builder(described_->getBuilder(*status));
  status.Check();
  for (unsigned i = 0; i < slots.size(); ++i) {
    // Length after type: a type change keeps the old length otherwise.
    builder->setType(*status, i, slots[i].type);
    builder->setLength(*status, i, slots[i].length);
    builder->setSubType(*status, i, slots[i].subType);
    builder->setCharSet(*status, i, slots[i].charSet);
    builder->setScale(*status, i, slots[i].scale);
    status.Check();
  }
  RefPtr<Firebird::IMessageMetadata> layout(builder->getMetadata(*status));
  status.Check();

  offsets_.assign(slots.size(), 0);
  nullOffsets_.assign(slots.size(), 0);
  for (unsigned i = 0; i < slots.size(); ++i) {
    offsets_[i] = layout->getOffset(*status, i);
    nullOffsets_[i] = layout->getNullOffset(*status, i);
  }
  const unsigned length = layout->getMessageLength(*status);
  status.Check();
  buffer_.assign(length, 0);
  layout_ = std::move(layout);
  slots_ = slots;
}

void InputMessage::Fill(const Client& client, const std::vector<const ParamValue*>& values,
                        const BlobWriter& writeBlob) {
  const auto count = static_cast<unsigned>(describedSlots_.size());
  if (count == 0) return;  // sent without a message
  std::vector<Slot> slots(count);
  for (unsigned i = 0; i < count; ++i) slots[i] = SlotFor(i, i < values.size() ? values[i] : nullptr);
  if (!layout_ || slots != slots_) Rebuild(client, slots);

  for (unsigned i = 0; i < count; ++i) Write(i, i < values.size() ? values[i] : nullptr, writeBlob);
}

void InputMessage::Write(unsigned index, const ParamValue* value, const BlobWriter& writeBlob) {
  unsigned char* data = buffer_.data() + offsets_[index];
  const bool isNull = value == nullptr || std::holds_alternative<std::monostate>(*value);
  Store<short>(buffer_.data() + nullOffsets_[index], isNull ? short{-1} : short{0});
  if (isNull) return;

  switch (slots_[index].type) {
    case SQL_BLOB: Store(data, writeBlob(TextForBlob(*value))); break;
    case SQL_VARYING: {
      const std::string& text = std::get<std::string>(*value);
      Store(data, static_cast<unsigned short>(text.size()));
      std::memcpy(data + sizeof(unsigned short), text.data(), text.size());
      break;
    }
    case SQL_INT64: Store(data, static_cast<ISC_INT64>(std::get<std::int64_t>(*value))); break;
    case SQL_DOUBLE: Store(data, std::get<double>(*value)); break;
    case SQL_TIMESTAMP: Store(data, ToIscTimestamp(std::get<util::DateTime>(*value))); break;
    default: break;
  }
}

}  // namespace qdz::db
