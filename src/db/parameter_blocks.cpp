#include "db/parameter_blocks.h"

#include <memory>

#include "db/client.h"

namespace qdz::db {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

std::string WithoutPrefix(std::string name, std::string_view prefix) {
  if (name.starts_with(prefix)) name.erase(0, prefix.size());
  return name;
}

struct XpbDisposer {
  void operator()(Firebird::IXpbBuilder* builder) const { builder->dispose(); }
};
using XpbBuilderPtr = std::unique_ptr<Firebird::IXpbBuilder, XpbDisposer>;

class BlockBuilder {
 public:
  BlockBuilder(const Client& client, unsigned kind) : client_(client), status_(client) {
    builder_.reset(client.Util()->getXpbBuilder(status_.get(), kind, nullptr, 0));
    Check();
  }
  void String(unsigned char tag, const std::string& value) {
    builder_->insertString(status_.get(), tag, value.c_str());
    Check();
  }
  void Int(unsigned char tag, int value) {
    builder_->insertInt(status_.get(), tag, value);
    Check();
  }
  void Tag(unsigned char tag) {
    builder_->insertTag(status_.get(), tag);
    Check();
  }
  std::vector<unsigned char> Bytes() {
    const unsigned length = builder_->getBufferLength(status_.get());
    const unsigned char* buffer = builder_->getBuffer(status_.get());
    Check();
    return {buffer, buffer + length};
  }

 private:
  void Check() {
    if (status_.Failed()) throw client_.ErrorFrom(status_.Raw());
  }
  const Client& client_;
  Status status_;
  XpbBuilderPtr builder_;
};

bool TransactionTag(const std::string& word, unsigned char& tag) {
  struct Entry {
    const char* word;
    unsigned char tag;
  };
  static constexpr Entry kWords[] = {
      {"read_committed", isc_tpb_read_committed}, {"rec_version", isc_tpb_rec_version},
      {"no_rec_version", isc_tpb_no_rec_version}, {"nowait", isc_tpb_nowait},
      {"wait", isc_tpb_wait},                     {"concurrency", isc_tpb_concurrency},
      {"consistency", isc_tpb_consistency},       {"read", isc_tpb_read},
      {"write", isc_tpb_write},
  };
  for (const Entry& entry : kWords) {
    if (word == entry.word) {
      tag = entry.tag;
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<unsigned char> BuildConnectionBlock(const Client& client, std::string_view paramsText) {
  BlockBuilder block(client, Firebird::IXpbBuilder::DPB);
  for (std::string_view line : SplitLines(paramsText)) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string name = WithoutPrefix(LowerAscii(TrimBlanks(line.substr(0, equals))), "isc_dpb_");
    const std::string value(line.substr(equals + 1));
    if (name == "user_name") block.String(isc_dpb_user_name, value);
    else if (name == "password") block.String(isc_dpb_password, value);
    else if (name == "sql_role_name") block.String(isc_dpb_sql_role_name, value);
    else if (name == "lc_ctype") block.String(isc_dpb_lc_ctype, value);
  }
  block.Int(isc_dpb_sql_dialect, 3);
  return block.Bytes();
}

std::vector<unsigned char> BuildTransactionBlock(const Client& client, std::string_view paramsText) {
  BlockBuilder block(client, Firebird::IXpbBuilder::TPB);
  for (std::string_view line : SplitLines(paramsText)) {
    const std::string word = WithoutPrefix(LowerAscii(TrimBlanks(line)), "isc_tpb_");
    if (word.empty()) continue;
    unsigned char tag = 0;
    if (!TransactionTag(word, tag))
      throw DatabaseError("Unknown transaction parameter '" + std::string(TrimBlanks(line)) + "'");
    block.Tag(tag);
  }
  return block.Bytes();
}

}  // namespace qdz::db
