// The evaluation report as the evaluate and pipeline commands print it.
#ifndef NEWSCLASS_CLI_CMD_EVALUATE_H_
#define NEWSCLASS_CLI_CMD_EVALUATE_H_

#include <string>

#include "cli/cmd_cli.h"
#include "evaluation/evaluation_report.h"

namespace newsclass {

// Builds the report of `results` against TestingCorpus for the context's categories and prints
// it in `format` (text, csv, json or html) through the console, which converts GBK for the terminal.
void printEvaluationReport(RunContext& context, const ClassificationResults& results,
                           const std::string& format);

// The report as one self-contained HTML page (UTF-8) with the data folder's model.json, the
// misclassified articles and, for KNN, their neighbours from the vector files; `processor`
// carries the loading lines (cmd_evaluate.cc gives it a console on standard error).
std::string evaluationPage(RunContext& context, CorpusProcessor& processor,
                           const EvaluationReport& report, const ClassificationResults& results);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_CMD_EVALUATE_H_
