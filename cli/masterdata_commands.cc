// Handlers of `import`, `export` and `schema doc`: they parse the arguments
// and hand over to masterdata/ and schema/.
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iostream>

#include "cli/commands.h"
#include "company/company_db.h"
#include "masterdata/import.h"
#include "schema/data_model_doc.h"

namespace cli {
namespace {

// A progress line ("12288 rows, 51234 rows/s") rewritten in place on a
// terminal, at most a few times a second; nothing when `err` is not one.
class TerminalProgress {
 public:
  explicit TerminalProgress(std::ostream& err)
      : err_(err), on_(&err == &std::cerr && isatty(STDERR_FILENO) == 1) {}
  ~TerminalProgress() { End(); }

  // Ends the progress line, so that what follows starts on a line of its own.
  void End() {
    if (shown_) err_ << "\n" << std::flush;
    shown_ = false;
  }

  masterdata::Progress Callback() {
    if (!on_) return {};
    return [this](int64_t rows) { Show(rows); };
  }

 private:
  void Show(int64_t rows) {
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - last_ < std::chrono::milliseconds(250)) return;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    err_ << "\r" << rows << " rows, "
         << static_cast<int64_t>(seconds > 0 ? static_cast<double>(rows) / seconds : 0)
         << " rows/s   " << std::flush;
    last_ = now;
    shown_ = true;
  }

  std::ostream& err_;
  bool on_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_;
};

struct KindArgs {
  std::string db;
  const masterdata::Kind* kind = nullptr;
  data::Target target;
};

base::Result<KindArgs> ParseKindArgs(const Args& args) {
  KindArgs out;
  out.db = args.positionals[0];
  PLX_RETURN_IF_ERROR(CheckDatabaseName(out.db));
  out.kind = masterdata::FindKind(args.positionals[1]);
  if (out.kind == nullptr) {
    return base::MakeErr(base::kErrInvalidArgument, "unknown kind '" + args.positionals[1] +
                                                        "'; kinds: " + masterdata::KindNames());
  }
  return out;
}

}  // namespace

int RunImport(Invocation& inv) {
  auto args = ParseArgs(inv.args(), {.positionals = {"DB", "KIND", "FILE"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  auto kind = ParseKindArgs(*args);
  if (!kind.ok()) return inv.UsageError(kind.err().description);
  auto target = company::CompanyTarget(kind->db);
  if (!target.ok()) return inv.Failure(target.err());
  const std::string& file = args->positionals[2];
  std::ifstream opened;
  if (file != "-") {
    opened.open(file, std::ios::binary);
    if (!opened) return inv.Failure("cannot open " + file);
  }
  std::istream& in = file == "-" ? std::cin : opened;
  TerminalProgress progress(inv.err());
  auto rows = masterdata::Import(*target, *kind->kind, in, progress.Callback());
  progress.End();
  if (!rows.ok()) return inv.Failure(rows.err());
  inv.out() << "imported " << *rows << " " << kind->kind->name << " rows into company database "
            << kind->db << "\n";
  return kExitOk;
}

int RunExport(Invocation& inv) {
  auto args = ParseArgs(inv.args(), {.positionals = {"DB", "KIND"}});
  if (!args.ok()) return inv.UsageError(args.err().description);
  auto kind = ParseKindArgs(*args);
  if (!kind.ok()) return inv.UsageError(kind.err().description);
  auto target = company::CompanyTarget(kind->db);
  if (!target.ok()) return inv.Failure(target.err());
  TerminalProgress progress(inv.err());
  auto rows = masterdata::Export(*target, *kind->kind, inv.out(), progress.Callback());
  progress.End();
  if (!rows.ok()) return inv.Failure(rows.err());
  return kExitOk;
}

int RunSchemaDoc(Invocation& inv) {
  auto args = ParseArgs(inv.args(), {});
  if (!args.ok()) return inv.UsageError(args.err().description);
  auto doc = schema::RenderDataModel();
  if (!doc.ok()) return inv.Failure(doc.err());
  inv.out() << *doc;
  return kExitOk;
}

}  // namespace cli
