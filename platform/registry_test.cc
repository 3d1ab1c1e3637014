#include "platform/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace platform {
namespace {

// A settings file of the test's own, named by PLEXAVO_SETTINGS meanwhile.
class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() { setenv("PLEXAVO_SETTINGS", path_.c_str(), 1); }
  ~RegistryTest() override {
    unsetenv("PLEXAVO_SETTINGS");
    std::filesystem::remove_all(dir_);
  }

  void Write(const std::string& server, const std::string& path = "") const {
    std::ofstream(path.empty() ? path_ : path)
        << "[SoftWare\\Acme]\nServer=" << server << "\nUserID=sa\n";
  }

  // Sets the file's modification time to one fixed moment long past, so
  // that the parsed file may be kept.
  void Age() const {
    const timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
  }

  // Value `name` of key `path`, read into a buffer of `size` bytes; the
  // length the call reports follows as "#N" unless it is the text's own
  // plus its NUL. A failing call gives its answer as "open N" / "query N".
  static std::string Read(const std::string& name = "Server",
                          const std::string& path = "SoftWare\\Acme", uint32_t size = 255) {
    RegistryKey key;
    if (long opened = RegistryKey::Open(path, &key); opened != kRegSuccess) {
      return "open " + std::to_string(opened);
    }
    char buffer[255] = {};
    uint32_t length = size;
    if (long read = key.QueryValue(name, buffer, &length); read != kRegSuccess) {
      return "query " + std::to_string(read);
    }
    const std::string text(buffer);
    return length == text.size() + 1 ? text : text + "#" + std::to_string(length);
  }

  char tmpl_[29] = "/tmp/plexavo-registry-XXXXXX";
  const std::string dir_ = mkdtemp(tmpl_), path_ = dir_ + "/settings.ini";
};

TEST_F(RegistryTest, AnUnchangedFileIsReadOnceAndEveryKindOfChangeIsSeen) {
  Write("sqlite:/a.db");
  Age();
  const uint64_t before = SettingsFileReads();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Read(), "sqlite:/a.db");
  EXPECT_EQ(SettingsFileReads() - before, 1u);
  // Rewritten in place, same size, and given back its old time: the change
  // time still tells (a little later, so that the clock the file system
  // stamps with has moved on).
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  Write("sqlite:/b.db");
  Age();
  EXPECT_EQ(Read(), "sqlite:/b.db");
  // Replaced by another file renamed over it.
  Write("sqlite:/c.db", dir_ + "/next.ini");
  std::filesystem::rename(dir_ + "/next.ini", path_);
  EXPECT_EQ(Read(), "sqlite:/c.db");
  // Another size.
  Write("sqlite:/longer-name.db");
  EXPECT_EQ(Read(), "sqlite:/longer-name.db");
  // Gone, and back.
  std::filesystem::remove(path_);
  EXPECT_EQ(Read(), "open 2");  // no such key
  Write("sqlite:/d.db");
  EXPECT_EQ(Read(), "sqlite:/d.db");
}

TEST_F(RegistryTest, AFileJustWrittenIsReadAgainUntilItSettles) {
  // Two writes within one timestamp tick may leave every attribute alike
  // but the content: a fresh file is never trusted from the cache.
  for (const char* server : {"sqlite:/e.db", "sqlite:/f.db", "sqlite:/g.db"}) {
    Write(server);
    EXPECT_EQ(Read(), server);
    EXPECT_EQ(Read(), server);
  }
}

TEST_F(RegistryTest, SectionsAndValuesReadAsBefore) {
  std::ofstream(path_) << "; comment\n[ SoftWare\\ACME ]\nserver = srv \nPWD\n# x\n"
                       << "[Other]\nServer=other\n[SoftWare\\Acme]\nUserID=sa\n";
  EXPECT_EQ(Read("Server", "software\\acme"), "srv");
  EXPECT_EQ(Read("PWD"), "#0");
  EXPECT_EQ(Read("UserID"), "sa");  // from the section's second part
  EXPECT_EQ(Read("Server", "SoftWare\\Acme", 2), "query 234");
  EXPECT_EQ(Read("Missing"), "query 2");
  EXPECT_EQ(Read("Server", "SoftWare\\Nobody"), "open 2");
}

}  // namespace
}  // namespace platform
