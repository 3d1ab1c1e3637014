// The host's transactions over real company databases: nested objects share
// one session per database, the root's last vote settles it, and objects
// outside a transaction write on their own.
#include <gtest/gtest.h>

#include <thread>

#include "data/fault_injection.h"
#include "host/conflict_retry.h"
#include "host/object_context.h"
#include "tests/test_company.h"

namespace host {
namespace {

using testing_support::TestCompany;

// A hosted class that writes and reads settings rows through its own
// connection, the way operations do.
class Probe : public Component {
 public:
  using Component::Component;

  base::Status Put(const std::string& db, const std::string& id, const std::string& value) {
    data::Connection cnn;
    PLX_RETURN_IF_ERROR(Open(db, cnn));
    return cnn.Execute(data::Sql("INSERT INTO SM_Config (ID, Value) VALUES (:id, :v)")
                           .Bind("id", id)
                           .Bind("v", value))
                   .ok()
               ? base::OkStatus()
               : base::MakeErr(1, "insert failed");
  }

  std::string Get(const std::string& db, const std::string& id) {
    data::Connection cnn;
    if (!Open(db, cnn).ok()) return "<open failed>";
    auto rs = cnn.Query(data::Sql("SELECT Value FROM SM_Config WHERE ID = :id").Bind("id", id),
                        {{"Value", base::FieldType::kText}});
    if (!rs.ok()) return "<query failed>";
    return rs->RecordCount() == 0 ? "<none>" : rs->Row(0)[0].TextOrEmpty();
  }

 private:
  base::Status Open(const std::string& db, data::Connection& cnn) {
    PLX_ASSIGN_OR_RETURN(data::Target target, testing_support::CompanyTargetOf(db));
    return cnn.Open(target, GetObjectContext().enlistment());
  }
};

class TransactionTest : public ::testing::Test {
 protected:
  TransactionTest() {
    auto factory = [](ObjectContext& ctx) { return std::make_unique<Probe>(ctx); };
    company_.classes().Register({"Test.Root", TransactionAttribute::kRequires, factory});
    company_.classes().Register({"Test.Child", TransactionAttribute::kSupports, factory});
    company_.classes().Register({"Test.Loner", TransactionAttribute::kNone, factory});
  }

  Instance Create(const std::string& progid) {
    auto created = Host(company_.classes()).CreateObject(progid, "alice");
    EXPECT_TRUE(created.ok());
    return std::move(created).value();
  }

  std::string Stored(const std::string& id) {
    return company_.Text("SELECT Value FROM SM_Config WHERE ID = '" + id + "'");
  }

