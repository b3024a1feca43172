#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace fendrik {

// Result codes of structured storage and automation, as signed 32-bit
// numbers, the way Windows users know them from the file-properties server.
// Each cause has a number of its own, so that a number alone tells a missing
// file from a missing property set or a missing converter.
namespace hresult {
// STG_E_FILENOTFOUND: the file or a folder on its path does not exist.
inline constexpr int32_t kFileNotFound = static_cast<int32_t>(0x80030002u);
// HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE): the path, or a name on it,
// is longer than the system allows.
inline constexpr int32_t kNameTooLong = static_cast<int32_t>(0x800700CEu);
// HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME): symbolic links on the path
// point at each other (a loop), or there are too many of them.
inline constexpr int32_t kLinkLoop = static_cast<int32_t>(0x80070781u);
// STG_E_INVALIDNAME: a path the system cannot take as it is (a NUL character
// in it would end the name early).
inline constexpr int32_t kInvalidName = static_cast<int32_t>(0x800300FCu);
// STG_E_ACCESSDENIED: no right to read or write, or the file is read-only.
inline constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80030005u);
// STG_E_LOCKVIOLATION: another program holds the file locked.
inline constexpr int32_t kLockViolation = static_cast<int32_t>(0x80030021u);
// STG_E_WRITEFAULT: the disk reported an error while writing (an I/O error).
inline constexpr int32_t kWriteFault = static_cast<int32_t>(0x8003001Du);
// STG_E_READFAULT: the disk reported an error while reading (an I/O error).
inline constexpr int32_t kReadFault = static_cast<int32_t>(0x8003001Eu);
// STG_E_MEDIUMFULL: no room left on the disk.
inline constexpr int32_t kDiskFull = static_cast<int32_t>(0x80030070u);
// STG_E_INSUFFICIENTMEMORY: the memory an operation needs is not to be had.
inline constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x800300F8u);
// STG_E_INVALIDHEADER: not a compound file.
inline constexpr int32_t kInvalidHeader = static_cast<int32_t>(0x800300FBu);
// STG_E_DOCFILECORRUPT: a compound file or property set that is damaged.
inline constexpr int32_t kDocfileCorrupt = static_cast<int32_t>(0x80030109u);
// DISP_E_BADINDEX: the document holds no property set of that name (the
// server's set collection has no such item). Distinct from kFileNotFound, so
// that "the set is missing" never reads as "the file is missing".
inline constexpr int32_t kSetNotFound = static_cast<int32_t>(0x8002000Bu);
// DISP_E_MEMBERNOTFOUND: the set holds no property of that name or id.
inline constexpr int32_t kMemberNotFound = static_cast<int32_t>(0x80020003u);
// DISP_E_TYPEMISMATCH: a value of another kind than the property holds.
inline constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x80020005u);
// OLE_E_BLANK: the server holds no open document (Item or Save before a
// successful Open).
inline constexpr int32_t kNoDocument = static_cast<int32_t>(0x80040007u);
// STG_E_CANTSAVE: the file was written, but read back it does not hold the
// values asked for (the status change checks its result).
inline constexpr int32_t kCannotSave = static_cast<int32_t>(0x80030103u);
// HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND): a text converter (codepage module)
// the server needs is not installed, so the server cannot start.
inline constexpr int32_t kConverterMissing = static_cast<int32_t>(0x8007007Eu);
}  // namespace hresult

// The error every storage, property-set and server operation throws: a number
// from the table above and a German description a user understands. Errors
// about the content of a file also say where the fault lies (which check of
// the header, which sector, stream or directory entry, which offset); the
// description then reads "<problem> (<where>)".
class StorageError : public std::runtime_error {
 public:
  StorageError(int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number), problem_(description) {}
  StorageError(int32_t number, const std::string& problem, const std::string& where)
      : std::runtime_error(where.empty() ? problem : problem + " (" + where + ")"),
        number_(number),
        problem_(problem),
        where_(where) {}
  int32_t number() const noexcept { return number_; }
  std::string description() const { return what(); }
  // What failed, without the place.
  const std::string& problem() const noexcept { return problem_; }
  // Where in the file it failed; empty when the error has no place.
  const std::string& where() const noexcept { return where_; }
  // Whether the file may have been changed although the operation failed: a
  // write had begun and could not show afterwards that the file reads as
  // before, or another program wrote the file meanwhile. Every other error
  // left the file as it was.
  bool fileMayBeChanged() const noexcept { return fileMayBeChanged_; }
  void markFileMayBeChanged() noexcept { fileMayBeChanged_ = true; }

 private:
  int32_t number_;
  std::string problem_;
  std::string where_;
  bool fileMayBeChanged_ = false;
};

// The error for memory that ran out: "Nicht genug Arbeitsspeicher " and what
// was being done, e.g. "beim Schreiben in /x/a.par".
StorageError OutOfMemoryError(const std::string& doing);

// A number as the places in error texts give it: "0x" and upper-case hex
// digits, e.g. the offset of a damaged value or a sector number.
inline std::string hexText(uint64_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(value));
  return buf;
}

}  // namespace fendrik
