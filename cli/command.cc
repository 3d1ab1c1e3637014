#include "cli/command.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace cli {
namespace {

base::Err BadArgs(std::string message) {
  return base::MakeErr(base::kErrInvalidArgument, std::move(message), "Plexavo.Cli");
}

}  // namespace

int Invocation::UsageError(const std::string& message) {
  err_ << "plexavo " << command_.name << ": " << message << "\n"
       << "usage: plexavo " << command_.name;
  if (*command_.synopsis != '\0') err_ << " " << command_.synopsis;
  err_ << "\nRun 'plexavo " << command_.name << " --help' for details.\n";
  return kExitUsage;
}

int Invocation::Failure(const base::Err& error) { return Failure(error.description); }

int Invocation::Failure(const std::string& message) {
  err_ << "plexavo " << command_.name << ": " << message << "\n";
  return kExitFailure;
}

std::optional<std::string> Args::Option(const std::string& name) const {
  auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

base::Result<Args> ParseArgs(const std::vector<std::string>& args, const ArgSpec& accepted) {
  Args parsed;
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      parsed.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (std::find(accepted.flags.begin(), accepted.flags.end(), name) != accepted.flags.end()) {
      if (value) return BadArgs("option '" + name + "' takes no value");
      if (parsed.options.count(name) != 0) return BadArgs("option '" + name + "' given twice");
      parsed.options[name] = "";
      continue;
    }
    if (std::find(accepted.options.begin(), accepted.options.end(), name) ==
        accepted.options.end()) {
      return BadArgs("unknown option '" + name + "'");
    }
    if (!value) {
      if (i + 1 == args.size()) return BadArgs("option '" + name + "' needs a value");
      value = args[++i];
    }
    if (parsed.options.count(name) != 0) return BadArgs("option '" + name + "' given twice");
    parsed.options[name] = *value;
  }
  const size_t wanted = accepted.positionals.size();
  if (parsed.positionals.size() < wanted) {
    return BadArgs("missing " + accepted.positionals[parsed.positionals.size()]);
  }
  if (parsed.positionals.size() > wanted && !accepted.variadic) {
    return BadArgs("unexpected argument '" + parsed.positionals[wanted] + "'");
  }
  return parsed;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

base::Result<int32_t> ParseInt32(std::string_view text) {
  int32_t value = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    return BadArgs("'" + std::string(text) + "' is not a 32-bit integer");
  }
  return value;
}

base::Status CheckDatabaseName(const std::string& db) {
  bool ok = !db.empty() && db.size() <= 63;
  for (char c : db) {
    ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-');
  }
  if (ok) return base::OkStatus();
  return BadArgs("company database name '" + db + "' must be 1 to 63 letters, digits, '_' or '-'");
}

}  // namespace cli
