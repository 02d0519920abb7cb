#include "knn/similarity.h"

#include <stdexcept>
#include <string>

namespace newsclass {

double dotProduct(const WeightVector& x, const WeightVector& y) {
  // The length of x decides; y must hold at least as many weights, or the sum would read past it.
  if (y.size() < x.size()) {
    throw std::invalid_argument("dotProduct: the second vector has " + std::to_string(y.size()) +
                                " weights, fewer than the first (" + std::to_string(x.size()) +
                                ")");
  }
  double sum = 0.0;
  for (size_t i = 0; i < x.size(); ++i) sum += x[i] * y[i];
  return sum;
}

double cosineSimilarity(const WeightVector& a, const WeightVector& b) {
  double n = dotProduct(a, b);
  double p = dotProduct(a, a);
  double q = dotProduct(b, b);
  return cosineFromProducts(n, p, q);
}

}  // namespace newsclass
