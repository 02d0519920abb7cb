#include "features/measures.h"

#include <cmath>

namespace newsclass {
namespace {

// One cell's share of the expected mutual information; a cell without articles adds nothing.
double informationTerm(double x, double total, double rowSum, double columnSum) {
  if (!(x > 0)) return 0.0;
  return (x / total) * std::log(total * x / (rowSum * columnSum));
}

}  // namespace

double chiSquare(double a, double b, double c, double d) {
  const double total = a + b + c + d;
  const double difference = a * d - b * c;
  return total * (difference * difference) / ((a + c) * (a + b) * (b + d) * (c + d));
}

double informationGain(double a, double b, double c, double d) {
  const double total = a + b + c + d;
  double sum = 0.0;
  sum += informationTerm(a, total, a + b, a + c);
  sum += informationTerm(b, total, a + b, b + d);
  sum += informationTerm(c, total, c + d, a + c);
  sum += informationTerm(d, total, c + d, b + d);
  return sum;
}

double mutualInformation(double a, double b, double c, double d) {
  if (!(a > 0)) return 0.0;
  const double total = a + b + c + d;
  return std::log(total) + std::log(a) - std::log(a + b) - std::log(a + c);
}

}  // namespace newsclass
