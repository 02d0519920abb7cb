// The evaluation report as the evaluate and pipeline commands print it.
#ifndef NEWSCLASS_DRIVER_CMD_EVALUATE_H_
#define NEWSCLASS_DRIVER_CMD_EVALUATE_H_

#include <string>

#include "driver/cmd_cli.h"

namespace newsclass {

// Builds the report of `results` against TestingCorpus for the context's categories and prints
// it in `format` (text, csv or json) through the console, which converts GBK for the terminal.
void printEvaluationReport(RunContext& context, const ClassificationResults& results,
                           const std::string& format);

}  // namespace newsclass

#endif  // NEWSCLASS_DRIVER_CMD_EVALUATE_H_
