#include "resultlist/ResultRows.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace fendrik {

ResultRows::Row ResultRows::pack(const std::string_view* texts, size_t count) {
  Row row;
  size_t total = 0;
  for (size_t k = 0; k < count && k < kColumnCount; ++k) total += texts[k].size();
  if (total > UINT32_MAX) throw std::length_error("row text too long");
  row.chars = std::make_unique<char[]>(total == 0 ? 1 : total);
  uint32_t end = 0;
  for (int k = 0; k < kColumnCount; ++k) {
    if (static_cast<size_t>(k) < count) {
      std::memcpy(row.chars.get() + end, texts[k].data(), texts[k].size());
      end += static_cast<uint32_t>(texts[k].size());
    }
    row.ends[k] = end;
  }
  return row;
}

void ResultRows::append(const std::vector<std::string>& texts) {
  std::array<std::string_view, kColumnCount> views{};
  size_t n = std::min<size_t>(texts.size(), kColumnCount);
  for (size_t k = 0; k < n; ++k) views[k] = texts[k];
  rows_.push_back(pack(views.data(), n));
}

void ResultRows::append(std::initializer_list<std::string_view> texts) {
  rows_.push_back(pack(texts.begin(), texts.size()));
}

std::string_view ResultRows::text(size_t row, int column) const {
  if (row >= rows_.size() || column < 0 || column >= kColumnCount) return {};
  const Row& r = rows_[row];
  uint32_t begin = column == 0 ? 0 : r.ends[column - 1];
  return {r.chars.get() + begin, r.ends[column] - begin};
}

void ResultRows::setText(size_t row, int column, std::string_view newText) {
  if (row >= rows_.size() || column < 0 || column >= kColumnCount)
    throw std::out_of_range("row or column out of range");
  std::array<std::string, kColumnCount> copies;
  std::array<std::string_view, kColumnCount> views{};
  for (int k = 0; k < kColumnCount; ++k) {
    copies[k] = k == column ? std::string(newText) : std::string(text(row, k));
    views[k] = copies[k];
  }
  rows_[row] = pack(views.data(), kColumnCount);
}

void ResultRows::remove(size_t row) {
  if (row >= rows_.size()) throw std::out_of_range("row out of range");
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
}

void ResultRows::sortByColumn(int column, bool ascending) {
  auto key = [column](const Row& r) {
    uint32_t begin = column == 0 ? 0 : r.ends[column - 1];
    return std::string_view(r.chars.get() + begin, r.ends[column] - begin);
  };
  if (ascending)
    std::stable_sort(rows_.begin(), rows_.end(),
                     [&](const Row& a, const Row& b) { return key(a) < key(b); });
  else
    std::stable_sort(rows_.begin(), rows_.end(),
                     [&](const Row& a, const Row& b) { return key(b) < key(a); });
}

size_t ResultRows::bytesUsed() const noexcept {
  size_t bytes = rows_.capacity() * sizeof(Row);
  for (const Row& r : rows_) bytes += std::max<uint32_t>(r.ends[kColumnCount - 1], 1);
  return bytes;
}

}  // namespace fendrik
