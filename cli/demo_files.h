// The demo company's master data files (share/demo/*.csv), built into the
// tool: one CSV text per import kind.
#ifndef PLEXAVO_CLI_DEMO_FILES_H_
#define PLEXAVO_CLI_DEMO_FILES_H_

#include <vector>

namespace cli {

struct DemoFile {
  const char* kind;  // the file's name without ".csv": an import kind
  const char* csv;
};

// Every file, ordered by name.
const std::vector<DemoFile>& DemoFiles();

}  // namespace cli

#endif  // PLEXAVO_CLI_DEMO_FILES_H_
