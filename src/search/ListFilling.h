#pragma once

#include <cstddef>

#include "properties/FileProperties.h"
#include "resultlist/ResultRows.h"
#include "search/ScanList.h"

namespace fendrik {

// Empties `rows` and adds one row per file entry of `scan` (folder entries
// give none): column 0 the document's path, columns 1 to 5 the file facts
// ("Dateiname", "Typ", "Pfad", "Gespeichert", "Größe"), columns 6 to 18 the
// thirteen document properties read through `server`. Carries on past every
// failure: a missing file still gives a row with its path and type, a
// document the server cannot open gives empty property texts. The server is
// closed after every document. With sortedByName the rows end up in
// ascending order of "Dateiname" (stable), otherwise in scan order.
// Returns the number of rows.
size_t FillResultRows(const ScanList& scan, FileProperties& server, bool sortedByName, ResultRows& rows);

}  // namespace fendrik
