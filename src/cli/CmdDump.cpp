// fendrik-cli dump FILE: lists every property set and property of a document.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "properties/CompoundStreamSource.h"
#include "properties/PropertyNames.h"
#include "properties/StorageError.h"
#include "properties/VisibleText.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Names.h"
#include "properties/platform/Files.h"
#include "properties/propset/PropertySetReader.h"

namespace fendrik::cli {
namespace {

using namespace fendrik::propset;

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

std::string hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

void dumpSection(const ByteSource& source, const StreamHeader::SectionLocation& where) {
  SectionTable table = readSectionTable(source, where);
  const auto set = findSetLocation(table.fmtid);
  const std::string setName = set ? std::string(set->name) : std::string();
  std::printf("  FMTID %s%s  offset %u  size %u  codepage %u  properties %zu\n", fmtidToText(table.fmtid).c_str(),
              setName.empty() ? "" : (" (" + setName + ")").c_str(), table.offset, table.size, table.codepage,
              table.properties.size());
  std::vector<DictionaryEntry> dictionary;
  try {
    dictionary = readDictionary(source, table);
  } catch (const StorageError& e) {
    std::printf("    dictionary: error %d / %s\n", e.number(), VisibleText(e.description()).c_str());
  }
  for (const auto& entry : table.properties) {
    std::string name;
    if (entry.id == kPidDictionary) name = "(dictionary)";
    else if (entry.id == kPidCodepage) name = "(codepage)";
    else if (entry.id == kPidLocale) name = "(locale)";
    for (const auto& d : dictionary)
      if (d.id == entry.id && entry.id > 1) name = d.name;
    if (name.empty() && table.fmtid != kFmtidUserDefined) name = std::string(fixedPropertyName(table.fmtid, entry.id));
    std::printf("    id %s  %-24s  ", hex32(entry.id).c_str(), quotedText(name).c_str());
    try {
      if (entry.id == kPidDictionary) {
        std::printf("dictionary  %zu entries\n", dictionary.size());
        for (const auto& d : dictionary) std::printf("      %s = %s\n", hex32(d.id).c_str(), quotedText(d.name).c_str());
        continue;
      }
      uint16_t type = readValueType(source, table, entry);
      PropertyValue value = readValue(source, table, entry);
      std::string text;
      if (std::holds_alternative<UnsupportedValue>(value)) text = "(not decoded, kept as stored)";
      else if (std::holds_alternative<std::string>(value)) text = quotedText(std::get<std::string>(value));
      else if (std::holds_alternative<NullValue>(value)) text = "(null)";
      else text = VisibleText(valueToText(value).value_or("(no text form)"));
      std::printf("%-12s  %s\n", variantTypeName(type).c_str(), text.c_str());
    } catch (const StorageError& e) {
      std::printf("error %d / %s\n", e.number(), VisibleText(e.description()).c_str());
    }
  }
}

}  // namespace

int runDump(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("dump: exactly one FILE expected");
  std::unique_ptr<cfb::CompoundFile> file;
  try {
    file = cfb::CompoundFile::open(platform::FsPath(args[0]));
  } catch (const StorageError& e) {
    std::fprintf(stderr, "fendrik-cli: %s: %d / %s\n", VisibleText(args[0]).c_str(), e.number(),
                 VisibleText(e.description()).c_str());
    return kExitFailed;
  }
  std::printf("%s\n", VisibleText(args[0]).c_str());
  for (uint32_t id : file->rootChildren()) {
    const cfb::DirectoryEntry& entry = file->entry(id);
    if (entry.type != cfb::kTypeStream || entry.name.empty() || entry.name[0] != u'\005') continue;
    std::printf("set \"%s\"  (%llu bytes)\n", VisibleText(cfb::printableName(entry.name)).c_str(),
                static_cast<unsigned long long>(entry.size));
    try {
      fendrik::CompoundStreamSource source(*file, id);
      StreamHeader header = readStreamHeader(source);
      for (const auto& where : header.sections) {
        try {
          dumpSection(source, where);
        } catch (const StorageError& e) {
          std::printf("  FMTID %s  error %d / %s\n", fmtidToText(where.fmtid).c_str(), e.number(),
                      VisibleText(e.description()).c_str());
        }
      }
    } catch (const StorageError& e) {
      std::printf("  error %d / %s\n", e.number(), VisibleText(e.description()).c_str());
    }
  }
  return kExitOk;
}

}  // namespace fendrik::cli
