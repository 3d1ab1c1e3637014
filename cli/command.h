// The pieces every command of the admin tool is built from: the command
// table entry, one invocation's arguments and streams, and argument parsing.
//
// Adding a command: write a handler `int RunX(Invocation&)` that parses its
// arguments with ParseArgs, answers UsageError for bad arguments and
// Failure for runtime errors, and add a line for it to the table in cli.cc.
#ifndef PLEXAVO_CLI_COMMAND_H_
#define PLEXAVO_CLI_COMMAND_H_

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace cli {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command could not do its work
inline constexpr int kExitUsage = 2;    // unknown command or bad arguments

class Invocation;
using Handler = int (*)(Invocation& inv);

struct Command {
  const char* name;      // one or more words: "initdb", "user add"
  const char* synopsis;  // the arguments after the name, "" for none
  const char* summary;   // one sentence for the command list
  const char* details;   // further text for COMMAND --help, "" for none
  Handler run;
};

// One run of a command: the arguments after its name, and the streams.
class Invocation {
 public:
  Invocation(const Command& command, std::vector<std::string> args, std::ostream& out,
             std::ostream& err)
      : command_(command), args_(std::move(args)), out_(out), err_(err) {}

  const Command& command() const { return command_; }
  const std::vector<std::string>& args() const { return args_; }
  std::ostream& out() { return out_; }
  std::ostream& err() { return err_; }

  // Reports bad arguments with the command's usage line; answers kExitUsage.
  int UsageError(const std::string& message);
  // Reports a failure of the command's work; answers kExitFailure.
  int Failure(const base::Err& error);
  int Failure(const std::string& message);

 private:
  const Command& command_;
  std::vector<std::string> args_;
  std::ostream& out_;
  std::ostream& err_;
};

// What a command accepts.
struct ArgSpec {
  std::vector<std::string> positionals = {};  // required, in order
  bool variadic = false;                      // the last positional takes one or more values
  std::vector<std::string> options = {};      // options taking a value, spelled "--name"
  std::vector<std::string> flags = {};        // options without a value (Option() gives "")
};

struct Args {
  std::vector<std::string> positionals;
  std::map<std::string, std::string> options;

  std::optional<std::string> Option(const std::string& name) const;
};

// Splits arguments as `accepted` describes them. "--opt VALUE" and "--opt=VALUE" both
// work; "--" ends the options, so later arguments are positionals even when
// they start with '-'. Unknown options, missing values, and too few or too
// many positionals are errors whose description says what is wrong.
base::Result<Args> ParseArgs(const std::vector<std::string>& args, const ArgSpec& accepted);

// True when an argument before "--" asks for help ("--help" or "-h").
bool WantsHelp(const std::vector<std::string>& args);

// A decimal 32-bit integer, optionally with a leading '-', nothing around it.
base::Result<int32_t> ParseInt32(std::string_view text);

// A company database name: 1 to 63 letters, digits, '_' or '-', the names
// the settings file and the database servers both accept.
base::Status CheckDatabaseName(const std::string& db);

}  // namespace cli

#endif  // PLEXAVO_CLI_COMMAND_H_
