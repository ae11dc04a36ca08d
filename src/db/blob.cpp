#include "db/blob.h"

#include <algorithm>

#include "db/ref_ptr.h"

namespace qdz::db {

namespace {

constexpr std::size_t kSegmentSize = 32 * 1024;

// A successful close releases the handle; after a failure the holder releases it.
void CloseBlob(Connection::Impl& session, Status& status, RefPtr<Firebird::IBlob>& blob) {
  blob->close(status.get());
  if (status.Failed()) session.Fail(status);
  blob.forget();  // close released it
}

}  // namespace

std::string ReadBlob(Connection::Impl& session, Firebird::ITransaction* transaction, const ISC_QUAD& id) {
  Status status(*session.client);
  ISC_QUAD blobId = id;
  RefPtr<Firebird::IBlob> blob(
      session.OpenAttachment()->openBlob(status.get(), transaction, &blobId, 0, nullptr));
  if (status.Failed()) session.Fail(status);

  std::string text;
  for (;;) {
    const std::size_t used = text.size();
    text.resize(used + kSegmentSize);
    unsigned length = 0;
    const int result = blob->getSegment(status.get(), static_cast<unsigned>(kSegmentSize), text.data() + used, &length);
    text.resize(used + length);
    if (result == Firebird::IStatus::RESULT_NO_DATA) break;
    if (result != Firebird::IStatus::RESULT_OK && result != Firebird::IStatus::RESULT_SEGMENT) session.Fail(status);
  }
  CloseBlob(session, status, blob);
  return text;
}

ISC_QUAD WriteBlob(Connection::Impl& session, Firebird::ITransaction* transaction, std::string_view text) {
  Status status(*session.client);
  ISC_QUAD blobId{};
  RefPtr<Firebird::IBlob> blob(
      session.OpenAttachment()->createBlob(status.get(), transaction, &blobId, 0, nullptr));
  if (status.Failed()) session.Fail(status);

  while (!text.empty()) {
    const std::size_t length = std::min(text.size(), kSegmentSize);
    blob->putSegment(status.get(), static_cast<unsigned>(length), text.data());
    if (status.Failed()) session.Fail(status);
    text.remove_prefix(length);
  }
  CloseBlob(session, status, blob);
  return blobId;
}

}  // namespace qdz::db
