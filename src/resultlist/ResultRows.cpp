#include "resultlist/ResultRows.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "resultlist/TextOrder.h"

namespace fendrik {

namespace {
// Lengths are written seven bits at a time, low bits first; the high bit of
// a byte says that another byte follows.
size_t LengthSize(size_t length) {
  size_t bytes = 1;
  while (length >= 0x80) {
    length >>= 7;
    ++bytes;
  }
  return bytes;
}

char* WriteLength(char* out, size_t length) {
  while (length >= 0x80) {
    *out++ = static_cast<char>((length & 0x7F) | 0x80);
    length >>= 7;
  }
  *out++ = static_cast<char>(length);
  return out;
}

const char* ReadLength(const char* in, size_t& length) {
  length = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*in++);
    length |= static_cast<size_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return in;
  }
}
constexpr uint8_t kPathUncertain = 1;
}  // namespace

ResultRows::Row ResultRows::pack(const std::string_view* texts, size_t count, uint8_t flags) {
  size_t total = 1;  // the flags
  for (size_t k = 0; k < kColumnCount; ++k) {
    size_t length = k < count ? texts[k].size() : 0;
    total += LengthSize(length) + length;
  }
  Row row;
  row.bytes = std::make_unique_for_overwrite<char[]>(total);
  char* out = row.bytes.get();
  for (size_t k = 0; k < kColumnCount; ++k) out = WriteLength(out, k < count ? texts[k].size() : 0);
  for (size_t k = 0; k < count && k < kColumnCount; ++k) {
    if (texts[k].empty()) continue;
    std::memcpy(out, texts[k].data(), texts[k].size());
    out += texts[k].size();
  }
  *out = static_cast<char>(flags);
  return row;
}

uint8_t ResultRows::flagsOf(const Row& row) {
  return static_cast<uint8_t>(row.bytes[layoutOf(row).starts[kColumnCount]]);
}

ResultRows::Layout ResultRows::layoutOf(const Row& row) {
  std::array<size_t, kColumnCount> lengths{};
  const char* in = row.bytes.get();
  for (size_t& length : lengths) in = ReadLength(in, length);
  Layout layout;
  layout.starts[0] = static_cast<size_t>(in - row.bytes.get());
  for (int k = 0; k < kColumnCount; ++k) layout.starts[k + 1] = layout.starts[k] + lengths[k];
  return layout;
}

