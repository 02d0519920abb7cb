// Placeholder: this command is being built.
#include "driver/commands.h"

namespace newsclass {

void addShowCommand(CLI::App&, CommandSet&) {}

}  // namespace newsclass
