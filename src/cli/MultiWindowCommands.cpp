#include "cli/Cli.h"

namespace vantrel::cli {

std::vector<Command> MultiWindowCommands() { return {}; }

} // namespace vantrel::cli