  TestCompany company_;
};

TEST_F(TransactionTest, NestedWriteIsSeenBeforeCommitAndGoneAfterAbort) {
  Instance root = Create("Test.Root");
  ObjectContext& ctx = *root.context();
  ASSERT_TRUE(ctx.IsInTransaction());
  Instance writer = ctx.CreateInstance("Test.Child").value();
  Instance reader = ctx.CreateInstance("Test.Child").value();
  ASSERT_TRUE(writer.context()->IsInTransaction());
  ASSERT_TRUE(writer.As<Probe>()->Put(company_.name(), "K", "nested").ok());
  EXPECT_EQ(reader.As<Probe>()->Get(company_.name(), "K"), "nested");
  // Nobody outside the transaction sees it yet.
  EXPECT_EQ(Stored("K"), "<none>");
  writer.context()->SetComplete();  // a nested vote does not decide
  ctx.SetAbort();
  ASSERT_TRUE(writer.Release().ok());
  ASSERT_TRUE(reader.Release().ok());
  ASSERT_TRUE(root.Release().ok());
  EXPECT_EQ(Stored("K"), "<none>");
}

TEST_F(TransactionTest, RootCommitKeepsNestedWrites) {
  Instance root = Create("Test.Root");
  Instance child = root.context()->CreateInstance("Test.Child").value();
  ASSERT_TRUE(child.As<Probe>()->Put(company_.name(), "K", "kept").ok());
  ASSERT_TRUE(root.As<Probe>()->Put(company_.name(), "L", "root").ok());
  child.context()->SetAbort();  // overruled: only the root's last vote counts
  root.context()->SetAbort();
  root.context()->SetComplete();
  ASSERT_TRUE(child.Release().ok());
  ASSERT_TRUE(root.Release().ok());
  EXPECT_EQ(Stored("K"), "kept");
  EXPECT_EQ(Stored("L"), "root");
}

TEST_F(TransactionTest, NoVoteRollsBack) {
  {
    Instance root = Create("Test.Root");
    ASSERT_TRUE(root.As<Probe>()->Put(company_.name(), "K", "lost").ok());
  }
  EXPECT_EQ(Stored("K"), "<none>");
}

TEST_F(TransactionTest, WriteOutsideATransactionIsItsOwn) {
  Instance reader = Create("Test.Child");
  ASSERT_FALSE(reader.context()->IsInTransaction());
  ASSERT_TRUE(reader.As<Probe>()->Put(company_.name(), "K", "own").ok());
  // Visible at once, while the object still lives and without any vote.
  EXPECT_EQ(Stored("K"), "own");
  reader.context()->SetAbort();
  ASSERT_TRUE(reader.Release().ok());
  EXPECT_EQ(Stored("K"), "own");
}

TEST_F(TransactionTest, PlainCreationLeavesTheCallersTransaction) {
  Instance root = Create("Test.Root");
  Instance outside = root.context()->CreateObject("Test.Child").value();
  Instance never = root.context()->CreateInstance("Test.Loner").value();
  EXPECT_FALSE(outside.context()->IsInTransaction());
  EXPECT_FALSE(never.context()->IsInTransaction());
  ASSERT_TRUE(outside.As<Probe>()->Put(company_.name(), "K", "outside").ok());
  root.context()->SetAbort();
  ASSERT_TRUE(root.Release().ok());
  EXPECT_EQ(Stored("K"), "outside");
}

TEST_F(TransactionTest, RequiresClassCreatedInsideJoinsAndOutsideStartsItsOwn) {
  Instance root = Create("Test.Root");
  Instance joined = root.context()->CreateInstance("Test.Root").value();
  EXPECT_FALSE(joined.context()->IsTransactionRoot());
  Instance own = root.context()->CreateObject("Test.Root").value();
  EXPECT_TRUE(own.context()->IsTransactionRoot());
  ASSERT_TRUE(own.As<Probe>()->Put(company_.name(), "K", "own root").ok());
  own.context()->SetComplete();
  ASSERT_TRUE(own.Release().ok());
  root.context()->SetAbort();
  EXPECT_EQ(Stored("K"), "own root");
}

TEST_F(TransactionTest, CallerIdentityReachesNestedObjects) {
  Instance root = Create("Test.Root");
  Instance child = root.context()->CreateInstance("Test.Child").value();
  EXPECT_EQ(child.context()->CallerLogin(), "alice");
}

TEST_F(TransactionTest, UnknownProgIdIsRefused) {
  auto created = Host(company_.classes()).CreateObject("Test.Nobody", "alice");
  ASSERT_FALSE(created.ok());
  EXPECT_EQ(created.err().number, base::kErrObjectCreation);
}

TEST_F(TransactionTest, ObjectIsOnlyReachableOnItsOwnThread) {
  Instance root = Create("Test.Root");
  Probe* elsewhere = reinterpret_cast<Probe*>(1);
  std::thread([&] { elsewhere = root.As<Probe>(); }).join();
  EXPECT_EQ(elsewhere, nullptr);
  EXPECT_NE(root.As<Probe>(), nullptr);
}

TEST_F(TransactionTest, CurrencyIsExactInStorageAndArithmetic) {
  company_.Exec("INSERT INTO ST_ShelfBal (ShelfID, ArtID, SerialNo, Qty) VALUES ('S1', 1, '', 0)");
  const base::Currency tenth = base::Currency::Parse("0.1").value();
  for (int i = 0; i < 3; ++i) {
    company_.Exec("UPDATE ST_ShelfBal SET Qty = Qty + :q WHERE ShelfID = 'S1'", {{"q", tenth}});
  }
  base::Rowset equal =
      company_.Query("SELECT COUNT(*) FROM ST_ShelfBal WHERE Qty = :q",
                     {{"n", base::FieldType::kInt}}, {{"q", base::Currency::Parse("0.3").value()}});
  EXPECT_EQ(equal.Row(0)[0], base::Value(1));
  base::Rowset read =
      company_.Query("SELECT Qty FROM ST_ShelfBal", {{"Qty", base::FieldType::kCurrency}});
  EXPECT_EQ(read.Row(0)[0].AsCurrency()->ToString(), "0.3000");

  base::Currency third = base::Currency::FromInt(1)
                             .MulDiv(base::Currency::FromInt(1), base::Currency::FromInt(3))
                             .value();
  company_.Exec("UPDATE ST_ShelfBal SET Qty = :q", {{"q", third}});
  read = company_.Query("SELECT Qty FROM ST_ShelfBal", {{"Qty", base::FieldType::kCurrency}});
  EXPECT_EQ(read.Row(0)[0].AsCurrency()->ToString(), "0.3333");

  // The largest magnitudes survive the round trip unchanged.
  base::Currency big = base::Currency::Parse("-922337203685477.5807").value();
  company_.Exec("UPDATE ST_ShelfBal SET Qty = :q", {{"q", big}});
  read = company_.Query("SELECT Qty FROM ST_ShelfBal", {{"Qty", base::FieldType::kCurrency}});
  EXPECT_EQ(*read.Row(0)[0].AsCurrency(), big);
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
  struct Case {
    DbFailure failure;
    int32_t number;     // of a failed statement or opening
    Attempt statement;  // after a failed statement or opening
    Attempt commit;     // after a failed commit
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
  for (const Case& c : cases) {
    for (FaultPoint point : {FaultPoint::kOpen, FaultPoint::kStatement, FaultPoint::kCommit}) {
      SCOPED_TRACE(testing::Message() << "failure " << static_cast<int>(c.failure) << " point "
                                      << static_cast<int>(point));
      Instance root = Create("Test.Root");
      base::Status released;
      {
        data::ScopedFault fault({point, 1, 1, c.failure});
        data::Connection cnn;
        base::Status opened = cnn.Open(company_.target(), root.context()->enlistment());
        base::Status ran = opened;
        if (opened.ok()) {
          auto changed =
              cnn.Execute(data::Sql("INSERT INTO SM_Config (ID, Value) VALUES ('K', 'v')"));
          if (!changed.ok()) ran = changed.err();
        }
        root.context()->SetComplete();
        released = root.Release();
        EXPECT_EQ(fault.injected(), 1);
        const base::Status& failed = point == FaultPoint::kCommit ? released : ran;
        ASSERT_FALSE(failed.ok());
        if (point == FaultPoint::kCommit) {
          EXPECT_EQ(failed.err().number, kErrTransactionAborted);
          EXPECT_EQ(failed.err().description,
                    "The transaction could not be committed: injected failure");
        } else {
          EXPECT_EQ(failed.err().number, c.number);
          EXPECT_EQ(failed.err().description, "injected failure");
          EXPECT_TRUE(released.ok());
        }
      }
      EXPECT_EQ(AttemptOf(root), point == FaultPoint::kCommit ? c.commit : c.statement);
      EXPECT_EQ(Stored("K"), "<none>");
    }
  }
}

}  // namespace
}  // namespace host
