#pragma once

#include <array>
#include <string>

namespace fendrik {

class FileProperties;

// The thirteen property texts of a document row, in reading order: document
// number, revision, status, title, subject, comments, keywords, category,
// project, company, author, main dimensions, material.
using PropertyTexts = std::array<std::string, 13>;

// Reads the thirteen properties of the document open in the server (or the
// one whose opening failed). Every read that fails for any reason gives the
// empty text; nothing is thrown.
void SEProperty(FileProperties& server, PropertyTexts& out);

// Replaces every CR LF pair by ", " (a lone CR or LF stays).
std::string JoinLines(std::string text);

}  // namespace fendrik
