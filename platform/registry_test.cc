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
  RegistryTest() {
    char tmpl[] = "/tmp/plexavo-registry-XXXXXX";
    dir_ = mkdtemp(tmpl);
    path_ = dir_ + "/settings.ini";
    const char* old = std::getenv("PLEXAVO_SETTINGS");
    if (old != nullptr) old_ = old;
    setenv("PLEXAVO_SETTINGS", path_.c_str(), 1);
  }
  ~RegistryTest() override {
    if (old_.empty()) {
      unsetenv("PLEXAVO_SETTINGS");
    } else {
      setenv("PLEXAVO_SETTINGS", old_.c_str(), 1);
    }
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

  // The Server value of key SoftWare\Acme, or "<no key>" / "<no value>".
  std::string Server() const {
    RegistryKey key;
    if (RegistryKey::Open("SoftWare\\Acme", &key) != kRegSuccess) return "<no key>";
    char buffer[255] = {};
    uint32_t length = sizeof buffer;
    if (key.QueryValue("Server", buffer, &length) != kRegSuccess) return "<no value>";
    return std::string(buffer, length - 1);
  }

  std::string dir_, path_, old_;
};

TEST_F(RegistryTest, AnUnchangedFileIsReadOnceAndEveryKindOfChangeIsSeen) {
  Write("sqlite:/a.db");
  Age();
  const uint64_t before = SettingsFileReads();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Server(), "sqlite:/a.db");
  EXPECT_EQ(SettingsFileReads() - before, 1u);
  // Rewritten in place, same size, and given back its old time: the change
  // time still tells (a little later, so that the clock the file system
  // stamps with has moved on).
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  Write("sqlite:/b.db");
  Age();
  EXPECT_EQ(Server(), "sqlite:/b.db");
  // Replaced by another file renamed over it.
  Write("sqlite:/c.db", dir_ + "/next.ini");
  std::filesystem::rename(dir_ + "/next.ini", path_);
  EXPECT_EQ(Server(), "sqlite:/c.db");
  // Another size.
  Write("sqlite:/longer-name.db");
  EXPECT_EQ(Server(), "sqlite:/longer-name.db");
  // Gone, and back.
  std::filesystem::remove(path_);
  EXPECT_EQ(Server(), "<no key>");
  Write("sqlite:/d.db");
  EXPECT_EQ(Server(), "sqlite:/d.db");
}

TEST_F(RegistryTest, AFileJustWrittenIsReadAgainUntilItSettles) {
  // Two writes within one timestamp tick may leave every attribute alike
  // but the content: a fresh file is never trusted from the cache.
  for (const char* server : {"sqlite:/e.db", "sqlite:/f.db", "sqlite:/g.db"}) {
    Write(server);
    EXPECT_EQ(Server(), server);
    EXPECT_EQ(Server(), server);
  }
}

TEST_F(RegistryTest, SectionsAndValuesReadAsBefore) {
  std::ofstream(path_) << "; comment\n[ SoftWare\\ACME ]\nserver = srv \nPWD\n# x\n"
                       << "[Other]\nServer=other\n[SoftWare\\Acme]\nUserID=sa\n";
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open("software\\acme", &key), kRegSuccess);
  char buffer[255] = {};
  uint32_t length = sizeof buffer;
  ASSERT_EQ(key.QueryValue("Server", buffer, &length), kRegSuccess);
  EXPECT_EQ(std::string(buffer), "srv");
  EXPECT_EQ(length, 4u);
  length = sizeof buffer;
  ASSERT_EQ(key.QueryValue("PWD", buffer, &length), kRegSuccess);
  EXPECT_EQ(length, 0u);
  length = sizeof buffer;
  ASSERT_EQ(key.QueryValue("UserID", buffer, &length), kRegSuccess);  // the section again
  EXPECT_EQ(std::string(buffer), "sa");
  length = 2;
  EXPECT_EQ(key.QueryValue("Server", buffer, &length), kRegMoreData);
  EXPECT_EQ(key.QueryValue("Missing", buffer, &length), kRegFileNotFound);
  EXPECT_EQ(RegistryKey::Open("SoftWare\\Nobody", &key), kRegFileNotFound);
}

}  // namespace
}  // namespace platform
