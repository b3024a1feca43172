#pragma once

#include <memory>
#include <string_view>

namespace fendrik {

// The order in which the list sorts its texts, as a person reads them: the
// collation of the user's locale with letter case ignored, so "welle" stands
// next to "WELLE" and "Äpfel" next to "Apfel". Digits compare as text, never
// as numbers (the date and size columns sort right because their texts have a
// fixed width up to 999 GB; a size from 1 TB up has a wider text, which
// sorts by its first digit among the unpadded sizes from 100 GB up). Texts
// that compare equal keep their order in a stable sort.
//
// Every sort of the list (the file-name sort after a search, header clicks)
// goes through this one order. An object is used by one thread at a time.
class TextOrder {
 public:
  TextOrder();
  ~TextOrder();
  TextOrder(const TextOrder&) = delete;
  TextOrder& operator=(const TextOrder&) = delete;

  // Negative, zero or positive as a sorts before, with or after b (UTF-8).
  int compare(std::string_view a, std::string_view b) const;

  // Sort keys: key(a) < key(b) exactly when compare(a, b) < 0. Cheaper than
  // compare() when one text takes part in many comparisons. A key may be
  // compared after its TextOrder is gone, by one thread at a time.
  class Key;
  Key key(std::string_view text) const;

 private:
  struct Collator;
  std::shared_ptr<Collator> collator_;
};

class TextOrder::Key {
 public:
  Key();
  ~Key();
  Key(Key&&) noexcept;
  Key& operator=(Key&&) noexcept;
  int compare(const Key& other) const;

 private:
  friend class TextOrder;
  struct Data;
  std::unique_ptr<Data> data_;
};

}  // namespace fendrik
