#pragma once
// The JSON text of one price part: {"store_id": ...,"list": [item,CR LF item...]}. Items are
// appended into one buffer that is reused from part to part, so a part never costs more than
// its own text; a finished part is handed out in UTF-8.
#include <cstddef>
#include <string>
#include <string_view>

namespace qdz::exchange {

// One row of the price SQL as text (Windows-1251). The number texts are the column's text as
// the database gives it; an empty text (a NULL) is written as null.
struct PriceItem {
  std::string id;         // part_id, sent unchanged
  std::string barcode;    // bcode_izg
  std::string name;       // sname
  std::string price;      // price
  std::string available;  // realquant
  std::string series;     // seria
  std::string brand;      // sizg
};

class PricePart {
 public:
  explicit PricePart(std::string_view storeId, std::size_t expectedItems = 500);

  void Add(const PriceItem& item);
  std::size_t Count() const { return count_; }
  // Closes the list, gives the whole text in UTF-8 and starts the next part, empty.
  std::string Finish();

 private:
  std::string text_;
  std::size_t openingSize_ = 0;
  std::size_t count_ = 0;
};

// Appends a number column's text as a JSON number in its general decimal form: the first ","
// read as ".", no trailing zeros in a fraction (35.50 -> 35.5, 41.00 -> 41), at most 15
// significant digits for a fraction or an exponent form. A text that is no number gives null.
void AppendJsonNumber(std::string& out, std::string_view text);

}  // namespace qdz::exchange
