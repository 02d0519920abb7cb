// Runs the newsclass command line in-process for tests, with its standard streams captured.
#ifndef NEWSCLASS_TESTING_COMMAND_RUNNER_H_
#define NEWSCLASS_TESTING_COMMAND_RUNNER_H_

#include <sstream>
#include <string>
#include <vector>

#include "driver/cmd_cli.h"

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

}  // namespace newsclass::testing

#endif  // NEWSCLASS_TESTING_COMMAND_RUNNER_H_
