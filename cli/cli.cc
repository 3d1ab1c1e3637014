#include "cli/cli.h"

#include <sstream>

#include "cli/commands.h"
#include "cli/server_commands.h"
#include "platform/registry.h"

namespace cli {
namespace {

std::vector<std::string> Words(const std::string& name) {
  std::vector<std::string> words;
  std::istringstream in(name);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// How many leading words of `args` the command name matches (0: none, or
// only part of the name).
size_t NameMatch(const Command& command, const std::vector<std::string>& args) {
  std::vector<std::string> words = Words(command.name);
  if (words.size() > args.size()) return 0;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] != args[i]) return 0;
  }
  return words.size();
}

// How many leading words of `args` begin some command's name.
size_t PrefixMatch(const std::vector<std::string>& args) {
  size_t best = 0;
  for (const Command& command : Commands()) {
    std::vector<std::string> words = Words(command.name);
    size_t n = 0;
    while (n < words.size() && n < args.size() && words[n] == args[n]) ++n;
    best = std::max(best, n);
  }
  return best;
}

bool StartsWith(const Command& command, const std::vector<std::string>& prefix) {
  std::vector<std::string> words = Words(command.name);
  if (words.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (words[i] != prefix[i]) return false;
  }
  return true;
}

std::string Join(const std::vector<std::string>& words, size_t count) {
  std::string s;
  for (size_t i = 0; i < count && i < words.size(); ++i) s += (i ? " " : "") + words[i];
  return s;
}

void ListCommands(std::ostream& os, const std::vector<std::string>& prefix) {
  for (const Command& command : Commands()) {
    if (!StartsWith(command, prefix)) continue;
    os << "  " << command.name;
    if (*command.synopsis != '\0') os << " " << command.synopsis;
    os << "\n      " << command.summary << "\n";
  }
}

void PrintUsage(std::ostream& os) {
  os << "usage: plexavo COMMAND [ARGUMENTS]\n\nCommands:\n";
  ListCommands(os, {});
  os << "\nA company database DB is named by its section in the settings file\n"
     << "($PLEXAVO_SETTINGS, or " << platform::kDefaultSettingsPath << ").\n"
     << "Arguments after \"--\" are taken as they are, even when they start with '-'.\n"
     << "Run 'plexavo COMMAND --help' for more about one command.\n"
     << "Exit status: 0 success, 1 the command failed, 2 bad usage.\n";
}

void PrintCommandHelp(std::ostream& os, const Command& command) {
  os << "usage: plexavo " << command.name;
  if (*command.synopsis != '\0') os << " " << command.synopsis;
  os << "\n\n" << command.summary << "\n";
  if (*command.details != '\0') os << "\n" << command.details << "\n";
}

const Command* FindCommand(const std::vector<std::string>& args, size_t* words) {
  const Command* found = nullptr;
  *words = 0;
  for (const Command& command : Commands()) {
    size_t n = NameMatch(command, args);
    if (n > *words) {
      *words = n;
      found = &command;
    }
  }
  return found;
}

