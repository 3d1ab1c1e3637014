// Contract of the ERP's article service, as the bill-entry screen uses it:
// an article's stock unit, and an article's details by its code. Every
// operation writes its failure reason into the in/out error text; success
// leaves it untouched.
#ifndef PLEXAVO_SERVICES_ARTICLE_SERVICE_H_
#define PLEXAVO_SERVICES_ARTICLE_SERVICE_H_

#include <cstdint>
#include <string>

#include "host/object_context.h"

namespace services {

inline constexpr const char* kArticleServiceProgId = "Plexavo.ArticleService";

class ArticleService : public host::Component {
 public:
  using host::Component::Component;

  // The stock unit of article `art_id` (FD_Article.MeasID, "" when it has
  // none). An unknown article answers "" with a reason in `err`.
  virtual std::string GetMeasID(int32_t art_id, const std::string& db, std::string& err) = 0;

  // The article whose code is `art_code` (the lowest id when several share
  // it): its id, name, stock unit, serial-number setting, keeping period in
  // days (0 without stock settings), default shelf and that shelf's name
  // ("" when it has none or the shelf is unknown). False with a reason in
  // `err` for an unknown code; the out values are then untouched.
  virtual bool GetArticleByCode(const std::string& art_code, int32_t& art_id, std::string& art_name,
                                std::string& meas_id, int32_t& serial, int32_t& keep_day,
                                std::string& shelf_id, std::string& shelf_name,
                                const std::string& db, std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_ARTICLE_SERVICE_H_
