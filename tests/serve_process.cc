#include "tests/serve_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace testing_support {

std::string CliPath() {
  const char* env = std::getenv("PLEXAVO_CLI");
  if (env != nullptr && *env != '\0') return env;
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "plexavo").string();
}

ServeProcess::ServeProcess(const std::vector<std::string>& args) {
  const std::string cli = CliPath();
  std::vector<char*> argv = {const_cast<char*>(cli.c_str()), const_cast<char*>("serve")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execv(cli.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  out_ = fdopen(fds[0], "r");
  char buf[512] = {};
  if (pid_ > 0 && fgets(buf, sizeof buf, out_) != nullptr) first_line_ = buf;
}

ServeProcess::~ServeProcess() {
  std::string rest;
  if (pid_ > 0) Stop(SIGKILL, rest);
}

int ServeProcess::Stop(int signal, std::string& rest) {
  int status = 0;
  if (pid_ > 0) {
    kill(pid_, signal);
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  char buf[512];
  while (out_ != nullptr && fgets(buf, sizeof buf, out_) != nullptr) rest += buf;
  if (out_ != nullptr) fclose(out_);
  out_ = nullptr;
  return status;
}

}  // namespace testing_support
