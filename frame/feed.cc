#include "frame/feed.h"

#include <memory>

#include "company/company_db.h"
#include "data/change_listener.h"
#include "data/connection.h"
#include "data/value_rows.h"

namespace frame::feed {
namespace {

// Bill numbers are stored joined by commas, as the numbering service
// hands out several (no number holds a comma).
std::string Join(const std::vector<std::string>& bills) {
  std::string joined;
  for (const std::string& b : bills) joined += (joined.empty() ? "" : ",") + b;
  return joined;
}

std::vector<std::string> SplitBills(const std::string& joined) {
  std::vector<std::string> bills;
  size_t start = 0;
  while (start < joined.size()) {
    size_t end = joined.find(',', start);
    if (end == std::string::npos) end = joined.size();
    bills.push_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return bills;
}

// The events one transaction appends to one database, kept until its commit.
class Appender : public data::CommitStep {
 public:
  explicit Appender(data::Target target) : target_(std::move(target)) {}

  void Add(Event e) { events_.push_back(std::move(e)); }

  base::Status BeforeCommit(data::Enlistment& tx) override {
    if (events_.empty()) return base::OkStatus();
    data::Connection cnn;
    PLX_RETURN_IF_ERROR(cnn.Open(target_, &tx));
    const int32_t count = static_cast<int32_t>(events_.size());
    // Locks the counter row until the commit that follows.
    PLX_ASSIGN_OR_RETURN(
        base::Rowset rs,
        cnn.Query(data::Sql("UPDATE PX_FeedSeq SET Seq = Seq + :count WHERE ID = 1 RETURNING Seq")
                      .Bind("count", count),
                  {{"Seq", base::FieldType::kInt}}));
    if (rs.RecordCount() != 1) {
      return base::MakeErr(data::kDbGeneralError, "PX_FeedSeq has no counter row");
    }
    PLX_ASSIGN_OR_RETURN(int32_t last, rs.Row(0)[0].AsInt());
    const base::Value now(base::DateTime::Now());
    int32_t seq = last - count;
    std::vector<std::vector<base::Value>> rows;
    for (const Event& e : events_) {
      rows.push_back({++seq, now, e.user, e.kind, Join(e.bills),
                      e.version ? base::Value(*e.version) : base::Value()});
    }
    using base::FieldType;
    PLX_RETURN_IF_ERROR(
        data::ExecuteRows(cnn,
                          {"INSERT INTO PX_Feed (Seq, Time, LoginName, Kind, Bills, Version) ",
                           "",
                           {FieldType::kInt, FieldType::kDate, FieldType::kText, FieldType::kText,
                            FieldType::kText, FieldType::kInt},
                           false},
                          rows));
    if (const char* notify = cnn.dialect().NotifyChange()) {
      PLX_RETURN_IF_ERROR(cnn.Query(data::Sql(notify).Bind("channel", kChannel),
                                    {{"sent", base::FieldType::kInt}}));
    }
    return base::OkStatus();
  }

  void Committed() noexcept override {
    if (!events_.empty()) data::SignalChange(target_, kChannel);
  }

 private:
  data::Target target_;
  std::vector<Event> events_;
};

base::Result<std::optional<int32_t>> VersionOf(data::Connection& cnn,
                                               const std::vector<std::string>& bills) {
  if (bills.size() != 1) return std::optional<int32_t>();
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT Version FROM MF_OutBill WHERE BillID = :id").Bind("id", bills[0]),
                {{"Version", base::FieldType::kInt}}));
  if (rs.RecordCount() == 0) return std::optional<int32_t>();
  PLX_ASSIGN_OR_RETURN(int32_t version, rs.Row(0)[0].AsInt());
  return std::optional<int32_t>(version);
}

}  // namespace

base::Status Record(host::ObjectContext& ctx, const std::string& db, const std::string& kind,
                    const std::vector<std::string>& bills) {
  data::Enlistment* tx = ctx.enlistment();
  if (tx == nullptr) return base::MakeErr(data::kDbGeneralError, "no transaction to record in");
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(company::OpenCompanyDb(db, tx, cnn));
  Event e;
  e.user = ctx.CallerLogin();
  e.kind = kind;
  e.bills = bills;
  PLX_ASSIGN_OR_RETURN(e.version, VersionOf(cnn, bills));
  const std::string key = "feed\n" + cnn.target().Key();
  auto* appender = dynamic_cast<Appender*>(tx->Step(key));
  if (appender == nullptr) {
    auto made = std::make_unique<Appender>(cnn.target());
    appender = made.get();
    tx->AddStep(key, std::move(made));
  }
  appender->Add(std::move(e));
  return base::OkStatus();
}

base::Result<std::vector<Event>> Read(const data::Target& target, int32_t after, int32_t limit) {
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, nullptr));
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT Seq, CAST(Time AS TEXT), LoginName, Kind, Bills, Version "
                          "FROM PX_Feed WHERE Seq > :after ORDER BY Seq LIMIT :limit")
                    .Bind("after", after)
                    .Bind("limit", limit),
                {{"Seq", base::FieldType::kInt},
                 {"Time", base::FieldType::kText},
                 {"LoginName", base::FieldType::kText},
                 {"Kind", base::FieldType::kText},
                 {"Bills", base::FieldType::kText},
                 {"Version", base::FieldType::kInt}}));
  std::vector<Event> events;
  for (const auto& row : rs.rows()) {
    Event e;
    PLX_ASSIGN_OR_RETURN(e.seq, row[0].AsInt());
    e.time = row[1].TextOrEmpty();
    e.user = row[2].TextOrEmpty();
    e.kind = row[3].TextOrEmpty();
    e.bills = SplitBills(row[4].TextOrEmpty());
    if (!row[5].IsNull()) e.version = *row[5].AsInt();
    events.push_back(std::move(e));
  }
  return events;
}

base::Result<std::vector<Event>> ReadOrWait(const data::Target& target, int32_t after,
                                            int32_t limit,
                                            std::chrono::steady_clock::time_point deadline) {
  PLX_ASSIGN_OR_RETURN(std::vector<Event> events, Read(target, after, limit));
  if (!events.empty() || std::chrono::steady_clock::now() >= deadline) return events;
  PLX_ASSIGN_OR_RETURN(std::unique_ptr<data::ChangeListener> listener,
                       data::ChangeListener::Listen(target, kChannel));
  // Read once more while listening: a commit between the first read and
  // Listen would otherwise go unnoticed until the deadline.
  for (;;) {
    PLX_ASSIGN_OR_RETURN(events, Read(target, after, limit));
    if (!events.empty() || !listener->Wait(deadline)) break;
  }
  if (events.empty()) return Read(target, after, limit);
  return events;
}

base::Result<int64_t> Prune(const data::Target& target, const base::DateTime& before) {
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, nullptr));
  return cnn.Execute(data::Sql("DELETE FROM PX_Feed WHERE Time < :before").Bind("before", before));
}

}  // namespace frame::feed
