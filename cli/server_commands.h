// Handlers of the commands that serve the component over HTTP and call it
// through such a server; cli.cc lists them in its table.
#ifndef PLEXAVO_CLI_SERVER_COMMANDS_H_
#define PLEXAVO_CLI_SERVER_COMMANDS_H_

#include "cli/command.h"
#include "server/server.h"

namespace cli {

// Reads "HOST:PORT" (port 0 to 65535; "[::1]:80" for IPv6) into the options.
base::Status ParseListen(const std::string& text, server::ServeOptions& options);

// plexavo serve [--listen HOST:PORT] [--threads N]
int RunServe(Invocation& inv);
// plexavo call PROGID OPERATION NAME=VALUE...
int RunCall(Invocation& inv);

}  // namespace cli

#endif  // PLEXAVO_CLI_SERVER_COMMANDS_H_
