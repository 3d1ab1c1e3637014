#include "schema/migrations.h"

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "schema/column_sizes.h"

namespace schema {
namespace {

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
  for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) {
    s.replace(p, from.size(), to);
  }
}

// Keeps a statement built at start-up for the life of the process.
const char* Keep(std::string statement) {
  static auto* kept = new std::deque<std::string>();
  kept->push_back(std::move(statement));
  return kept->back().c_str();
}

// The condition that `id` counts as a number in use for its prefix of
// `length` characters: numeric and above the prefix's all-zero counter.
std::string CountsFor(data::Backend backend, const std::string& id, int length) {
  const std::string zeros(length == 8 ? 4 : 6, '0');
  return data::Dialect(backend).IsNumeric(id) + " AND " + id + " > substr(" + id + ", 1, " +
         std::to_string(length) + ") || '" + zeros + "'";
}

// Counts the numbers already in use, per prefix of `length` characters.
const char* Backfill(data::Backend backend, int length) {
  const std::string prefix = "substr(BillID, 1, " + std::to_string(length) + ")";
  return Keep("INSERT INTO MF_BillIDCount (Prefix, Used, Odd) SELECT " + prefix +
              ", COUNT(*), SUM(CASE WHEN length(BillID) <> 12 THEN 1 ELSE 0 END) "
              "FROM MF_OutBill WHERE " +
              CountsFor(backend, "BillID", length) + " GROUP BY " + prefix);
}

// A SQLite trigger that takes the number of row OLD out of the counts and
// adds the number of row NEW, for both prefix lengths.
const char* SqliteCountTrigger(const char* name, const char* event,
                               std::initializer_list<const char*> rows) {
  std::string body;
  for (const std::string row : rows) {
    const bool add = row == "NEW";
    const std::string id = row + ".BillID";
    for (int length : {8, 6}) {
      const std::string counts = CountsFor(data::Backend::kSqlite, id, length);
      const std::string prefix = "substr(" + id + ", 1, " + std::to_string(length) + ")";
      if (add) {
        body += "INSERT OR IGNORE INTO MF_BillIDCount (Prefix, Used) SELECT " + prefix +
                ", 0 WHERE " + counts + "; ";
      }
      const char* sign = add ? " + " : " - ";
      body += std::string("UPDATE MF_BillIDCount SET Used = Used") + sign + "1, Odd = Odd" + sign +
              "(length(" + id + ") <> 12) WHERE Prefix = " + prefix + " AND " + counts + "; ";
    }
  }
  return Keep(std::string("CREATE TRIGGER MF_OutBill_CountIDs_") + name + " " + event +
              " ON MF_OutBill BEGIN " + body + "END");
}

// The bounded text columns of a bill table with their sizes
// (schema/column_sizes.h), from which both backends' checks are built.
struct SizedColumn {
  const char* name;
  size_t size;
};
struct SizedTable {
  const char* name;
  std::vector<SizedColumn> columns;
};

const SizedTable kBillSizes = {"MF_OutBill",
                               {{"OrdBill", kOrdBillSize},
                                {"OrdSortID", kOrdSortIdSize},
                                {"OpCateID", kCodeSize},
                                {"DeptID", kCodeSize},
                                {"ProjID", kCodeSize},
                                {"ItemID", kCodeSize},
                                {"Notes", kNotesSize},
                                {"Operator", kPersonSize},
                                {"Maker", kPersonSize},
                                {"Execer", kPersonSize}}};
const SizedTable kLineSizes = {"MF_OutDetail",
                               {{"SortID", kSortIdSize},
                                {"MeasID", kMeasIdSize},
                                {"ShelfID", kShelfIdSize},
                                {"SerialNo", kSerialNoSize},
                                {"Memo", kMemoSize}}};

// PostgreSQL: one named CHECK per column, for new and changed rows only;
// it may run again on a database that has it already.
const char* PostgresSizeChecks(const SizedTable& t) {
  std::string s = std::string("ALTER TABLE ") + t.name + " ";
  for (const SizedColumn& c : t.columns) {
    const std::string constraint = std::string(t.name) + "_" + c.name + "_size";
    if (&c != &t.columns.front()) s += ", ";
    s += "DROP CONSTRAINT IF EXISTS " + constraint + ", ADD CONSTRAINT " + constraint +
         " CHECK (char_length(" + c.name + ") <= " + std::to_string(c.size) + ") NOT VALID";
  }
  return Keep(s);
}

