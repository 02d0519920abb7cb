// The log loss of the folder's logistic model over the testing articles it labelled: how much
// probability it gave each article's stored category, which accuracy and F1 do not see.
#ifndef NEWSCLASS_CLI_EVALUATE_LOG_LOSS_H_
#define NEWSCLASS_CLI_EVALUATE_LOG_LOSS_H_

#include <string>

#include "cli/cmd_cli.h"
#include "knn/knn_types.h"

namespace newsclass {

struct LogLoss {
  double value = 0.0;     // the mean of -ln p(stored category), p clipped to at least 1e-15
  size_t articles = 0;    // the testing articles it is taken over
  size_t keywordless = 0; // of them, those without a keyword of the model, counted at 1 / K
};

// Re-reads the texts of the articles of `results` from TestingCorpus, cuts them as the folder's
// model was built and takes the model's probabilities; articles whose stored category is not
// one of the categories are left out. UsageError when the folder's classifier (model.json) is
// not logistic regression.
LogLoss logisticLogLoss(RunContext& context, const ClassificationResults& results);

// "log loss: 0.4213 over 10000 testing articles (logistic probabilities of the stored
// category)", with ", N without a keyword at 1/K" when there are such.
std::string logLossLine(const LogLoss& loss);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_EVALUATE_LOG_LOSS_H_
