// Handlers of the commands that serve the component over HTTP and call it
// through such a server; cli.cc lists them in its table.
#ifndef PLEXAVO_CLI_SERVER_COMMANDS_H_
#define PLEXAVO_CLI_SERVER_COMMANDS_H_

#include "cli/command.h"

namespace cli {

// plexavo serve [--listen HOST:PORT] [--threads N]
int RunServe(Invocation& inv);
// plexavo call PROGID OPERATION NAME=VALUE...
int RunCall(Invocation& inv);

}  // namespace cli

#endif  // PLEXAVO_CLI_SERVER_COMMANDS_H_