// SQLite: a trigger that refuses a row whose text is longer than its
// column's size, before an INSERT or an UPDATE (`event`, "Insert" or
// "Update") writes it.
const char* SqliteSizeTrigger(const SizedTable& t, const std::string& event) {
  std::string upper = event;
  for (char& ch : upper) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
  std::string s = std::string("CREATE TRIGGER IF NOT EXISTS ") + t.name + "_Sizes_" + event +
                  " BEFORE " + upper + " ON " + t.name + " BEGIN ";
  for (const SizedColumn& c : t.columns) {
    const std::string size = std::to_string(c.size);
    s += std::string("SELECT RAISE(ABORT, '") + t.name + "." + c.name + " is longer than " + size +
         " characters') WHERE length(NEW." + c.name + ") > " + size + "; ";
  }
  return Keep(s + "END");
}

const std::vector<Migration> kMigrations = {
    {1,
     "issue bills, production orders, master data, use log, users, settings and periods",
     {
         // Issue bill headers and lines.
         "CREATE TABLE MF_OutBill (BillID TEXT NOT NULL PRIMARY KEY, Date {DATE}, OrdBill TEXT, "
         "OrdSortID TEXT, OpCateID TEXT, DeptID TEXT, ProjID TEXT, ItemID TEXT, Notes TEXT, "
         "Operator TEXT, Maker TEXT, ExeDate {DATE}, Execer TEXT, "
         "Version INTEGER NOT NULL DEFAULT 0)",
         "CREATE INDEX MF_OutBill_Order ON MF_OutBill (OrdBill, OrdSortID)",
         "CREATE INDEX MF_OutBill_Date ON MF_OutBill (Date)",
         "CREATE INDEX MF_OutBill_ExeDate ON MF_OutBill (ExeDate)",
         "CREATE TABLE MF_OutDetail (BillID TEXT NOT NULL, SortID TEXT NOT NULL, ArtID INTEGER, "
         "MeasID TEXT, ShelfID TEXT, SerialNo TEXT, ValidDate {DATE}, Qty {CUR}, StQty {CUR}, "
         "Memo TEXT, OrdBomID INTEGER NOT NULL DEFAULT 0, Price {CUR} DEFAULT 0, "
         "Amt {CUR} DEFAULT 0, UnQty {CUR} NOT NULL DEFAULT 0, PRIMARY KEY (BillID, SortID))",
         // Production orders: headers, lines and bill of materials.
         "CREATE TABLE MF_Order (BillID TEXT NOT NULL PRIMARY KEY, Date {DATE}, ShopID TEXT, "
         "DeptID TEXT)",
         "CREATE INDEX MF_Order_Shop ON MF_Order (ShopID)",
         "CREATE TABLE MF_OrdDetail (BillID TEXT NOT NULL, SortID TEXT NOT NULL, ArtID INTEGER, "
         "Qty {CUR}, BegFlag INTEGER NOT NULL DEFAULT 0, FbegDate {DATE}, DeptID TEXT, "
         "PRIMARY KEY (BillID, SortID))",
         "CREATE TABLE MF_OrdBom (ID {ID}, BillID TEXT NOT NULL, SortID TEXT NOT NULL DEFAULT '', "
         "ArtID INTEGER NOT NULL, SerialNo TEXT NOT NULL DEFAULT '', UseDate {DATE}, "
         "OutQty {CUR} NOT NULL DEFAULT 0, Qty {CUR} NOT NULL DEFAULT 0, "
         "NetQty {CUR} NOT NULL DEFAULT 0, AddQty {CUR} NOT NULL DEFAULT 0)",
         "CREATE INDEX MF_OrdBom_Line ON MF_OrdBom (BillID, SortID, ArtID)",
         // Return bill lines, read to guard reversals.
         "CREATE TABLE MF_InDetail (BillID TEXT NOT NULL, SortID TEXT NOT NULL DEFAULT '', "
         "OutBillID TEXT)",
         "CREATE INDEX MF_InDetail_Bill ON MF_InDetail (BillID)",
         "CREATE INDEX MF_InDetail_OutBill ON MF_InDetail (OutBillID)",
         // Articles, their stock settings and units.
         "CREATE TABLE FD_Article (ID INTEGER NOT NULL PRIMARY KEY, ArtCode TEXT, Name TEXT, "
         "Serial INTEGER NOT NULL DEFAULT 0, NonStandard INTEGER NOT NULL DEFAULT 0, "
         "MeasID TEXT, ShelfID TEXT)",
         "CREATE INDEX FD_Article_Code ON FD_Article (ArtCode)",
         "CREATE TABLE FD_ArtStore (ID INTEGER NOT NULL PRIMARY KEY, "
         "KeepDay INTEGER NOT NULL DEFAULT 0)",
         "CREATE TABLE FD_ArtMeas (ID INTEGER NOT NULL, MeasID TEXT NOT NULL, "
         "Num {CUR} NOT NULL DEFAULT 1, Den {CUR} NOT NULL DEFAULT 1, PRIMARY KEY (ID, MeasID))",
         // Look-up tables.
         "CREATE TABLE FD_OpCate (ID TEXT NOT NULL PRIMARY KEY, Name TEXT)",
         "CREATE TABLE FD_Project (ID TEXT NOT NULL PRIMARY KEY, Name TEXT)",
         "CREATE TABLE FD_Item (ID TEXT NOT NULL PRIMARY KEY, Name TEXT)",
         // Stock shelves and balances.
         "CREATE TABLE ST_Shelf (ID TEXT NOT NULL PRIMARY KEY, Name TEXT, DepotID TEXT)",
         "CREATE TABLE ST_ShelfBal (ShelfID TEXT NOT NULL, ArtID INTEGER NOT NULL, "
         "SerialNo TEXT NOT NULL DEFAULT '', Qty {CUR} NOT NULL DEFAULT 0, "
         "PRIMARY KEY (ShelfID, ArtID, SerialNo))",
         // System settings and the use log.
         "CREATE TABLE SM_Config (ID TEXT NOT NULL PRIMARY KEY, Value TEXT)",
         "CREATE TABLE SM_UseLog (ID {ID}, UserName TEXT, Date {DATETIME}, Component TEXT, "
         "LogDesc TEXT)",
         // Users, their rights and sign-in tokens; current period per module.
         "CREATE TABLE SM_User (LoginName TEXT NOT NULL PRIMARY KEY, UserName TEXT NOT NULL, "
         "InnerID INTEGER NOT NULL DEFAULT 0, Lang TEXT NOT NULL DEFAULT '')",
         "CREATE TABLE SM_UserRight (LoginName TEXT NOT NULL, RightCode TEXT NOT NULL, "
         "PRIMARY KEY (LoginName, RightCode))",
         "CREATE TABLE SM_UserToken (TokenHash TEXT NOT NULL PRIMARY KEY, "
         "LoginName TEXT NOT NULL, Created {DATETIME})",
         "CREATE INDEX SM_UserToken_Login ON SM_UserToken (LoginName)",
         "CREATE TABLE SM_Period (Module TEXT NOT NULL PRIMARY KEY, Period TEXT NOT NULL)",
     }},
    {2,
     "stock movements recorded by the stock posting service",
     {
         // One row per line and direction (-1 out of stock, +1 back in).
         "CREATE TABLE ST_StockMove (ID {ID}, Module TEXT NOT NULL, BillID TEXT NOT NULL, "
         "SortID TEXT NOT NULL, ShelfID TEXT NOT NULL, ArtID INTEGER NOT NULL, "
         "SerialNo TEXT NOT NULL DEFAULT '', Qty {CUR} NOT NULL, MoveDate {DATE} NOT NULL, "
         "Direction INTEGER NOT NULL, Recorded {DATETIME})",
         "CREATE INDEX ST_StockMove_Bill ON ST_StockMove (BillID)",
         "CREATE INDEX ST_StockMove_Balance ON ST_StockMove (ShelfID, ArtID, SerialNo)",
     }},
    {3,
     "operators, workshops, depots and the users' stock rights per depot",
     {
         // People who draw material, chosen on the bill-entry screen.
         "CREATE TABLE FD_Operator (ID TEXT NOT NULL PRIMARY KEY, Name TEXT, DeptID TEXT)",
         // Workshops (MF_Order.ShopID).
         "CREATE TABLE FD_Shop (ID TEXT NOT NULL PRIMARY KEY, Name TEXT)",
         // Depots group the shelves (ST_Shelf.DepotID).
         "CREATE TABLE ST_Depot (ID TEXT NOT NULL PRIMARY KEY, Name TEXT)",
         "CREATE INDEX ST_Shelf_Depot ON ST_Shelf (DepotID)",
         // One row per login, depot and granted direction (1 stock-in, 2 stock-out).
         "CREATE TABLE ST_DepotRight (LoginName TEXT NOT NULL, DepotID TEXT NOT NULL, "
         "Direction INTEGER NOT NULL, PRIMARY KEY (LoginName, DepotID, Direction))",
     }},
    {4,
     "text columns compared byte by byte on PostgreSQL, whatever the server's collation",
     {},
     {
         // Every text column of the tables above that still follows the
         // database's default collation takes the byte-order collation "C",
         // which is SQLite's BINARY. Their indexes are rebuilt with it.
         "DO $$ DECLARE c record; BEGIN "
         "FOR c IN SELECT table_name, column_name FROM information_schema.columns "
         "WHERE table_schema = current_schema() AND data_type = 'text' "
         "AND collation_name IS DISTINCT FROM 'C' AND table_name IN ("
         "'mf_outbill', 'mf_outdetail', 'mf_order', 'mf_orddetail', 'mf_ordbom', "
         "'mf_indetail', 'fd_article', 'fd_artstore', 'fd_artmeas', 'fd_opcate', "
         "'fd_project', 'fd_item', 'st_shelf', 'st_shelfbal', 'sm_config', 'sm_uselog', "
         "'sm_user', 'sm_userright', 'sm_usertoken', 'sm_period', 'st_stockmove', "
         "'fd_operator', 'fd_shop', 'st_depot', 'st_depotright') "
         "ORDER BY table_name, ordinal_position LOOP "
         "EXECUTE format('ALTER TABLE %I ALTER COLUMN %I TYPE TEXT COLLATE \"C\"', "
         "c.table_name, c.column_name); "
         "END LOOP; END $$",
     }},
    {5,
     "count of bill numbers in use per period, kept by the database",
     {
         // Per period prefix (yyyymmdd of daily numbering, yyyymm of monthly
         // numbering): how many numbers of MF_OutBill count as in use there,
         // i.e. the numeric BillIDs that start with the prefix and lie above
         // its all-zero counter (Used), and how many of those are not 12
         // characters long (Odd). Triggers keep it whoever writes the table.
         "CREATE TABLE MF_BillIDCount (Prefix {TEXT} NOT NULL PRIMARY KEY, "
         "Used INTEGER NOT NULL DEFAULT 0, Odd INTEGER NOT NULL DEFAULT 0)",
     },
     {
         Backfill(data::Backend::kPostgres, 8),
         Backfill(data::Backend::kPostgres, 6),
         "CREATE FUNCTION MF_BillIDCount_Add(id TEXT, delta INTEGER) RETURNS void "
         "LANGUAGE plpgsql AS $$ BEGIN "
         "IF id IS NULL OR id !~ '^[0-9]+$' THEN RETURN; END IF; "
         "IF id COLLATE \"C\" > (substr(id, 1, 8) || '0000') COLLATE \"C\" THEN "
         "INSERT INTO MF_BillIDCount AS c (Prefix, Used, Odd) VALUES (substr(id, 1, 8), delta, "
         "CASE WHEN length(id) <> 12 THEN delta ELSE 0 END) ON CONFLICT (Prefix) DO UPDATE SET "
         "Used = c.Used + EXCLUDED.Used, "
         "Odd = c.Odd + EXCLUDED.Odd; "
         "END IF; "
         "IF id COLLATE \"C\" > (substr(id, 1, 6) || '000000') COLLATE \"C\" THEN "
         "INSERT INTO MF_BillIDCount AS c (Prefix, Used, Odd) VALUES (substr(id, 1, 6), delta, "
         "CASE WHEN length(id) <> 12 THEN delta ELSE 0 END) ON CONFLICT (Prefix) DO UPDATE SET "
         "Used = c.Used + EXCLUDED.Used, "
         "Odd = c.Odd + EXCLUDED.Odd; "
         "END IF; "
         "END $$",
         "CREATE FUNCTION MF_OutBill_CountIDs() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
         "IF TG_OP IN ('DELETE', 'UPDATE') THEN PERFORM MF_BillIDCount_Add(OLD.BillID, -1); "
         "END IF; "
         "IF TG_OP IN ('INSERT', 'UPDATE') THEN PERFORM MF_BillIDCount_Add(NEW.BillID, 1); "
         "END IF; "
         "RETURN NULL; END $$",
         "CREATE FUNCTION MF_OutBill_ForgetIDs() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
         "DELETE FROM MF_BillIDCount; RETURN NULL; END $$",
         "CREATE TRIGGER MF_OutBill_CountIDs AFTER INSERT OR DELETE OR UPDATE OF BillID "
         "ON MF_OutBill FOR EACH ROW EXECUTE FUNCTION MF_OutBill_CountIDs()",
         "CREATE TRIGGER MF_OutBill_ForgetIDs AFTER TRUNCATE ON MF_OutBill "
         "FOR EACH STATEMENT EXECUTE FUNCTION MF_OutBill_ForgetIDs()",
     },
     {
         Backfill(data::Backend::kSqlite, 8),
         Backfill(data::Backend::kSqlite, 6),
         SqliteCountTrigger("Insert", "AFTER INSERT", {"NEW"}),
         SqliteCountTrigger("Delete", "AFTER DELETE", {"OLD"}),
         SqliteCountTrigger("Update", "AFTER UPDATE OF BillID", {"OLD", "NEW"}),
     }},
    {6,
     "texts of the bill tables bounded by the sizes of their columns (schema/column_sizes.h); "
     "answers of writer calls kept by their idempotency key; sign-in tokens that expire",
     {
         "CREATE TABLE IF NOT EXISTS PX_IdempotencyKey (LoginName {TEXT} NOT NULL, KeyText {TEXT} "
         "NOT NULL, "
         "RequestHash {TEXT} NOT NULL, Answer {TEXT} NOT NULL, Created {DATETIME} NOT NULL, "
         "PRIMARY KEY (LoginName, KeyText))",
         "CREATE INDEX IF NOT EXISTS PX_IdempotencyKey_Created ON PX_IdempotencyKey (Created)",
     },
     {
         // Rows already stored are left as they are; new and changed rows
         // must fit. Every statement may run again on a database that has
         // it already.
         "ALTER TABLE SM_UserToken ADD COLUMN IF NOT EXISTS Expires {DATETIME}",
         PostgresSizeChecks(kBillSizes),
         PostgresSizeChecks(kLineSizes),
     },
     {
         // Sign-in tokens may expire (NULL: never).
         "ALTER TABLE SM_UserToken ADD COLUMN Expires {DATETIME}",
         SqliteSizeTrigger(kBillSizes, "Insert"),
         SqliteSizeTrigger(kBillSizes, "Update"),
         SqliteSizeTrigger(kLineSizes, "Insert"),
         SqliteSizeTrigger(kLineSizes, "Update"),
     }},
    {7,
     "the change feed: one event per committed change of bills, numbered in commit order",
     {
         // Seq comes from the one row of PX_FeedSeq, taken last in the
         // writing transaction and locked until it commits (frame/feed.h).
         "CREATE TABLE PX_Feed (Seq INTEGER NOT NULL PRIMARY KEY, Time {DATETIME} NOT NULL, "
         "LoginName {TEXT} NOT NULL, Kind {TEXT} NOT NULL, Bills {TEXT} NOT NULL, "
         "Version INTEGER)",
         "CREATE INDEX PX_Feed_Time ON PX_Feed (Time)",
         "CREATE TABLE PX_FeedSeq (ID INTEGER NOT NULL PRIMARY KEY, Seq INTEGER NOT NULL)",
         "INSERT INTO PX_FeedSeq (ID, Seq) VALUES (1, 0)",
     }},
};

}  // namespace

const std::vector<Migration>& Migrations() { return kMigrations; }

int LatestVersion() { return kMigrations.back().version; }

std::string Render(const char* statement, const data::Dialect& dialect) {
  std::string s = statement;
  ReplaceAll(s, "{CUR}", dialect.CurrencyType());
  ReplaceAll(s, "{DATETIME}", dialect.DateTimeType());
  ReplaceAll(s, "{DATE}", dialect.DateType());
  ReplaceAll(s, "{ID}", dialect.IdentityColumn());
  ReplaceAll(s, "{TEXT}", dialect.TextType());
  return s;
}

std::vector<std::string> StatementsFor(const Migration& m, const data::Dialect& dialect) {
  std::vector<std::string> out;
  for (const char* statement : m.statements) out.push_back(Render(statement, dialect));
  const auto& own = dialect.backend() == data::Backend::kPostgres ? m.postgres_only : m.sqlite_only;
  for (const char* statement : own) out.push_back(Render(statement, dialect));
  return out;
}

}  // namespace schema
