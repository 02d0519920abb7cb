// Placeholder: this command is being built.
#include "driver/commands.h"

namespace newsclass {

void addEvaluateCommand(CLI::App&, CommandSet&) {}

}  // namespace newsclass
