// fendrik-cli dump FILE [--format text|json]: lists every property set and
// property of a document.

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "properties/CompoundStreamSource.h"
#include "properties/PropertyNames.h"
#include "properties/StorageError.h"
#include "properties/VisibleText.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Names.h"
#include "properties/platform/Files.h"
#include "properties/propset/PropertySetReader.h"
#include "resultlist/ExportTable.h"

namespace fendrik::cli {
namespace {

using namespace fendrik::propset;

std::string hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

// One property as the walk over the document finds it: its set (the stream's
// name), section, id and name, and its type and value or why they could not
// be read.
struct FoundProperty {
  uint32_t id = 0;
  std::string name;
  uint16_t type = 0;
  PropertyValue value;
};

// What the walk tells; the text listing and the JSON document are two
// listeners.
class Listener {
 public:
  virtual ~Listener() = default;
  virtual void set(const std::string& stream, uint64_t size) = 0;
  virtual void section(const SectionTable& table, const std::string& setName) = 0;
  virtual void dictionary(const std::vector<DictionaryEntry>& entries) = 0;
  virtual void property(const FoundProperty& found) = 0;
  // A part that could not be read: the dictionary (id 0), one property, a
  // section (id absent, fmtid given) or the whole set (both absent).
  virtual void error(const std::optional<Fmtid>& fmtid, const std::optional<FoundProperty>& at,
                     const StorageError& e) = 0;
};

// A text in quotes, escaped so that every byte below 0x20, 0x7F and every
// other character that could move or recolour a terminal is made visible
// (see VisibleText.h), and a quote inside it cannot end it.
std::string quotedText(const std::string& text) {
  std::string out = "\"";
  for (char c : Escaped(text)) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

class TextListing final : public Listener {
 public:
  explicit TextListing(Output& out) : out_(out) {}
  void set(const std::string& stream, uint64_t size) override {
    out_.printf("set \"%s\"  (%llu bytes)\n", VisibleText(stream).c_str(), static_cast<unsigned long long>(size));
  }
  void section(const SectionTable& table, const std::string& setName) override {
    out_.printf("  FMTID %s%s  offset %u  size %u  codepage %u  properties %zu\n", fmtidToText(table.fmtid).c_str(),
                setName.empty() ? "" : (" (" + setName + ")").c_str(), table.offset, table.size, table.codepage,
                table.properties.size());
  }
  void dictionary(const std::vector<DictionaryEntry>& entries) override {
    out_.printf("    id %s  %-24s  dictionary  %zu entries\n", hex32(kPidDictionary).c_str(),
                quotedText("(dictionary)").c_str(), entries.size());
    for (const auto& d : entries) out_.printf("      %s = %s\n", hex32(d.id).c_str(), quotedText(d.name).c_str());
  }
  void property(const FoundProperty& found) override {
    std::string text;
    if (std::holds_alternative<UnsupportedValue>(found.value)) text = "(not decoded, kept as stored)";
    else if (std::holds_alternative<std::string>(found.value)) text = quotedText(std::get<std::string>(found.value));
    else if (std::holds_alternative<NullValue>(found.value)) text = "(null)";
    else text = VisibleText(valueToText(found.value).value_or("(no text form)"));
    out_.printf("    id %s  %-24s  %-12s  %s\n", hex32(found.id).c_str(), quotedText(found.name).c_str(),
                variantTypeName(found.type).c_str(), text.c_str());
  }
  void error(const std::optional<Fmtid>& fmtid, const std::optional<FoundProperty>& at,
             const StorageError& e) override {
    const std::string why = std::to_string(e.number()) + " / " + VisibleText(e.description());
    if (at && at->id == kPidDictionary && at->name.empty()) out_.printf("    dictionary: error %s\n", why.c_str());
    else if (at) out_.printf("    id %s  %-24s  error %s\n", hex32(at->id).c_str(), quotedText(at->name).c_str(), why.c_str());
    else if (fmtid) out_.printf("  FMTID %s  error %s\n", fmtidToText(*fmtid).c_str(), why.c_str());
    else out_.printf("  error %s\n", why.c_str());
  }

 private:
  Output& out_;
};

// {"file": …, "properties": [{"set", "fmtid", "id", "name", "type", "value"}…],
//  "errors": [{"set", "fmtid", "id", "name", "error"}…]}; a value is a number,
// true or false, a string, null, or for the dictionary an object of names.
class JsonListing final : public Listener {
 public:
  explicit JsonListing(Output& out, const std::string& file) : out_(out) {
    out_.text() += "{\"file\": ";
    AppendJsonString(out_.text(), file);
    out_.text() += ",\n \"properties\": [";
  }
  void finish() {
    out_.text() += "],\n \"errors\": [";
    out_.text() += errors_;
    out_.text() += "]}\n";
  }
  void set(const std::string& stream, uint64_t) override { stream_ = stream; }
  void section(const SectionTable& table, const std::string&) override { fmtid_ = fmtidToText(table.fmtid); }
  void dictionary(const std::vector<DictionaryEntry>& entries) override {
    std::string& out = start(out_.text(), firstProperty_, kPidDictionary, "(dictionary)");
    out += ", \"type\": \"dictionary\", \"value\": {";
    for (size_t i = 0; i < entries.size(); ++i) {
      if (i > 0) out += ", ";
      AppendJsonString(out, std::to_string(entries[i].id));
      out += ": ";
      AppendJsonString(out, entries[i].name);
    }
    out += "}}";
  }
  void property(const FoundProperty& found) override {
    std::string& out = start(out_.text(), firstProperty_, found.id, found.name);
    out += ", \"type\": ";
    AppendJsonString(out, variantTypeName(found.type));
    out += ", \"value\": ";
    appendValue(out, found.value);
    out += '}';
    out_.flushIfLarge();
  }
  void error(const std::optional<Fmtid>& fmtid, const std::optional<FoundProperty>& at,
             const StorageError& e) override {
    if (fmtid) fmtid_ = fmtidToText(*fmtid);
    else if (!at) fmtid_.clear();
    std::string& out = at ? start(errors_, firstError_, at->id, at->name) : start(errors_, firstError_);
    out += ", \"error\": ";
    AppendJsonString(out, std::to_string(e.number()) + " / " + e.description());
    out += '}';
  }

 private:
  // Opens the object of one entry in out with its set and section.
  std::string& start(std::string& out, bool& first) {
    out += first ? "\n  {" : ",\n  {";
    first = false;
    out += "\"set\": ";
    AppendJsonString(out, stream_);
    out += ", \"fmtid\": ";
    if (fmtid_.empty()) out += "null";
    else AppendJsonString(out, fmtid_);
    return out;
  }
  std::string& start(std::string& out, bool& first, uint32_t id, const std::string& name) {
    start(out, first);
    out += ", \"id\": " + std::to_string(id) + ", \"name\": ";
    AppendJsonString(out, name);
    return out;
  }
  static void appendValue(std::string& out, const PropertyValue& value) {
    std::visit(
        [&](const auto& v) {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, bool>) {
            out += v ? "true" : "false";
          } else if constexpr (std::is_integral_v<T>) {
            out += std::to_string(v);
          } else if constexpr (std::is_floating_point_v<T>) {
            if (!std::isfinite(v)) {
              AppendJsonString(out, valueToText(value).value_or(""));
            } else {
              char buffer[40];
              std::snprintf(buffer, sizeof buffer, "%.17g", static_cast<double>(v));
              out += buffer;
            }
          } else if constexpr (std::is_same_v<T, std::string>) {
            AppendJsonString(out, v);
          } else if constexpr (std::is_same_v<T, EmptyValue> || std::is_same_v<T, NullValue> ||
                               std::is_same_v<T, UnsupportedValue>) {
            out += "null";
          } else {
            const auto text = valueToText(value);
            if (text) AppendJsonString(out, *text);
            else out += "null";
          }
        },
        value);
  }

  Output& out_;
  std::string stream_;
  std::string fmtid_;
  std::string errors_;
  bool firstProperty_ = true;
  bool firstError_ = true;
};

void walkSection(const ByteSource& source, const StreamHeader::SectionLocation& where, Listener& listener) {
  SectionTable table = readSectionTable(source, where);
  const auto set = findSetLocation(table.fmtid);
  listener.section(table, set ? std::string(set->name) : std::string());
  std::vector<DictionaryEntry> dictionary;
  try {
    dictionary = readDictionary(source, table);
  } catch (const StorageError& e) {
    listener.error(std::nullopt, FoundProperty{kPidDictionary, {}, 0, {}}, e);
  }
  for (const auto& entry : table.properties) {
    FoundProperty found;
    found.id = entry.id;
    if (entry.id == kPidDictionary) found.name = "(dictionary)";
    else if (entry.id == kPidCodepage) found.name = "(codepage)";
    else if (entry.id == kPidLocale) found.name = "(locale)";
    for (const auto& d : dictionary)
      if (d.id == entry.id && entry.id > 1) found.name = d.name;
    if (found.name.empty() && table.fmtid != kFmtidUserDefined)
      found.name = std::string(fixedPropertyName(table.fmtid, entry.id));
    if (entry.id == kPidDictionary) {
      listener.dictionary(dictionary);
      continue;
    }
    try {
      found.type = readValueType(source, table, entry);
      found.value = readValue(source, table, entry);
      listener.property(found);
    } catch (const StorageError& e) {
      listener.error(std::nullopt, found, e);
    }
  }
}

void walkDocument(cfb::CompoundFile& file, Listener& listener) {
  for (uint32_t id : file.rootChildren()) {
    const cfb::DirectoryEntry& entry = file.entry(id);
    if (entry.type != cfb::kTypeStream || entry.name.empty() || entry.name[0] != u'\005') continue;
    listener.set(cfb::printableName(entry.name), entry.size);
    try {
      fendrik::CompoundStreamSource source(file, id);
      StreamHeader header = readStreamHeader(source);
      for (const auto& where : header.sections) {
        try {
          walkSection(source, where, listener);
        } catch (const StorageError& e) {
          listener.error(where.fmtid, std::nullopt, e);
        }
      }
    } catch (const StorageError& e) {
      listener.error(std::nullopt, std::nullopt, e);
    }
  }
}

}  // namespace

int runDump(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  bool json = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--format") {
      if (i + 1 >= args.size() || (args[i + 1] != "text" && args[i + 1] != "json"))
        return usageError("dump: --format needs text or json");
      json = args[++i] == "json";
    } else if (args[i].starts_with("--")) {
      return usageError("dump: unknown option: " + args[i]);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 1) return usageError("dump: exactly one FILE expected");
  const std::string& path = files.front();
  std::unique_ptr<cfb::CompoundFile> file;
  try {
    file = cfb::CompoundFile::open(platform::FsPath(path));
  } catch (const StorageError& e) {
    std::fprintf(stderr, "fendrik-cli: %s: %d / %s\n", VisibleText(path).c_str(), e.number(),
                 VisibleText(e.description()).c_str());
    return kExitFailed;
  }
  Output out("dump");
  if (json) {
    JsonListing listing(out, path);
    walkDocument(*file, listing);
    listing.finish();
  } else {
    out.printf("%s\n", VisibleText(path).c_str());
    TextListing listing(out);
    walkDocument(*file, listing);
  }
  return out.finish() ? kExitOk : kExitFailed;
}

}  // namespace fendrik::cli
