#include "db/query.h"

#include <cstdint>
#include <utility>

#include "db/blob.h"
#include "db/connection_impl.h"
#include "db/input_message.h"
#include "db/ref_ptr.h"
#include "db/sql_params.h"
#include "db/transaction.h"
#include "db/transaction_impl.h"
#include "db/values.h"
#include "util/numbers.h"

namespace qdz::db {

namespace {

// One fetched row: the server's description of the result and one buffer that every fetch reuses.
struct ResultRow {
  RefPtr<Firebird::IMessageMetadata> metadata;
  std::vector<Column> columns;
  std::vector<unsigned char> buffer;

  void Clear() {
    metadata.reset();
    columns.clear();
    buffer.clear();
  }
};

}  // namespace

struct Query::Impl final : AttachmentUser {
  Impl(std::unique_ptr<Transaction> ownedTransaction, Transaction& onTransaction)
      : owned(std::move(ownedTransaction)),
        transaction(onTransaction),
        client(onTransaction.impl().client),
        status(*client) {}
  ~Impl() { FreeStatement(); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // Declared first, so the transaction outlives everything below that may use it.
  std::unique_ptr<Transaction> owned;
  Transaction& transaction;
  std::shared_ptr<Client> client;
  Status status;

  std::string sql;
  NamedSql named;
  std::vector<ParamValue> values;  // one per distinct name

  Connection::Impl* session = nullptr;  // where the prepared statement lives
  Firebird::IStatement* statement = nullptr;
  bool hasCursor = false;
  InputMessage input;
  ResultRow row;
  Firebird::IResultSet* cursor = nullptr;
  bool rowCurrent = false;
  bool eof = true;

  void SetSql(std::string text);
  void Prepare();
  void Run();
  void Next();
  void CloseResult() noexcept;
  void FreeStatement() noexcept;
  void DropHandles(bool connectionLost) noexcept override;

  Scalar Value(std::size_t column) const;
  std::size_t ParamIndex(std::string_view name) const;
  std::size_t FieldIndex(std::string_view name) const;

 private:
  Firebird::ITransaction* ActiveTransaction();
  void DescribeResult();
  void Fetch();
  [[noreturn]] void Fail() { transaction.impl().Session().Fail(status); }
};

void Query::Impl::SetSql(std::string text) {
  FreeStatement();
  sql = std::move(text);
  named = RewriteNamedParameters(sql);
  values.assign(named.names.size(), ParamValue{});
}

Firebird::ITransaction* Query::Impl::ActiveTransaction() { return transaction.impl().Started(); }

void Query::Impl::Prepare() {
  Firebird::ITransaction* tra = ActiveTransaction();
  if (statement != nullptr) return;
  Connection::Impl& owner = transaction.impl().Session();
  Firebird::IStatement* prepared = owner.OpenAttachment()->prepare(
      status.get(), tra, 0, named.text.c_str(), 3, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
  if (status.Failed()) {
    if (prepared != nullptr) prepared->release();
    Fail();
  }
  statement = prepared;
  session = &owner;
  owner.statements.push_back(this);

  hasCursor = (statement->getFlags(status.get()) & Firebird::IStatement::FLAG_HAS_CURSOR) != 0;
  if (status.Failed()) Fail();
  Firebird::IMessageMetadata* inputMetadata = statement->getInputMetadata(status.get());
  if (status.Failed()) Fail();
  input.Describe(*client, inputMetadata);
  DescribeResult();
}

void Query::Impl::DescribeResult() {
  row.metadata.reset(statement->getOutputMetadata(status.get()));
  if (status.Failed()) Fail();
  Firebird::IMessageMetadata* metadata = row.metadata.get();
  const unsigned count = metadata->getCount(status.get());
  row.columns.resize(count);
  for (unsigned i = 0; i < count; ++i) {
    Column& column = row.columns[i];
    column.name = UpperAscii(metadata->getAlias(status.get(), i));
    column.type = metadata->getType(status.get(), i) & ~1u;
    column.subType = metadata->getSubType(status.get(), i);
    column.scale = metadata->getScale(status.get(), i);
    column.length = metadata->getLength(status.get(), i);
    column.offset = metadata->getOffset(status.get(), i);
    column.nullOffset = metadata->getNullOffset(status.get(), i);
  }
  row.buffer.assign(metadata->getMessageLength(status.get()), 0);
  if (status.Failed()) Fail();
}

void Query::Impl::Run() {
  CloseResult();
  Prepare();
  Firebird::ITransaction* tra = ActiveTransaction();
  Connection::Impl& owner = *session;

  std::vector<const ParamValue*> bound;
  bound.reserve(named.positions.size());
  for (std::size_t position : named.positions) bound.push_back(&values[position]);
  input.Fill(*client, bound, [&](std::string_view text) { return WriteBlob(owner, tra, text); });

  if (hasCursor) {
    cursor = statement->openCursor(status.get(), tra, input.Metadata(), input.Buffer(), row.metadata.get(), 0);
    if (status.Failed()) Fail();
    Fetch();
    return;
  }
  statement->execute(status.get(), tra, input.Metadata(), input.Buffer(), row.metadata.get(), row.buffer.data());
  if (status.Failed()) Fail();
  // A statement with output values but no cursor (EXECUTE PROCEDURE, ... RETURNING) gives one row.
  rowCurrent = !row.columns.empty();
  eof = !rowCurrent;
}

void Query::Impl::Fetch() {
  const int result = cursor->fetchNext(status.get(), row.buffer.data());
  if (result == Firebird::IStatus::RESULT_OK) {
    rowCurrent = true;
    eof = false;
    return;
  }
  if (result != Firebird::IStatus::RESULT_NO_DATA) Fail();
  CloseResult();  // nothing more to read: free the server's cursor now
}

void Query::Impl::Next() {
  if (cursor != nullptr) {
    Fetch();
    return;
  }
  rowCurrent = false;
  eof = true;
}

void Query::Impl::CloseResult() noexcept {
  rowCurrent = false;
  eof = true;
  if (cursor == nullptr) return;
  Firebird::IResultSet* closing = std::exchange(cursor, nullptr);
  closing->close(status.get());
  if (status.Failed()) closing->release();
}

void Query::Impl::FreeStatement() noexcept {
  CloseResult();
  input.Clear();
  row.Clear();
  if (statement == nullptr) return;
  Firebird::IStatement* freeing = std::exchange(statement, nullptr);
  freeing->free(status.get());
  if (status.Failed()) freeing->release();
  Connection::Impl::Remove(session->statements, this);
  session = nullptr;
}

void Query::Impl::DropHandles(bool connectionLost) noexcept {
  if (connectionLost) {
    rowCurrent = false;
    eof = true;
    if (cursor != nullptr) std::exchange(cursor, nullptr)->release();
    if (statement != nullptr) std::exchange(statement, nullptr)->release();
  } else {
    CloseResult();
    if (statement != nullptr) {
      Firebird::IStatement* freeing = std::exchange(statement, nullptr);
      freeing->free(status.get());
      if (status.Failed()) freeing->release();
    }
  }
  input.Clear();
  row.Clear();
  session = nullptr;  // the closing connection has already forgotten us
}

Scalar Query::Impl::Value(std::size_t column) const {
  if (!rowCurrent) return {};
  return Decode(row.columns[column], row.buffer.data(), [this](const ISC_QUAD& id) {
    Transaction::Impl& owner = transaction.impl();
    if (owner.handle == nullptr) throw DatabaseError("Transaction is not active");
    return ReadBlob(owner.Session(), owner.handle, id);
  });
}

std::size_t Query::Impl::ParamIndex(std::string_view name) const {
  const std::string wanted = UpperAscii(name);
  for (std::size_t i = 0; i < named.names.size(); ++i)
    if (named.names[i] == wanted) return i;
  throw DatabaseError("Parameter '" + std::string(name) + "' not found");
}

std::size_t Query::Impl::FieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < row.columns.size(); ++i)
    if (EqualNoCase(row.columns[i].name, name)) return i;
  throw DatabaseError("Field '" + std::string(name) + "' not found");
}

Query::Query(std::unique_ptr<Transaction> owned) {
  Transaction& onTransaction = *owned;
  impl_ = std::make_unique<Impl>(std::move(owned), onTransaction);
}

Query::Query(Transaction& borrowed) : impl_(std::make_unique<Impl>(nullptr, borrowed)) {}

Query::~Query() = default;

void Query::SetSql(std::string sql) { impl_->SetSql(std::move(sql)); }
const std::string& Query::Sql() const { return impl_->sql; }
void Query::Prepare() { impl_->Prepare(); }
void Query::Open() { impl_->Run(); }
void Query::ExecSQL() { impl_->Run(); }
void Query::Close() { impl_->CloseResult(); }
bool Query::Eof() const { return impl_->eof; }
void Query::Next() { impl_->Next(); }
Transaction& Query::GetTransaction() const { return impl_->transaction; }

Query::Param Query::ParamByName(std::string_view name) { return Param(*this, impl_->ParamIndex(name)); }
Query::Field Query::FieldByName(std::string_view name) const { return Field(*this, impl_->FieldIndex(name)); }

void Query::Param::SetString(std::string_view value) { query_.impl_->values[index_] = std::string(value); }
void Query::Param::SetInt(std::int32_t value) { query_.impl_->values[index_] = std::int64_t{value}; }
void Query::Param::SetInt64(std::int64_t value) { query_.impl_->values[index_] = value; }
void Query::Param::SetDouble(double value) { query_.impl_->values[index_] = value; }
void Query::Param::SetDateTime(util::DateTime value) { query_.impl_->values[index_] = value; }
void Query::Param::SetNull() { query_.impl_->values[index_] = std::monostate{}; }

bool Query::Field::IsNull() const {
  const Impl& impl = *query_.impl_;
  return !impl.rowCurrent || IsNullIn(impl.row.columns[index_], impl.row.buffer.data());
}
std::string Query::Field::AsString() const { return ToText(query_.impl_->Value(index_)); }
std::int64_t Query::Field::AsInt64() const { return ToInt64(query_.impl_->Value(index_)); }
double Query::Field::AsDouble() const { return ToDouble(query_.impl_->Value(index_)); }
util::DateTime Query::Field::AsDateTime() const { return ToDateTime(query_.impl_->Value(index_)); }

std::int32_t Query::Field::AsInt() const {
  const std::int64_t value = AsInt64();
  if (value < INT32_MIN || value > INT32_MAX)
    throw util::ConvertError("'" + AsString() + "' is not a valid integer value");
  return static_cast<std::int32_t>(value);
}

}  // namespace qdz::db
