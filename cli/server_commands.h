// Handlers of the commands that serve the component over HTTP and call it
// through such a server; cli.cc lists them in its table.
#ifndef PLEXAVO_CLI_SERVER_COMMANDS_H_
#define PLEXAVO_CLI_SERVER_COMMANDS_H_

#include <optional>
#include <ostream>
#include <string>

#include "cli/command.h"
#include "server/server.h"

namespace cli {

// Reads "HOST:PORT" (port 0 to 65535; "[::1]:80" for IPv6) into the options.
base::Status ParseListen(const std::string& text, server::ServeOptions& options);

// Reads --tls-cert, --tls-key and --plain-http into the options. Listening
// on anything but loopback without TLS needs --plain-http and writes a
// warning to `warnings`; answers the usage error otherwise.
std::optional<std::string> ApplyTransport(const Args& args, const char* command,
                                          server::ServeOptions& options, std::ostream& warnings);

// plexavo serve [--listen HOST:PORT] [--threads N] [--tls-cert F --tls-key F | --plain-http]
int RunServe(Invocation& inv);
// plexavo call PROGID OPERATION NAME=VALUE...
int RunCall(Invocation& inv);

}  // namespace cli

#endif  // PLEXAVO_CLI_SERVER_COMMANDS_H_
