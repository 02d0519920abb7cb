// Placeholder: this command is being built.
#include "driver/commands.h"

namespace newsclass {

void addPipelineCommand(CLI::App&, CommandSet&) {}

}  // namespace newsclass
