// What the depot and article services answer beyond what the reader passes
// on: the stock-in direction of a depot right, and the name of an article's
// default shelf.
#include <gtest/gtest.h>

#include "services/article_service.h"
#include "services/depot_service.h"
#include "tests/test_company.h"

namespace services {
namespace {

TEST(DepotArticleTest, OtherDirectionAndTheDefaultShelfsName) {
  testing_support::TestCompany company;
  company.AddUser("tia", "Tia", "T", {});
  for (const char* sql : {
           "INSERT INTO ST_Depot (ID, Name) VALUES ('D1', 'Main'), ('D2', 'Side')",
           "INSERT INTO ST_Shelf (ID, Name, DepotID) VALUES ('S1', 'Shelf one', 'D1'), "
           "('S2', 'Shelf two', 'D2')",
           "INSERT INTO ST_DepotRight (LoginName, DepotID, Direction) VALUES ('tia', 'D1', 1)",
           "INSERT INTO FD_Article (ID, ArtCode, Name, ShelfID) VALUES (1, 'A-001', 'Bolt', 'S1'), "
           "(4, 'D-004', 'Pin', 'S7')",
       }) {
    company.Exec(sql);
  }
  auto create = [&](const char* progid) {
    return host::Host(company.classes()).CreateObject(progid, "tia").value();
  };
  host::Instance depot = create(kDepotServiceProgId);
  std::string err;
  for (auto [shelf, direction, expected] :
       {std::tuple{"S1", kDirectionStockIn, true}, std::tuple{"S1", kDirectionStockOut, false},
        std::tuple{"S2", kDirectionStockIn, false}}) {
    bool allowed = !expected;
    EXPECT_TRUE(
        depot.As<DepotService>()->CheckRight(shelf, direction, allowed, company.name(), err));
    EXPECT_EQ(allowed, expected) << shelf << " " << direction;
    EXPECT_EQ(depot.context()->vote(), host::Vote::kComplete);
  }
  host::Instance articles = create(kArticleServiceProgId);
  int32_t id = 0, serial = 0, keep = 0;
  std::string name, meas, shelf, shelf_name = "keep";
  EXPECT_TRUE(articles.As<ArticleService>()->GetArticleByCode(
      "A-001", id, name, meas, serial, keep, shelf, shelf_name, company.name(), err));
  EXPECT_EQ(shelf_name, "Shelf one");
  EXPECT_TRUE(articles.As<ArticleService>()->GetArticleByCode(
      "D-004", id, name, meas, serial, keep, shelf, shelf_name, company.name(), err));
  EXPECT_EQ(shelf, "S7");
  EXPECT_EQ(shelf_name, "");  // no such shelf
  EXPECT_EQ(err, "");
}

}  // namespace
}  // namespace services
