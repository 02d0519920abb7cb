// The feature measures: how strongly a word marks a category, from the 2x2 table of training
// article counts
//
//                     in the category   not in it
//   contains the word        a              b
//   does not contain         c              d
//
// so that a + b is the word's document frequency df, a + c the category's article count and
// a + b + c + d = N, the size of the training range. The measures are pure: plain IEEE double
// arithmetic in the order written below, so that equal counts always give equal bits. A zero
// margin is not guarded where the formula divides by it (chi-square gives NaN then); rankings
// put such scores last.
#ifndef NEWSCLASS_FEATURES_MEASURES_H_
#define NEWSCLASS_FEATURES_MEASURES_H_

namespace newsclass {

// Chi-square: N * (a*d - b*c)^2 / ((a + c) * (a + b) * (b + d) * (c + d)), N = a + b + c + d.
// NaN when the word occurs in no article or in every one (0/0).
double chiSquare(double a, double b, double c, double d);

// Information gain (the expected mutual information of word and category): the sum over the
// four cells x of (x / N) * ln(N * x / (row sum * column sum)), in the order a, b, c, d; a cell
// of 0 (or one that is not a number) adds nothing.
double informationGain(double a, double b, double c, double d);

// Mutual information of the cell a: ln N + ln a - ln(a + b) - ln(a + c), evaluated left to
// right; 0 when a is not positive.
double mutualInformation(double a, double b, double c, double d);

}  // namespace newsclass

#endif  // NEWSCLASS_FEATURES_MEASURES_H_
