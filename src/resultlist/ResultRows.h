#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "resultlist/Columns.h"

namespace fendrik {

// The rows of the result list, addressed by position (0-based here; the
// window counts from 1). Each row keeps its 24 texts (UTF-8) packed in one
// allocation: first the 24 text lengths as variable-length numbers (one
// byte for a text shorter than 128 bytes), then the texts, then one byte of
// flags. So 100,000 rows
// of 19 texts stay small, and a row moves as one pointer.
class ResultRows {
 public:
  size_t size() const noexcept { return rows_.size(); }
  bool empty() const noexcept { return rows_.empty(); }

  // Appends a row; texts beyond kColumnCount are ignored, missing ones empty.
  void append(const std::vector<std::string>& texts);
  void append(std::initializer_list<std::string_view> texts);
  void append(std::span<const std::string_view> texts);

  std::string_view text(size_t row, int column) const;
  void setText(size_t row, int column, std::string_view text);

  // A row whose path (column 0) is a guess: read from a list-file line in
  // the Windows-1252 fallback, it shows the path as an older Windows machine
  // named it, but it may not name the document's file byte for byte. The
  // status change writes into no such path. The mark stays with the row
  // through sorting and changed texts.
  void markPathUncertain(size_t row);
  bool pathUncertain(size_t row) const;

  // Another set of the same rows, flags included, that changes apart from
  // this one (a thread writes it out while the list goes on).
  ResultRows copy() const;

  void remove(size_t row);
  // Removes, in one pass, every row for which drop(row) is true; drop sees
  // the rows as they were before the pass (row = position then). The other
  // rows keep their order. Gives the number of rows removed.
  size_t removeRows(const std::function<bool(size_t)>& drop);
  void clear() noexcept { rows_.clear(); }

  // Stable sort of all rows by the text of one column in the order of
  // TextOrder (locale collation, letter case ignored); rows whose texts
  // compare equal keep their order, in either direction. Gives, for each
  // new position, the position the row had before.
  std::vector<size_t> sortByColumn(int column, bool ascending);

  // Memory held by the rows, for the benchmark.
  size_t bytesUsed() const noexcept;

 private:
  struct Row {
    std::unique_ptr<char[]> bytes;
  };
  // Where each text of a packed row starts, and where the row ends.
  struct Layout {
    std::array<size_t, kColumnCount + 1> starts{};
  };
  static Row pack(const std::string_view* texts, size_t count, uint8_t flags = 0);
  static uint8_t flagsOf(const Row& row);
  static Layout layoutOf(const Row& row);
  static std::string_view textOf(const Row& row, int column);

  std::vector<Row> rows_;
};

}  // namespace fendrik
