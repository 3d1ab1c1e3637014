// The admin command-line tool: `plexavo COMMAND [ARGUMENTS]`. Run is the
// whole tool, callable in-process; main() only forwards its arguments.
#ifndef PLEXAVO_CLI_CLI_H_
#define PLEXAVO_CLI_CLI_H_

#include <ostream>
#include <string>
#include <vector>

#include "cli/command.h"

namespace cli {

// Runs the tool on `args` (the arguments after the program name). Results
// go to `out`, messages to `err`. Answers the exit code: kExitOk,
// kExitFailure when the command could not do its work, kExitUsage for an
// unknown command or bad arguments.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Every command, in the order the help lists them.
const std::vector<Command>& Commands();

}  // namespace cli

#endif  // PLEXAVO_CLI_CLI_H_
