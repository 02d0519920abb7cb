// Placeholder: this command is being built.
#include "driver/commands.h"

namespace newsclass {

void addClassifyCommand(CLI::App&, CommandSet&) {}

}  // namespace newsclass
