#pragma once

#include <array>

namespace fendrik {

// The settings store: application "Fendriken" with two sections.
inline constexpr char kSettingsApplication[] = "Fendriken";
inline constexpr char kSectionSettings[] = "Einstellungen";
inline constexpr char kSectionList[] = "Liste";

inline constexpr char kKeyFolder[] = "Pfad";
inline constexpr char kKeyDrive[] = "Laufwerk";
inline constexpr char kKeySorted[] = "sortiert";
inline constexpr char kKeySubfolders[] = "Unterordner";

// A remembered control of an array: its index and its key.
struct BoxKey {
  int box;
  const char* key;
};

// Remembered filter boxes: box index (the column it filters) and key, in the
// order they are read and written.
inline constexpr std::array<BoxKey, 13> kFilterKeys{{
    {1, "Dateiname"},
    {2, "Typ"},
    {3, "Verzeichnis"},
    {4, "Datum"},
    {5, "Dokunummer"},
    {8, "Status"},
    {9, "Titel"},
    {10, "Thema"},
    {11, "Kommentar"},
    {12, "Stichwort"},
    {13, "Kategorie"},
    {14, "Projekt"},
    {15, "Firma"},
}};

// Type boxes: box index and key, boxes 1 to 4 first, then the all-types box.
inline constexpr std::array<BoxKey, 5> kTypeKeys{{
    {1, "PAR"},
    {2, "ASM"},
    {3, "PSM"},
    {4, "DFT"},
    {0, "SE"},
}};

}  // namespace fendrik
