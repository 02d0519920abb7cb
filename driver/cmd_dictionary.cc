// Placeholder: this command is being built.
#include "driver/commands.h"

namespace newsclass {

void addBuildDictionaryCommand(CLI::App&, CommandSet&) {}
void addPrintDictionaryCommand(CLI::App&, CommandSet&) {}

}  // namespace newsclass
