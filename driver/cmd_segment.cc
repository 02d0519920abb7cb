// Placeholder: this command is being built.
#include "driver/commands.h"

namespace newsclass {

void addSegmentCommand(CLI::App&, CommandSet&) {}

}  // namespace newsclass
