// The text form of one weight in the vector files: printf's %g (six significant digits) for
// writing, and the exact value strtod gives for reading. Both run once per weight over files of
// tens of millions of weights, so each has a short exact path for the common case and falls back
// to std::to_chars / the shared token parser for the rest.
#ifndef NEWSCLASS_VSM_WEIGHT_TEXT_H_
#define NEWSCLASS_VSM_WEIGHT_TEXT_H_

#include <optional>
#include <string_view>

namespace newsclass {

// Room formatWeight needs: "-1.23457e-308" is the longest form.
constexpr size_t kWeightTextCapacity = 32;

// Writes `value` as snprintf("%g") does in the "C" locale (six significant digits, exponent of at
// least two digits, trailing zeros and point dropped, "inf"/"nan" for those) into `out`, which
// has kWeightTextCapacity bytes, and returns the end of the text. The bytes equal snprintf's for
// every double.
char* formatWeight(double value, char* out);

// parseDoubleToken's result for `token` (same accepted forms, same value as strtod, bit for bit),
// faster for tokens of at most 19 significant digits whose value is an exact product or quotient
// of two doubles.
std::optional<double> parseWeightToken(std::string_view token);

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_WEIGHT_TEXT_H_
