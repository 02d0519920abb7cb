// Runs the newsclass command line in-process for tests, with its standard streams captured.
#ifndef NEWSCLASS_TESTING_COMMAND_RUNNER_H_
#define NEWSCLASS_TESTING_COMMAND_RUNNER_H_

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cmd_cli.h"

namespace newsclass::testing {

struct CommandResult {
  int code;
  std::string out;
  std::string err;
};

// `arguments` starts with the program name, as argv does; `input` is the standard input.
inline CommandResult runCommand(const std::vector<std::string>& arguments,
                                const std::string& input = "") {
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::istringstream in(input);
  std::ostringstream out, err;
  int code = runNewsclass(static_cast<int>(argv.size()), argv.data(), in, out, err);
  return {code, out.str(), err.str()};
}

// The global options that run newsclass on the sample corpus (its 120 training and 30 testing
// articles, stop words and user dictionary, Debian's jieba word list, UTF-8 console) with the
// data folder `dataDir`; a test appends its own options and command.
inline std::vector<std::string> sampleCorpusArguments(const std::string& dataDir) {
  return {"newsclass",      "--data-dir",   dataDir,
          "--train-range",  "1-120",        "--test-range",
          "1-30",           "--stopwords",  "sample/stopwords.txt",
          "--user-dict",    "sample/dict.txt", "--lexicon",
          "/usr/lib/python3/dist-packages/jieba/dict.txt", "--console-encoding", "utf-8"};
}

// GBK console output with the seconds of every timing line (after 为 or 了) replaced by "#",
// so that output can be compared byte for byte.
inline std::string maskTimingSeconds(const std::string& output) {
  static const std::regex seconds("(\xCE\xAA|\xC1\xCB)[0-9]+(\\.[0-9]+)?(e[-+][0-9]+)?\n");
  return std::regex_replace(output, seconds, "$1#\n");
}

}  // namespace newsclass::testing

#endif  // NEWSCLASS_TESTING_COMMAND_RUNNER_H_
