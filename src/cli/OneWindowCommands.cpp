#include "cli/Cli.h"

namespace vantrel::cli {

std::vector<Command> OneWindowCommands() { return {}; }

} // namespace vantrel::cli
