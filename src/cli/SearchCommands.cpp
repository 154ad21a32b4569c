#include "cli/Cli.h"

namespace vantrel::cli {

std::vector<Command> SearchCommands() { return {}; }

} // namespace vantrel::cli
