// Small text helpers shared by every stage: number formatting as the standard streams do it,
// trimming, and the validated number parsing that command-line and file readers use.
#ifndef NEWSCLASS_BASE_TEXT_UTILS_H_
#define NEWSCLASS_BASE_TEXT_UTILS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

// Decimal text of an int as a stream writes it.
std::string formatInt(int32_t value);
// A double in the stream's default floating-point format (six significant digits).
std::string formatSeconds(double seconds);
std::string formatDefaultDouble(double value);

// The shortest decimal text that reads back as exactly `value` ("0.2", "1", "1e-07").
std::string shortestDecimal(double value);

// The default format cut after the first "." plus n characters (n - 1 digits after the point);
// the whole text when there is no point or the text is shorter.
std::string cutDecimals(double value, unsigned n);

// Removes leading, then trailing characters that occur in `characters`, in place.
void trimInPlace(std::string& text, std::string_view characters);

// A JSON string (quotes included) of GBK text. The second byte of a GBK character may be 0x5C
// ('\\'), so the text is walked character by character and only single-byte characters are
// escaped: '"' and '\\' with a backslash; control bytes, DEL and a lead byte without its trail
// byte as \u00XX, so that the string is plain JSON whatever the bytes and reads back to the
// same bytes.
std::string gbkJsonString(std::string_view text);

// The items joined by ", ", at most `shown` of them: a longer list ends with
// " ... and 199,990 more" (the count with thousands separated by commas), so that a message
// naming a list stays one readable line however long the list is.
std::string joinShortened(const std::vector<std::string>& items, size_t shown = 10);

// True when the texts are equal apart from the case of ASCII letters (column names, keywords,
// connection-string keys, encoding and driver names). The one case-insensitive comparison of the
// system; bytes outside A-Z and a-z must match exactly.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// True when `part` occurs in `text` under equalsIgnoringCase; an empty part always occurs.
bool containsIgnoringCase(std::string_view text, std::string_view part);

// Whole-token parses: the entire text must be the number, else nullopt.
std::optional<int32_t> parseInt32(std::string_view text);
std::optional<int64_t> parseInt64(std::string_view text);
std::optional<double> parseDouble(std::string_view text);

// C library parses used on database values: leading white space, optional sign, digits up to the
// first other character; no digits give 0.
int32_t atoiLike(std::string_view text);
double atofLike(std::string_view text);

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_TEXT_UTILS_H_
