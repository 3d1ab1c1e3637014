// The article service over the company database: FD_Article with its stock
// settings in FD_ArtStore and its default shelf in ST_Shelf.
#ifndef PLEXAVO_SERVICES_SQL_ARTICLE_SERVICE_H_
#define PLEXAVO_SERVICES_SQL_ARTICLE_SERVICE_H_

#include "services/article_service.h"

namespace services {

class SqlArticleService : public ArticleService {
 public:
  using ArticleService::ArticleService;

  std::string GetMeasID(int32_t art_id, const std::string& db, std::string& err) override;
  bool GetArticleByCode(const std::string& art_code, int32_t& art_id, std::string& art_name,
                        std::string& meas_id, int32_t& serial, int32_t& keep_day,
                        std::string& shelf_id, std::string& shelf_name, const std::string& db,
                        std::string& err) override;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_SQL_ARTICLE_SERVICE_H_
