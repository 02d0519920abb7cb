// Placeholder: this command is being built.
#include "driver/commands.h"

namespace newsclass {

void addBuildContingencyCommand(CLI::App&, CommandSet&) {}
void addSelectFeaturesCommand(CLI::App&, CommandSet&) {}

}  // namespace newsclass
