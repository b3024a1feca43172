#pragma once

namespace fendrik {

// The text behind the logo: what the program is and whom to ask.
inline constexpr char kContactText[] =
    "Fendrik\n"
    "Suchen, Filtern und Status setzen\n"
    "für Solid Edge Dokumente\n"
    "(PAR, ASM, PSM, DFT)\n"
    "\n"
    "Fragen, Wünsche und Fehlermeldungen\n"
    "bitte an die CAD-Betreuung\n"
    "Ihrer Konstruktionsabteilung.\n"
    "\n"
    "Einstellungen und Spaltenbreiten\n"
    "werden beim Beenden gespeichert.\n"
    "\n"
    "Klick auf diesen Text schließt ihn.";

}  // namespace fendrik
