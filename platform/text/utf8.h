// UTF-8 checks for text that must be valid UTF-8 when written: property lists are
// XML, and a byte that is not part of valid UTF-8 makes the whole file unreadable.
#pragma once

#include <string>
#include <string_view>

namespace sonara::text {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);

// The bytes unchanged when they are valid UTF-8; otherwise each byte that is not
// part of a valid sequence is taken as the Latin-1 character of its value (a file
// name from an old 8-bit system keeps its accents).
std::string validUtf8(std::string_view bytes);

}  // namespace sonara::text
