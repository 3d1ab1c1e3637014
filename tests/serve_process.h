// `plexavo serve` in a child process of its own, for tests of the command
// as an operator runs it: signals, exit status and what it prints.
#ifndef PLEXAVO_TESTS_SERVE_PROCESS_H_
#define PLEXAVO_TESTS_SERVE_PROCESS_H_

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testing_support {

// The plexavo tool: PLEXAVO_CLI, or the one built beside the test program.
std::string CliPath();

class ServeProcess {
 public:
  // Starts `plexavo serve` with `args` and reads its first line.
  explicit ServeProcess(const std::vector<std::string>& args);
  // Kills the process with SIGKILL if it still runs.
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  const std::string& first_line() const { return first_line_; }
  // Sends `signal` and waits for the end; answers the wait status and sets
  // `rest` to what the process printed after its first line.
  int Stop(int signal, std::string& rest);

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  std::string first_line_;
};

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_SERVE_PROCESS_H_
