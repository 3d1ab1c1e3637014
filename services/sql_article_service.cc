#include "services/sql_article_service.h"

#include "services/lookup_support.h"

namespace services {

using base::FieldType;

std::string SqlArticleService::GetMeasID(int32_t art_id, const std::string& db, std::string& err) {
  auto rs =
      QueryCompany(GetObjectContext(), "Plexavo.ArticleService.GetMeasID", db,
                   data::Sql("SELECT MeasID FROM FD_Article WHERE ID = :id").Bind("id", art_id),
                   {{"MeasID", FieldType::kText}});
  if (!rs.ok()) {
    err = rs.err().description;
    GetObjectContext().VoteFor(false);
    return "";
  }
  if (rs->RecordCount() == 0) {
    err = MissingText("物品", "Article", std::to_string(art_id));
    GetObjectContext().VoteFor(false);
    return "";
  }
  GetObjectContext().VoteFor(true);
  return rs->Row(0)[0].TextOrEmpty();
}

bool SqlArticleService::GetArticleByCode(const std::string& art_code, int32_t& art_id,
                                         std::string& art_name, std::string& meas_id,
                                         int32_t& serial, int32_t& keep_day, std::string& shelf_id,
                                         std::string& shelf_name, const std::string& db,
                                         std::string& err) {
  auto rs = QueryCompany(
      GetObjectContext(), "Plexavo.ArticleService.GetArticleByCode", db,
      data::Sql("SELECT FD_Article.ID, FD_Article.Name, FD_Article.MeasID, FD_Article.Serial, "
                "FD_ArtStore.KeepDay, FD_Article.ShelfID, ST_Shelf.Name FROM FD_Article "
                "LEFT JOIN FD_ArtStore ON FD_ArtStore.ID = FD_Article.ID "
                "LEFT JOIN ST_Shelf ON ST_Shelf.ID = FD_Article.ShelfID "
                "WHERE FD_Article.ArtCode = :code ORDER BY FD_Article.ID")
          .Bind("code", art_code),
      {{"ID", FieldType::kInt},
       {"Name", FieldType::kText},
       {"MeasID", FieldType::kText},
       {"Serial", FieldType::kInt},
       {"KeepDay", FieldType::kInt},
       {"ShelfID", FieldType::kText},
       {"ShelfName", FieldType::kText}});
  if (!rs.ok()) {
    err = rs.err().description;
    return GetObjectContext().VoteFor(false);
  }
  if (rs->RecordCount() == 0) {
    err = MissingText("物品编码", "Article code", art_code);
    return GetObjectContext().VoteFor(false);
  }
  const auto& row = rs->Row(0);
  art_id = row[0].IntOrZero();
  art_name = row[1].TextOrEmpty();
  meas_id = row[2].TextOrEmpty();
  serial = row[3].IntOrZero();
  keep_day = row[4].IntOrZero();
  shelf_id = row[5].TextOrEmpty();
  shelf_name = row[6].TextOrEmpty();
  return GetObjectContext().VoteFor(true);
}

}  // namespace services
