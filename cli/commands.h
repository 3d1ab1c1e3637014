// Handlers of the admin tool's commands; cli.cc lists them in its table.
#ifndef PLEXAVO_CLI_COMMANDS_H_
#define PLEXAVO_CLI_COMMANDS_H_

#include "cli/command.h"

namespace cli {

int RunInitDb(Invocation& inv);
int RunUserAdd(Invocation& inv);
int RunUserToken(Invocation& inv);
int RunUserTokenRevoke(Invocation& inv);
int RunUserGrant(Invocation& inv);
int RunUserRevoke(Invocation& inv);
int RunConfigSet(Invocation& inv);
int RunPeriodSet(Invocation& inv);
int RunPeriodClear(Invocation& inv);
int RunSelfcheck(Invocation& inv);
int RunDemo(Invocation& inv);
int RunImport(Invocation& inv);
int RunExport(Invocation& inv);
int RunSchemaDoc(Invocation& inv);
int RunEventsPrune(Invocation& inv);
int RunEventsFollow(Invocation& inv);

}  // namespace cli

#endif  // PLEXAVO_CLI_COMMANDS_H_
