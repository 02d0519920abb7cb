// Placeholder: this command is being built.
#include "driver/commands.h"

namespace newsclass {

void addImportCommand(CLI::App&, CommandSet&) {}

}  // namespace newsclass
