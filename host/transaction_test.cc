// The host's transactions over real company databases: nested objects share
// one session per database, the root's last vote settles it, and objects
// outside a transaction write on their own.
#include <gtest/gtest.h>

#include <thread>

#include "data/fault_injection.h"
#include "host/conflict_retry.h"
#include "host/object_context.h"
#include "tests/probe_object.h"
#include "tests/test_company.h"

namespace host {
namespace {

using testing_support::kProbeInTx;   // a class that requires a transaction
using testing_support::kProbeNever;  // one that never takes part
using testing_support::kProbeNoTx;   // one that takes part in its creator's

class TransactionTest : public ::testing::Test {
 protected:
  TransactionTest() { testing_support::RegisterProbes(company_.classes()); }

  Instance Create(const std::string& progid) {
    auto created = Host(company_.classes()).CreateObject(progid, "alice");
    EXPECT_TRUE(created.ok());
    return std::move(created).value();
  }

  // Writes and reads on a connection opened in `obj`'s context, the way
  // operations do.
  base::Status Put(Instance& obj, const std::string& id, const std::string& value) {
    data::Connection cnn;
    PLX_RETURN_IF_ERROR(cnn.Open(company_.target(), obj.context()->enlistment()));
    auto changed = cnn.Execute(data::Sql("INSERT INTO SM_Config (ID, Value) VALUES (:id, :v)")
                                   .Bind("id", id)
                                   .Bind("v", value));
    return changed.ok() ? base::OkStatus() : base::Status(changed.err());
  }
  std::string Get(Instance& obj, const std::string& id) {
    data::Connection cnn;
    EXPECT_TRUE(cnn.Open(company_.target(), obj.context()->enlistment()).ok());
    auto rs = cnn.Query(data::Sql("SELECT Value FROM SM_Config WHERE ID = :id").Bind("id", id),
                        {{"Value", base::FieldType::kText}});
    return rs.ok() && rs->RecordCount() == 1 ? rs->Row(0)[0].TextOrEmpty() : "<none>";
  }
  // Votes in turn: C complete, A abort.
  static void Vote(Instance& obj, const char* votes) {
    for (; *votes != '\0'; ++votes)
      *votes == 'C' ? obj.context()->SetComplete() : obj.context()->SetAbort();
  }
  // What a connection outside every transaction reads.
  std::string Stored(const std::string& id) {
    return company_.Text("SELECT Value FROM SM_Config WHERE ID = '" + id + "'");
  }

