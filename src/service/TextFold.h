#pragma once

#include <string>
#include <string_view>

// Case-insensitive matching of UTF-8 texts for the list filters. SQLite's own
// NOCASE and LIKE fold ASCII only, which would let "müller" miss "Müller".
namespace service {

// Lower case for ASCII, the Latin-1 and Latin Extended-A capitals (Ä Ö Ü É Ł ...)
// and the capital sharp s; everything else stays. Simple folding: "ß" does not
// become "ss". Invalid UTF-8 bytes are kept as they are.
std::string foldCase(std::string_view utf8);

// Whether foldCase(text) starts with foldedPrefix, without building the folded text.
bool startsWithFolded(std::string_view text, std::string_view foldedPrefix);

bool isValidUtf8(std::string_view bytes);

} // namespace service
