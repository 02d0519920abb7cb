// The linear classifier's stages: training on the training range's sparse TF-IDF vectors,
// taken straight from the dictionary and the keyword list (no vector file), and classifying the
// testing range's articles, segmented and weighted as the testing-vector stage does.
#ifndef NEWSCLASS_KNN_LINEAR_RUN_H_
#define NEWSCLASS_KNN_LINEAR_RUN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "driver/corpus_processor.h"
#include "knn/linear_model.h"

namespace newsclass {

// Trains the model on the training articles of the processor's range whose stored category
// (TrainingCorpus, trimmed) is one of `categories`; class i is categories[i]. Articles of other
// categories, or none, are left out.
LinearModel trainLinearModel(CorpusProcessor& processor, const Dictionary& dictionary,
                             const std::vector<std::string>& keywords,
                             const CategoryList& categories, double cost);

// The tfidf vector of every article of `tableName` with text in [firstId, lastId], in id order,
// segmented on the processor's threads. Prints the testing-vector stage's timing line.
std::vector<std::pair<int32_t, WeightedKeywordList>> sparseTestingVectors(
    CorpusProcessor& processor, const Dictionary& dictionary,
    const std::vector<std::string>& keywords, int32_t firstId, int32_t lastId,
    const std::string& tableName);

// Classifies every vector: appends (id, category) to `results`. Prints the classification
// timing line.
void linearClassify(CorpusProcessor& processor, const LinearModel& model,
                    const std::vector<std::pair<int32_t, WeightedKeywordList>>& vectors,
                    const CategoryList& categories, ClassificationResults& results);

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_LINEAR_RUN_H_
