// Runs the plexavo tool in-process for a test and keeps what it printed.
#ifndef PLEXAVO_TESTS_RUN_CLI_H_
#define PLEXAVO_TESTS_RUN_CLI_H_

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace testing_support {

struct CliOutcome {
  int code;
  std::string out;
  std::string err;
};

inline CliOutcome RunCli(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  int code = cli::Run(args, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_RUN_CLI_H_
