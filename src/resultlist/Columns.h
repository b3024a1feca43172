#pragma once

#include <array>
#include <string_view>

namespace fendrik {

enum class ColumnAlignment { Left, Centre, Right };

struct ColumnInfo {
  std::string_view header;
  ColumnAlignment alignment;
  int firstStartWidth;  // twips; 0 hides the column
};

inline constexpr int kColumnCount = 24;
// Columns 0 to 18 carry texts; "Blatt 1" to "Blatt 5" stay empty.
inline constexpr int kFilledColumnCount = 19;
inline constexpr int kFileNameColumn = 1;
// The file's time and size, as the list shows them (FileFacts.h).
inline constexpr int kSavedColumn = 4;
inline constexpr int kSizeColumn = 5;
// The status code column, updated by the status change.
inline constexpr int kStatusColumn = 8;

// The document row: header text, alignment and first-start width per column.
inline constexpr std::array<ColumnInfo, kColumnCount> kColumns{{
    {"Objekt", ColumnAlignment::Left, 0},
    {"Dateiname", ColumnAlignment::Left, 3000},
    {"Typ", ColumnAlignment::Centre, 750},
    {"Pfad", ColumnAlignment::Left, 3000},
    {"Gespeichert", ColumnAlignment::Centre, 1750},
    {"Größe", ColumnAlignment::Right, 1250},
    {"Dokumentnummer", ColumnAlignment::Left, 1750},
    {"Rev.", ColumnAlignment::Centre, 750},
    {"Status", ColumnAlignment::Centre, 1250},
    {"Titel", ColumnAlignment::Left, 1500},
    {"Thema", ColumnAlignment::Left, 1500},
    {"Kommentar", ColumnAlignment::Left, 1500},
    {"Stichwort", ColumnAlignment::Left, 1500},
    {"Kategorie", ColumnAlignment::Left, 1500},
    {"Projekt", ColumnAlignment::Left, 1500},
    {"Firma", ColumnAlignment::Left, 1500},
    {"Autor", ColumnAlignment::Left, 1500},
    {"Hauptmaße", ColumnAlignment::Left, 1500},
    {"Material", ColumnAlignment::Left, 1500},
    {"Blatt 1", ColumnAlignment::Left, 1500},
    {"Blatt 2", ColumnAlignment::Left, 1500},
    {"Blatt 3", ColumnAlignment::Left, 1500},
    {"Blatt 4", ColumnAlignment::Left, 1500},
    {"Blatt 5", ColumnAlignment::Left, 1500},
}};

}  // namespace fendrik
