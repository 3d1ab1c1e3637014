// `plexavo serve` on a free loopback port in a child process of its own,
// for tests that signal or kill the server: the tool is $PLEXAVO_CLI, else
// the plexavo program built beside the test program.
#ifndef PLEXAVO_TESTS_SERVER_PROCESS_H_
#define PLEXAVO_TESTS_SERVER_PROCESS_H_

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

namespace testing_support {

inline std::string CliPath() {
  const char* env = std::getenv("PLEXAVO_CLI");
  if (env != nullptr && *env != '\0') return env;
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "plexavo").string();
}

class ServerProcess {
 public:
  // Starts the server with two threads and reads the first line it prints.
  ServerProcess() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      const std::string cli = CliPath();
      execl(cli.c_str(), cli.c_str(), "serve", "--listen", "127.0.0.1:0", "--threads", "2",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    out_ = fdopen(fds[0], "r");
    char buf[512] = {};
    first_line_ = fgets(buf, sizeof buf, out_) != nullptr ? buf : "";
    std::smatch m;
    if (std::regex_search(first_line_, m,
                          std::regex(R"(listening on http://127\.0\.0\.1:(\d+) )"))) {
      port_ = std::stoi(m[1]);
    }
  }
  ~ServerProcess() { Stop(SIGKILL); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  const std::string& first_line() const { return first_line_; }
  int port() const { return port_; }  // 0 when it does not listen

  // Sends `signal` and waits for the process to end; answers its wait
  // status (-1 when it had ended before) and what it printed meanwhile.
  int Stop(int signal, std::string* rest = nullptr) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    char buf[512];
    while (rest != nullptr && fgets(buf, sizeof buf, out_) != nullptr) *rest += buf;
    fclose(out_);
    return status;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  std::string first_line_;
  int port_ = 0;
};

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_SERVER_PROCESS_H_
