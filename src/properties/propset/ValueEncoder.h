#pragma once

#include <cstdint>
#include <vector>

#include "properties/propset/PropertyValue.h"

namespace fendrik::propset {

// Encodes a value as a stored property of the given type: type word, two
// padding bytes, payload, padding to a multiple of 4, exactly as documents
// store it (texts with their NUL terminator; VT_LPSTR length in bytes,
// VT_LPWSTR length in characters, both counting the NUL). Texts in VT_LPSTR
// use the section's codepage. A value that the type cannot hold (a text in an
// integer, a number out of range, a character outside the codepage) throws
// StorageError (kTypeMismatch).
std::vector<uint8_t> encodeValue(uint16_t type, const PropertyValue& value, uint16_t codepage);

// Encodes a dictionary (property 0) in the section's codepage.
struct DictionaryEntry;
std::vector<uint8_t> encodeDictionary(const std::vector<DictionaryEntry>& entries, uint16_t codepage);

}  // namespace fendrik::propset
