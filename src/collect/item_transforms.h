#pragma once

#include <string_view>

#include "settings/options.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

// The clean-ups and codes that turn gateway texts into Taobao Assistant values.
// Every function is pure, so the worker and the tests share exactly one rule each.

// "&amp;" -> blank, "amp;" -> nothing, then * | < > . ? -> blank: the import tool
// chokes on those in a title, and a title never carries the CSV marker characters.
Text cleanTitle(std::string_view title);

// Quotes doubled from "&quot;", commas made full-width, "&lt;"/"&gt;" decoded, "&amp;nbsp;"
// -> blank, CR LF removed, so the description can stand inside one quoted CSV field.
Text cleanDescription(std::string_view desc);

// "seller"/"buyer" as the chosen layout codes them (4.x: 2/1, 5.x: 1/2); empty -> "0".
Text freightPayerCode(std::string_view freightPayer, bool layout4Chosen);
// ";" appended unless the last ";" is the text's first character.
Text propsWithTrailingSemicolon(std::string_view props);
// Empty -> "100", "onsale" -> "200", anything else unchanged.
Text approveStatusCode(std::string_view status);
// "true" -> "1", anything else -> "0".
Text warrantyCode(std::string_view hasWarranty);

// The decimal number at the start of the text (optional sign and fraction), 0 when there is none.
double numericValueOf(std::string_view text);
// "%.13g", independent of the process locale.
Text numberText(double value);
// Rounds half away from zero to `decimals` places on the value as "%.13g" shows it,
// so 2.675 goes to 2.68 even though its binary value lies just below.
double roundToDecimals(double value, int decimals);

// The "保留小数位" box: a whole number 0..6 (blanks around it allowed), else -1 for "no rounding".
int decimalPlacesOf(std::string_view box);
// price × percent ÷ 100 as text; rounded first when decimals >= 0.
Text scaledPriceText(std::string_view price, std::string_view percent, int decimals);

// The seller's three replacement pairs, one to three in order; a pair with an empty
// left side changes nothing.
Text applyReplacementPairs(std::string_view text, const Options& settings);

}  // namespace mirabex
