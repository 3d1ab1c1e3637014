#include "services/sql_depot_service.h"

#include "services/lookup_support.h"

namespace services {
namespace {

std::string MissingShelf(const std::string& shelf_id) {
  return MissingText("货位", "Shelf", shelf_id);
}

}  // namespace

bool SqlDepotService::CheckRight(const std::string& shelf_id, int32_t direction, bool& allowed,
                                 const std::string& db, std::string& err) {
  // One row per shelf; the right's column is NULL unless the login holds it.
  auto rs = QueryCompany(
      GetObjectContext(), "Plexavo.DepotService.CheckRight", db,
      data::Sql("SELECT ST_DepotRight.Direction FROM ST_Shelf "
                "LEFT JOIN ST_DepotRight ON ST_DepotRight.DepotID = ST_Shelf.DepotID "
                "AND ST_DepotRight.LoginName = :login AND ST_DepotRight.Direction = :direction "
                "WHERE ST_Shelf.ID = :shelf")
          .Bind("login", GetObjectContext().CallerLogin())
          .Bind("direction", direction)
          .Bind("shelf", shelf_id),
      {{"Direction", base::FieldType::kInt}});
  if (!rs.ok()) {
    err = rs.err().description;
    return GetObjectContext().VoteFor(false);
  }
  if (rs->RecordCount() == 0) {
    err = MissingShelf(shelf_id);
    return GetObjectContext().VoteFor(false);
  }
  allowed = !rs->Row(0)[0].IsNull();
  return GetObjectContext().VoteFor(true);
}

std::string SqlDepotService::GetShelfName(const std::string& shelf_id, const std::string& db,
                                          std::string& err) {
  auto rs =
      QueryCompany(GetObjectContext(), "Plexavo.DepotService.GetShelfName", db,
                   data::Sql("SELECT Name FROM ST_Shelf WHERE ID = :shelf").Bind("shelf", shelf_id),
                   {{"Name", base::FieldType::kText}});
  if (!rs.ok() || rs->RecordCount() == 0) {
    err = rs.ok() ? MissingShelf(shelf_id) : rs.err().description;
    GetObjectContext().VoteFor(false);
    return "";
  }
  GetObjectContext().VoteFor(true);
  return rs->Row(0)[0].TextOrEmpty();
}

}  // namespace services