std::string_view ResultRows::textOf(const Row& row, int column) {
  // Nearly every row has texts under 128 bytes only: then each length is one
  // byte, the texts start right after the lengths, and no byte of the
  // lengths has its high bit set (every row holds at least these bytes).
  const char* bytes = row.bytes.get();
  std::array<uint64_t, 3> lengthBytes;
  static_assert(sizeof(lengthBytes) == kColumnCount);
  std::memcpy(lengthBytes.data(), bytes, sizeof(lengthBytes));
  if (((lengthBytes[0] | lengthBytes[1] | lengthBytes[2]) & 0x8080808080808080ull) == 0) {
    size_t start = kColumnCount;
    for (int k = 0; k < column; ++k) start += static_cast<unsigned char>(bytes[k]);
    return {bytes + start, static_cast<unsigned char>(bytes[column])};
  }
  const Layout layout = layoutOf(row);
  return {row.bytes.get() + layout.starts[column], layout.starts[column + 1] - layout.starts[column]};
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

void ResultRows::append(std::span<const std::string_view> texts) {
  rows_.push_back(pack(texts.data(), texts.size()));
}

std::string_view ResultRows::text(size_t row, int column) const {
  if (row >= rows_.size() || column < 0 || column >= kColumnCount) return {};
  return textOf(rows_[row], column);
}

void ResultRows::setText(size_t row, int column, std::string_view newText) {
  if (row >= rows_.size() || column < 0 || column >= kColumnCount)
    throw std::out_of_range("row or column out of range");
  // The views point into the old row, which lives until the new one is made.
  std::array<std::string_view, kColumnCount> views{};
  for (int k = 0; k < kColumnCount; ++k) views[k] = k == column ? newText : text(row, k);
  Row packed = pack(views.data(), kColumnCount, flagsOf(rows_[row]));
  rows_[row] = std::move(packed);
}

void ResultRows::markPathUncertain(size_t row) {
  if (row >= rows_.size()) throw std::out_of_range("row out of range");
  Row& marked = rows_[row];
  marked.bytes[layoutOf(marked).starts[kColumnCount]] = static_cast<char>(flagsOf(marked) | kPathUncertain);
}

bool ResultRows::pathUncertain(size_t row) const {
  if (row >= rows_.size()) return false;
  return (flagsOf(rows_[row]) & kPathUncertain) != 0;
}

ResultRows ResultRows::copy() const {
  ResultRows out;
  out.rows_.reserve(rows_.size());
  for (const Row& row : rows_) {
    // The lengths, the texts and the flags byte.
    const size_t size = layoutOf(row).starts[kColumnCount] + 1;
    Row& copied = out.rows_.emplace_back();
    copied.bytes = std::make_unique_for_overwrite<char[]>(size);
    std::memcpy(copied.bytes.get(), row.bytes.get(), size);
  }
  return out;
}

void ResultRows::remove(size_t row) {
  if (row >= rows_.size()) throw std::out_of_range("row out of range");
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
}

size_t ResultRows::removeRows(const std::function<bool(size_t)>& drop) {
  // Decide for every row first, so that drop reads unmoved rows.
  std::vector<bool> gone(rows_.size());
  size_t count = 0;
  for (size_t i = 0; i < rows_.size(); ++i) {
    gone[i] = drop(i);
    if (gone[i]) ++count;
  }
  if (count == 0) return 0;
  size_t kept = 0;
  for (size_t i = 0; i < rows_.size(); ++i)
    if (!gone[i]) rows_[kept++] = std::move(rows_[i]);
  rows_.resize(kept);
  return count;
}

std::vector<size_t> ResultRows::sortByColumn(int column, bool ascending) {
  std::vector<size_t> from;
  if (column < 0 || column >= kColumnCount) {
    for (size_t i = 0; i < rows_.size(); ++i) from.push_back(i);
    return from;
  }
  // Each row's sort key is made once, not once per comparison. Making the
  // keys is most of the work, so a long list shares it out over the cores,
  // each thread with its own collator (a collator serves one thread).
  std::vector<std::pair<TextOrder::Key, size_t>> keys(rows_.size());
  auto makeKeys = [&](size_t begin, size_t end) {
    const TextOrder order;
    for (size_t i = begin; i < end; ++i) keys[i] = {order.key(textOf(rows_[i], column)), i};
  };
  constexpr size_t kRowsPerThread = 20000;
  const size_t threads = std::clamp<size_t>(
      std::min<size_t>(std::thread::hardware_concurrency(), rows_.size() / kRowsPerThread), 1, 8);
  std::vector<std::thread> helpers;
  const size_t share = rows_.size() / threads;
  for (size_t t = 1; t < threads; ++t)
    helpers.emplace_back(makeKeys, t * share, t + 1 == threads ? rows_.size() : (t + 1) * share);
  makeKeys(0, threads == 1 ? rows_.size() : share);
  for (std::thread& helper : helpers) helper.join();
  auto before = [ascending](const auto& a, const auto& b) {
    return ascending ? a.first.compare(b.first) < 0 : b.first.compare(a.first) < 0;
  };
  std::stable_sort(keys.begin(), keys.end(), before);
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  from.reserve(rows_.size());
  for (const auto& key : keys) {
    sorted.push_back(std::move(rows_[key.second]));
    from.push_back(key.second);
  }
  rows_ = std::move(sorted);
  return from;
}

size_t ResultRows::bytesUsed() const noexcept {
  size_t bytes = rows_.capacity() * sizeof(Row);
  for (const Row& row : rows_) bytes += layoutOf(row).starts[kColumnCount] + 1;
  return bytes;
}

}  // namespace fendrik
