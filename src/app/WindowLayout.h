#pragma once

namespace fendrik {

// Fixed places of the window's controls in twips, relative to their
// container (the window's client area or a frame).
struct TwipsRect {
  int left, top, width, height;
};

inline constexpr int kClientWidth = 20760;
inline constexpr int kClientHeight = 12420;
inline constexpr int kWindowLeft = 100;
inline constexpr int kWindowTop = 100;

inline constexpr TwipsRect kFrame2{100, 100, 20500, 1250};
inline constexpr TwipsRect kListView1{100, 1500, 20500, 9000};
inline constexpr TwipsRect kTxtWahl{100, 10600, 18900, 300};
inline constexpr TwipsRect kPicture1{19415, 10560, 1185, 1725};
inline constexpr TwipsRect kFrame1{100, 11000, 12500, 1300};
inline constexpr TwipsRect kCmdSuchen{13500, 11000, 2500, 400};
inline constexpr TwipsRect kCmdSetze{13500, 11450, 2500, 400};
inline constexpr TwipsRect kCmdEnde{13500, 11900, 2500, 400};
inline constexpr TwipsRect kLstStatus{16500, 11000, 2500, 1230};
inline constexpr TwipsRect kTxtLogo{12600, 6000, 8000, 4500};
inline constexpr TwipsRect kDrive1{1150, 4350, 11100, 315};
inline constexpr TwipsRect kDir1{1150, 4750, 11100, 5715};
inline constexpr TwipsRect kPicAltLines{13440, 0, 495, 345};

// Inside Frame1.
inline constexpr TwipsRect kText1{1150, 900, 11100, 285};
// The pickers open this far above the path box and above each other.
inline constexpr int kPickerGap = 50;

// The filter columns in Frame2: box index, label name, caption, left, width
// and the box's start text. Label at top 300, box at 500, check box at 850.
struct FilterColumn {
  int box;
  const char* label;
  const char* caption;
  int left, width;
  const char* startText;
};
inline constexpr FilterColumn kFilterColumns[] = {
    {1, "Label10", "Dateiname", 250, 1500, "Dateiname"},
    {2, "Label14", "Typ", 2000, 750, "Typ"},
    {3, "Label11", "Pfad", 3000, 1500, "Pfad"},
    {4, "Label15", "Datum", 4750, 1500, "Datum"},
    {5, "Label5", "Dokumenten-Nr.", 6500, 1500, "Dokunummer"},
    {9, "Label4", "Titel", 8250, 1500, "Titel"},
    {10, "Label2", "Thema", 10000, 1500, "Thema"},
    {11, "Label7", "Kommentar", 11750, 1500, "Kommentar"},
    {12, "Label12", "Stichwort", 13500, 1500, "Stichwort"},
    {13, "Label13", "Kategorie", 15250, 1500, "Kategorie"},
    {14, "Label8", "Projekt", 17000, 1500, "Projekt"},
    {8, "Label9", "Status", 18750, 1500, "Status"},
};
inline constexpr int kFilterLabelTop = 300, kFilterLabelHeight = 195;
inline constexpr int kFilterBoxTop = 500, kFilterBoxHeight = 285;
inline constexpr int kFilterCheckTop = 850, kFilterCheckHeight = 255;

}  // namespace fendrik
