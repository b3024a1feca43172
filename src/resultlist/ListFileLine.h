#pragma once

#include <cstddef>
#include <string>

#include "resultlist/ResultRows.h"

namespace fendrik {

// Appends the list-file line of one row to `out`: the key (rows never carry
// one, so it is empty), a TAB, the item text (column 0), then a TAB and the
// text of each column 1 to 23, ended by CR LF. A TAB, CR or LF inside a text
// is written as one blank so that reading the line back keeps every column in
// its place.
void AppendListFileLine(std::string& out, const ResultRows& rows, size_t row);

}  // namespace fendrik
