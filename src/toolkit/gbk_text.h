#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mirabex {

// Every text inside the engine is a string of GBK (code page 936) bytes.
using Text = std::string;
// A counted byte array: response bodies, picture files.
using Bytes = std::string;

inline constexpr std::size_t kNotFound = std::string_view::npos;

enum class LetterCase { Respect, Ignore };

// A byte that opens a double-byte GBK character (0x81..0xFE), when a byte follows it.
inline bool isGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// Byte length of the character that starts at `pos` (1 or 2); `pos` must be a character start.
std::size_t gbkCharLength(std::string_view text, std::size_t pos);

// All searches below work on whole characters: a match never starts inside a
// double-byte character, so a trail byte equal to '|' or to an ASCII letter is
// never taken for a separator or a match. Offsets are 0-based byte offsets;
// `from` must be a character start.
std::size_t findText(std::string_view text, std::string_view needle, std::size_t from = 0,
                     LetterCase letterCase = LetterCase::Respect);
// The start of the last whole-character match, or kNotFound.
std::size_t findLastText(std::string_view text, std::string_view needle,
                         LetterCase letterCase = LetterCase::Respect);
bool containsText(std::string_view text, std::string_view needle,
                  LetterCase letterCase = LetterCase::Respect);
bool startsWithText(std::string_view text, std::string_view prefix,
                    LetterCase letterCase = LetterCase::Respect);

// Replaces every non-overlapping occurrence, left to right. An empty `from` changes nothing.
Text replaceAllText(std::string_view text, std::string_view from, std::string_view to,
                    LetterCase letterCase = LetterCase::Respect);

// The text after the last occurrence of `marker`; empty when it does not occur.
Text TextAfterLast(std::string_view text, std::string_view marker);

// Removes ASCII spaces and the full-width space (A1 A1) at both ends only.
Text trimText(std::string_view text);
// Removes every ASCII space, wherever it stands.
Text removeSpaces(std::string_view text);

// Splits at every `separator`, scanning whole characters; empty members between
// separators are kept, an empty last member is dropped.
std::vector<Text> splitText(std::string_view text, std::string_view separator);

// ASCII letters only; the bytes of double-byte characters are left alone.
Text toLowerAscii(std::string_view text);
Text toUpperAscii(std::string_view text);

}  // namespace mirabex
