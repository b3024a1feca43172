#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace fendrik {

namespace platform {
struct FileStatus;
}  // namespace platform

// What the file system tells about one file: the file object of a result row.
struct FileObject {
  std::string name;        // with its extension
  std::string folderPath;  // the folder that holds the file, absolute, no trailing separator (except the root)
  int64_t modified = 0;  // seconds since 1970-01-01 UTC, negative before
  std::uintmax_t size = 0;
};

// Looks up the file at `path` (links followed). Nothing when there is no such
// file or the path names a folder.
std::optional<FileObject> LookUpFile(const std::string& path);

// The file object of the file at `path` from a status already at hand (that
// of a handle opened on the path): the same as LookUpFile gives, without
// asking the file system again. Nothing for a folder or a missing status.
std::optional<FileObject> FileObjectOf(const std::string& path, const platform::FileStatus& status);

std::string GetFileName(const FileObject& file);
std::string GetFolderPath(const FileObject& file);

// The parts of the default locale that the texts of times and sizes use,
// taken when it is made: a reader makes one per search or reading thread,
// rather than taking them again for every row. Not for use by several
// threads at once.
class FactFormats {
 public:
  FactFormats();
  ~FactFormats();
  FactFormats(const FactFormats&) = delete;
  FactFormats& operator=(const FactFormats&) = delete;

 private:
  friend std::string GetModifiedText(const FileObject&, const FactFormats&);
  friend std::string GetSizeText(const FileObject&, const FactFormats&);
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// "yyyy.MM.dd hh:mm:ss" in local time, 24 hours, with the time separator of
// the regional settings between hours, minutes and seconds; any time from
// year 1 to 9999, before 1970 too. Empty beyond.
std::string GetModifiedText(const FileObject& file, const FactFormats& formats = FactFormats());

// The size with the digit grouping of the regional settings and no decimals,
// right-aligned in kSizeTextWidth characters; a longer text (from 1 TB up in
// German) keeps every digit and stands unpadded.
inline constexpr int kSizeTextWidth = 15;
std::string GetSizeText(const FileObject& file, const FactFormats& formats = FactFormats());

// The text before its last "."; the whole text when it has none.
std::string StripExtension(std::string_view text);

// The text behind its last ".", in lower case; empty when it has none.
std::string GetTypeText(std::string_view text);

}  // namespace fendrik
