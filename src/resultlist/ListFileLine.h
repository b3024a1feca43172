#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "resultlist/ResultRows.h"

namespace fendrik {

// One line of the list file: 25 fields separated by TABs, ended by CR LF.
// Field 1 is a key that rows never carry, field 2 the item text (column 0,
// the document's path), fields 3 to 25 the texts of columns 1 to 23.
//
// A row whose texts all stand in a line as they are is written as they
// are, with field 1 empty, as every earlier version wrote its lines. A row
// with a text that cannot (a TAB, CR, LF, NUL or other control character,
// a direction mark, or bytes that are not UTF-8) is written with
// kEscapedLineMark in field 1 and every text in its escaped form (see
// properties/VisibleText.h), so that reading the line gives the exact bytes
// back. A backslash keeps its plain meaning in unmarked lines: it is the
// separator of Windows paths.
inline constexpr std::string_view kEscapedLineMark = "\\";

// Appends the list-file line of one row to `out`.
void AppendListFileLine(std::string& out, const ResultRows& rows, size_t row);

// Adds the row of one line (without its line end) to rows: missing fields
// are empty texts, fields beyond the 25th are dropped, an empty line gives
// an empty row. An unmarked line is UTF-8; one that is not valid UTF-8 is
// read as Windows-1252 (a list file from an older Windows machine), and when
// that changes the bytes of its path, the row's path is marked uncertain.
// Gives, instead of adding a row, why the line is refused: a path that holds
// a NUL character (it would name another file than the one shown) or a
// marked line with a malformed escape.
std::optional<std::string> AddListFileRow(ResultRows& rows, std::string_view line);

}  // namespace fendrik
