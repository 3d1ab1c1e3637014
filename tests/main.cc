#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  // Tests read event-log records through a capture; keep them out of syslog.
  setenv("PLEXAVO_NO_SYSLOG", "1", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