// Help for `plexavo help WORDS...` and `plexavo WORDS... --help` where WORDS
// name no whole command: the commands they begin, or a usage error.
int HelpForWords(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  size_t words_matched = 0;
  const Command* command = FindCommand(words, &words_matched);
  if (command != nullptr && words_matched == words.size()) {
    PrintCommandHelp(out, *command);
    return kExitOk;
  }
  if (!words.empty() && PrefixMatch(words) == words.size()) {
    out << "usage:\n";
    ListCommands(out, words);
    return kExitOk;
  }
  err << "plexavo: no help for unknown command '" << Join(words, words.size()) << "'\n"
      << "Run 'plexavo --help' for the list of commands.\n";
  return kExitUsage;
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands = {
      {"initdb", "DB", "Create company database DB if missing and bring it to the latest schema.",
       "Prints each schema version it applies, then the version the database is at.\n"
       "Running it again on an up-to-date database changes nothing.",
       RunInitDb},
      {"user add", "DB LOGIN --name NAME [--lang LANG] [--inner-id N] [--url URL]",
       "Add a user and print a sign-in token for it.",
       "LANG defaults to \"\" and N (the user's inner ID) to 0. A login that already\n"
       "exists is refused and nothing is written. The token is the only output on\n"
       "standard output; only its SHA-256 digest is stored, so keep it: it cannot be\n"
       "shown again (issue another with 'user token'). Standard error also shows the\n"
       "bill-entry page's sign-in link for the server at URL (default\n"
       "http://127.0.0.1:8080), with the token in the link's fragment.",
       RunUserAdd},
      {"user token", "DB LOGIN [--days N] [--url URL]",
       "Issue another sign-in token for an existing user.",
       "Prints the token alone on standard output, and its sign-in link (as 'user add'\n"
       "does) on standard error. Earlier tokens stay valid. With --days the token is\n"
       "refused N days from now; without, it never expires.",
       RunUserToken},
      {"user token revoke", "DB LOGIN", "Revoke every sign-in token of a user.",
       "The user's tokens are refused from the next request on; issue a new one with\n"
       "'user token'.",
       RunUserTokenRevoke},
      {"user grant", "DB LOGIN CODE...", "Grant right codes to a user.",
       "A code the user already holds is left as it is.", RunUserGrant},
      {"user revoke", "DB LOGIN CODE...", "Revoke right codes from a user.",
       "A code the user does not hold is reported and skipped.", RunUserRevoke},
      {"config set", "DB KEY VALUE", "Set system setting KEY to VALUE.",
       "Use \"--\" before KEY to pass a VALUE that starts with '-'.", RunConfigSet},
      {"period set", "DB MODULE YYYYMM", "Set the current period of a module.",
       "YYYYMM is six digits with the month 01 to 12, e.g. 202406.", RunPeriodSet},
      {"period clear", "DB MODULE", "Remove the current period of a module (not started).", "",
       RunPeriodClear},
      {"import", "DB KIND FILE", "Load master data of one kind from a CSV file (- for stdin).",
       "KIND is one of: depots, shelves, articles, units, balances, op-categories,\n"
       "workshops, operators, projects, items, orders, order-lines, order-bom,\n"
       "depot-rights. The file is UTF-8 CSV as spreadsheets save it, its first line\n"
       "naming the columns ('plexavo export DB KIND' shows them; share/demo/ holds an\n"
       "example of each). Rows are inserted, or update the row with the same key.\n"
       "The file goes in whole or not at all: any bad row refuses it, and every bad\n"
       "row is listed by line and column. Import the kinds in the order above, so\n"
       "that the rows a file refers to are there.",
       RunImport},
      {"export", "DB KIND", "Write master data of one kind as CSV to standard output.",
       "The same format 'import' reads: an export imports back unchanged.", RunExport},
      {"events follow", "DB [--after SEQ] [--idle SECONDS]",
       "Print the change feed of company database DB as JSON lines.",
       "Prints every event after sequence number SEQ (default 0), one JSON object per\n"
       "line in sequence order, and waits for new ones as they are committed. With\n"
       "--idle it ends once no new event came for SECONDS; without, it follows until\n"
       "stopped. A consumer that remembers the last seq it handled and starts again\n"
       "with --after seq sees every event exactly once.",
       RunEventsFollow},
      {"events prune", "DB --before DATE", "Delete the change feed's events before DATE.",
       "DATE is yyyy-mm-dd. Sequence numbers of later events are not reused.", RunEventsPrune},
      {"schema doc", "", "Print the data model (docs/data-model.md) from the schema.",
       "Regenerate the committed document with:\n  plexavo schema doc > docs/data-model.md",
       RunSchemaDoc},
      {"selfcheck", "", "Check the tool end to end on a throwaway SQLite company database.",
       "Creates the database in a temporary directory with a settings file of its own,\n"
       "runs initdb, adds a user, grants a right, sets a setting and a period, reads\n"
       "them back and removes everything again. Prints \"selfcheck ok\" on success.",
       RunSelfcheck},
      {"serve",
       "[--listen HOST:PORT] [--threads N] [--tls-cert FILE --tls-key FILE | --plain-http]",
       "Serve the component over HTTP/JSON until SIGINT or SIGTERM.",
       "HOST:PORT defaults to 127.0.0.1:8080 (port 0: any free port), N to 8 worker\n"
       "threads. One log line per call goes to standard output. On SIGINT or SIGTERM\n"
       "the server stops accepting, answers calls still waiting for a worker with 503,\n"
       "finishes the calls in flight and exits with 0. --tls-cert and --tls-key (PEM\n"
       "certificate chain and key) serve HTTPS; listening on anything but loopback\n"
       "without them needs --plain-http, and prints a warning.",
       RunServe},
      {"call", "PROGID OPERATION NAME=VALUE...",
       "Call an operation through a running server and print its JSON answer.",
       "OPERATION is a name or a hexadecimal dispid. Every parameter is given as\n"
       "NAME=VALUE, converted by its type: text as is, bool true/false, int decimal,\n"
       "currency and date as text (12.5, 2026-05-01), rowset as JSON text or null.\n"
       "The server is $PLEXAVO_URL (default http://127.0.0.1:8080), the sign-in token\n"
       "$PLEXAVO_TOKEN. Exit status 0 when the server answered 200, 1 otherwise.",
       RunCall},
      {"demo", "[--dir DIR] [--listen HOST:PORT] [--tls-cert FILE --tls-key FILE | --plain-http]",
       "Write a demo company database and serve it over HTTP/JSON.",
       "Writes DIR/settings.ini (DIR defaults to ./demo) and a fresh SQLite company\n"
       "database \"demo\" with articles, units, shelves and balances, workshops,\n"
       "production orders with a bill of materials, users and rights, and the current\n"
       "month as the period of module MF; then serves it like 'serve' and prints the\n"
       "URL, the company name and the users' sign-in tokens. The master data comes\n"
       "from the files of share/demo (built into the tool), loaded like 'import'.\n"
       "As with 'serve', listening on anything but loopback without --tls-cert and\n"
       "--tls-key needs --plain-http, and prints a warning.",
       RunDemo},
  };
  return kCommands;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "plexavo: no command given\n";
    PrintUsage(err);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintUsage(out);
    return kExitOk;
  }
  if (args[0] == "help") {
    if (args.size() == 1) {
      PrintUsage(out);
      return kExitOk;
    }
    return HelpForWords({args.begin() + 1, args.end()}, out, err);
  }
  size_t words = 0;
  const Command* command = FindCommand(args, &words);
  if (command == nullptr) {
    size_t prefix = PrefixMatch(args);
    std::vector<std::string> rest(args.begin() + prefix, args.end());
    if (prefix > 0 && WantsHelp(rest)) {
      return HelpForWords({args.begin(), args.begin() + prefix}, out, err);
    }
    if (prefix > 0 && rest.empty()) {
      err << "plexavo: '" << Join(args, prefix) << "' needs a subcommand\n";
    } else if (prefix == 0 && args[0].size() > 1 && args[0][0] == '-') {
      err << "plexavo: unknown option '" << args[0] << "'\n";
    } else {
      err << "plexavo: unknown command '" << Join(args, prefix + 1) << "'\n";
    }
    if (prefix > 0) {
      err << "usage:\n";
      ListCommands(err, {args.begin(), args.begin() + prefix});
    }
    err << "Run 'plexavo --help' for the list of commands.\n";
    return kExitUsage;
  }
  std::vector<std::string> rest(args.begin() + words, args.end());
  if (WantsHelp(rest)) {
    PrintCommandHelp(out, *command);
    return kExitOk;
  }
  Invocation inv(*command, std::move(rest), out, err);
  return command->run(inv);
}

}  // namespace cli
