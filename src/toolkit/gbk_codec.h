#pragma once

#include <string>
#include <string_view>

#include "toolkit/gbk_text.h"

namespace mirabex {

// Conversions through iconv's CP936. Bytes that cannot be decoded, and
// characters that the target cannot represent, become '?'; never an error.
std::string gbkToUtf8(std::string_view gbk);
Text utf8ToGbk(std::string_view utf8);
std::u16string gbkToUtf16(std::string_view gbk);
Text utf16ToGbk(std::u16string_view utf16);
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

// Code pages by their Windows numbers: 936 (GBK), 65001 (UTF-8), 1200 (UTF-16LE).
// The text is read up to its first zero byte, as the platform call does.
Text ConvertCodePage(std::string_view text, int sourceCodePage, int targetCodePage);

}  // namespace mirabex
