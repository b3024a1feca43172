#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace fendrik {

// Result codes of structured storage and automation, as signed 32-bit
// numbers, the way Windows users know them from the file-properties server.
namespace hresult {
inline constexpr int32_t kFileNotFound = static_cast<int32_t>(0x80030002u);
inline constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80030005u);
inline constexpr int32_t kLockViolation = static_cast<int32_t>(0x80030021u);
inline constexpr int32_t kDiskFull = static_cast<int32_t>(0x80030070u);
inline constexpr int32_t kInvalidHeader = static_cast<int32_t>(0x800300FBu);
inline constexpr int32_t kDocfileCorrupt = static_cast<int32_t>(0x80030109u);
inline constexpr int32_t kSetNotFound = static_cast<int32_t>(0x80030002u);
inline constexpr int32_t kMemberNotFound = static_cast<int32_t>(0x80020003u);
inline constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x80020005u);
}  // namespace hresult

// The error every storage, property-set and server operation throws: a number
// from the table above and a German description a user understands.
class StorageError : public std::runtime_error {
 public:
  StorageError(int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int32_t number() const noexcept { return number_; }
  std::string description() const { return what(); }

 private:
  int32_t number_;
};

}  // namespace fendrik
