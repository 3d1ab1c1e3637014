#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "cli/demo_company.h"
#include "cli/demo_files.h"
#include "masterdata/kinds.h"
#include "schema/data_model_doc.h"
#include "tests/run_cli.h"
#include "tests/test_company.h"

namespace cli {
namespace {

using testing_support::TestCompany;

using Outcome = testing_support::CliOutcome;
using testing_support::RunCli;

TEST(MasterDataCommandsTest, ImportsAFileAndExportsItBack) {
  TestCompany company;
  const std::string file = company.dir() + "/depots.csv";
  std::ofstream(file) << "ID,Name\nWH-9,\"Yard, east\"\n";
  Outcome imported = RunCli({"import", company.name(), "depots", file});
  EXPECT_EQ(imported.code, kExitOk) << imported.err;
  EXPECT_EQ(imported.out, "imported 1 depots rows into company database " + company.name() + "\n");
  EXPECT_EQ(imported.err, "");  // no progress line off a terminal
  Outcome exported = RunCli({"export", company.name(), "depots"});
  EXPECT_EQ(exported.code, kExitOk) << exported.err;
  EXPECT_EQ(exported.out, "ID,Name\r\nWH-9,\"Yard, east\"\r\n");
}

TEST(MasterDataCommandsTest, ReportsRefusalsAndBadArguments) {
  TestCompany company;
  const std::string file = company.dir() + "/shelves.csv";
  std::ofstream(file) << "ID,DepotID\nS1,nowhere\n";
  Outcome refused = RunCli({"import", company.name(), "shelves", file});
  EXPECT_EQ(refused.code, kExitFailure);
  EXPECT_EQ(refused.err,
            "plexavo import: 1 problem in the shelves file; nothing was written:\n"
            "line 2, column DepotID: no depot 'nowhere'\n");
  EXPECT_EQ(company.Count("ST_Shelf"), 0);

  Outcome missing = RunCli({"import", company.name(), "shelves", company.dir() + "/none.csv"});
  EXPECT_EQ(missing.code, kExitFailure);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos);

  Outcome kind = RunCli({"export", company.name(), "widgets"});
  EXPECT_EQ(kind.code, kExitUsage);
  EXPECT_NE(kind.err.find("unknown kind 'widgets'; kinds: " + masterdata::KindNames()),
            std::string::npos);
}

TEST(MasterDataCommandsTest, SchemaDocPrintsTheDataModel) {
  Outcome doc = RunCli({"schema", "doc"});
  EXPECT_EQ(doc.code, kExitOk) << doc.err;
  EXPECT_EQ(doc.out, schema::RenderDataModel().value());
}

TEST(DemoFilesTest, EveryFileIsAKindAndEveryKindHasAFile) {
  std::vector<std::string> files;
  for (const DemoFile& f : DemoFiles()) files.push_back(f.kind);
  std::vector<std::string> kinds;
  for (const masterdata::Kind& k : masterdata::Kinds()) kinds.push_back(k.name);
  std::sort(kinds.begin(), kinds.end());
  EXPECT_EQ(files, kinds);
}

TEST(DemoFilesTest, DemoCompanyComesFromTheFiles) {
  TestCompany company;
  auto users = SeedDemoCompany(company.target(), "202612");
  ASSERT_TRUE(users.ok()) << users.err().description;
  EXPECT_EQ(company.Count("FD_Article"), 6);
  EXPECT_EQ(company.Count("FD_ArtStore"), 6);
  EXPECT_EQ(company.Count("FD_ArtMeas"), 11);
  EXPECT_EQ(company.Count("ST_ShelfBal"), 8);
  EXPECT_EQ(company.Count("MF_OrdBom"), 8);
  EXPECT_EQ(company.Count("ST_DepotRight"), 6);
  EXPECT_EQ(company.Text("SELECT MIN(Date) || ' ' || MAX(Date) FROM MF_Order"),
            "2026-12-01 2026-12-01");
  EXPECT_EQ(company.Text("SELECT Name FROM FD_Article WHERE ID = 1001"), "六角螺栓 M6×20");
}

}  // namespace
}  // namespace cli