  testing_support::TestCompany company_;
};

// A root and a nested object write; a second nested object sees both
// writes, nobody outside does; the votes settle what is kept.
TEST_F(TransactionTest, NestedWritesShareTheRootsTransactionAndItsLastVote) {
  const struct {
    const char *root_votes, *child_votes;
    bool kept;
  } cases[] = {{"", "", false}, {"A", "C", false}, {"AC", "A", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.root_votes) + "/" + c.child_votes);
    company_.Exec("DELETE FROM SM_Config WHERE ID IN ('K', 'L')");
    {
      Instance root = Create(kProbeInTx);
      Instance child = root.context()->CreateInstance(kProbeNoTx).value();
      Instance reader = root.context()->CreateInstance(kProbeNoTx).value();
      ASSERT_TRUE(child.context()->IsInTransaction());
      EXPECT_EQ(child.context()->CallerLogin(), "alice");
      ASSERT_TRUE(Put(child, "K", "nested").ok());
      ASSERT_TRUE(Put(root, "L", "root").ok());
      EXPECT_EQ(Get(reader, "K") + Get(reader, "L"), "nestedroot");
      EXPECT_EQ(Stored("K") + Stored("L"), "<none><none>");
      Vote(child, c.child_votes);
      Vote(root, c.root_votes);
      // Without a vote the objects are dropped unreleased.
      if (*c.root_votes != '\0') {
        ASSERT_TRUE(child.Release().ok() && reader.Release().ok() && root.Release().ok());
      }
    }
    EXPECT_EQ(Stored("K") + Stored("L"), c.kept ? "nestedroot" : "<none><none>");
  }
}

// Objects created beside an aborting root: whether they are in a
// transaction and its root, whether their write is seen at once, and
// whether it is kept after their vote and the root's abort.
TEST_F(TransactionTest, ObjectsOutsideTheRootsTransactionKeepTheirWrites) {
  enum How { kOwn, kPlain, kInside };  // created by the host, or by the root
  const struct {
    const char* what;
    How how;
    const char* progid;
    bool in_tx, own_root, seen_at_once, abort_vote, kept;
  } cases[] = {
      {"on its own, no transaction", kOwn, kProbeNoTx, false, false, true, true, true},
      {"plainly: out of the transaction", kPlain, kProbeNoTx, false, false, true, false, true},
      {"a class that never takes part", kInside, kProbeNever, false, false, true, true, true},
      {"requiring, plainly: its own", kPlain, kProbeInTx, true, true, false, false, true},
      {"requiring, inside: joins", kInside, kProbeInTx, true, false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    company_.Exec("DELETE FROM SM_Config WHERE ID = 'K'");
    Instance root = Create(kProbeInTx);
    Instance obj = c.how == kOwn     ? Create(c.progid)
                   : c.how == kPlain ? root.context()->CreateObject(c.progid).value()
                                     : root.context()->CreateInstance(c.progid).value();
    EXPECT_EQ(obj.context()->IsInTransaction(), c.in_tx);
    EXPECT_EQ(obj.context()->IsTransactionRoot(), c.own_root);
    ASSERT_TRUE(Put(obj, "K", "v").ok());
    EXPECT_EQ(Stored("K"), c.seen_at_once ? "v" : "<none>");
    Vote(obj, c.abort_vote ? "A" : "C");
    ASSERT_TRUE(obj.Release().ok());
    root.context()->SetAbort();
    ASSERT_TRUE(root.Release().ok());
    EXPECT_EQ(Stored("K"), c.kept ? "v" : "<none>");
  }
}

TEST_F(TransactionTest, UnknownClassesAndOtherThreadsAreRefused) {
  auto created = Host(company_.classes()).CreateObject("Test.Nobody", "alice");
  ASSERT_FALSE(created.ok());
  EXPECT_EQ(created.err().number, base::kErrObjectCreation);
  Instance root = Create(kProbeInTx);
  auto* elsewhere = reinterpret_cast<testing_support::ProbeObject*>(1);
  std::thread([&] { elsewhere = root.As<testing_support::ProbeObject>(); }).join();
  EXPECT_EQ(elsewhere, nullptr);
  EXPECT_NE(root.As<testing_support::ProbeObject>(), nullptr);
}

// A failure of a statement, of the opening of a connection or of the commit
// carries its class's number, rolls everything back, and tells the host
// whether the call lost a race (and may run again) or failed for good.
TEST_F(TransactionTest, InjectedFailuresRollBackAndAreClassedAsRacesOrNot) {
  using data::DbFailure;
  using data::FaultPoint;
  const bool pg = testing_support::UsingPostgres();
  const Attempt lost = Attempt::kConflicted;
  const Attempt done = Attempt::kDone;
  // The number of a failed statement or opening, and how the call ended
  // after a failed statement or opening and after a failed commit.
  const struct {
    DbFailure failure;
    int32_t number;
    Attempt statement, commit;
  } cases[] = {
      {DbFailure::kConstraint, data::kDbIntegrityViolation, done, done},
      {DbFailure::kKeyTaken, data::kDbIntegrityViolation, pg ? Attempt::kKeyTaken : done, done},
      {DbFailure::kSerialization, data::kDbTransactionConflict, lost, lost},
      {DbFailure::kDeadlock, data::kDbTransactionConflict, lost, lost},
      {DbFailure::kLockNotAvailable, pg ? data::kDbGeneralError : data::kDbTransactionConflict,
       lost, lost},
      {DbFailure::kInvalidStatement, data::kDbInvalidStatement, done, done},
      {DbFailure::kNoPrivilege, data::kDbNoPrivilege, done, done},
      {DbFailure::kConnectionLost, data::kDbGeneralError, done, done},
  };
  for (const auto& c : cases) {
    for (FaultPoint point : {FaultPoint::kOpen, FaultPoint::kStatement, FaultPoint::kCommit}) {
      SCOPED_TRACE(testing::Message() << "failure " << int(c.failure) << " at " << int(point));
      Instance root = Create(kProbeInTx);
      base::Status released;
      {
        data::ScopedFault fault({point, 1, 1, c.failure});
        const base::Status ran = Put(root, "K", "v");
        root.context()->SetComplete();
        released = root.Release();
        EXPECT_EQ(fault.injected(), 1);
        const bool at_commit = point == FaultPoint::kCommit;
        const base::Status& failed = at_commit ? released : ran;
        ASSERT_FALSE(failed.ok());
        EXPECT_EQ(failed.err().number, at_commit ? kErrTransactionAborted : c.number);
        EXPECT_EQ(failed.err().description,
                  at_commit ? "The transaction could not be committed: injected failure"
                            : "injected failure");
        EXPECT_TRUE(at_commit || released.ok());
      }
      EXPECT_EQ(AttemptOf(root), point == FaultPoint::kCommit ? c.commit : c.statement);
      EXPECT_EQ(Stored("K"), "<none>");
    }
  }
}

}  // namespace
}  // namespace host
