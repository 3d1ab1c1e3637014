// Contract of the ERP's user service: who the calling user is in a company
// database, and which rights that user holds. Every operation writes its
// failure reason into the in/out error text; success leaves it empty.
#ifndef PLEXAVO_SERVICES_USER_SERVICE_H_
#define PLEXAVO_SERVICES_USER_SERVICE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "base/rowset.h"
#include "host/object_context.h"

namespace services {

inline constexpr const char* kUserServiceProgId = "Plexavo.UserService";

class UserService : public host::Component {
 public:
  using host::Component::Component;

  // The caller's login name, as the host was given it for this call.
  virtual std::string GetLoginName(std::string& err) = 0;
  // The caller's user name in company database `db`.
  virtual std::string GetUserName(const std::string& db, std::string& err) = 0;
  // The caller's internal number in `db`.
  virtual int32_t GetUserInnerID(const std::string& db, std::string& err) = 0;
  // The users of `db`: LoginName, UserName, InnerID, by login name. No rowset
  // means failure.
  virtual std::optional<base::Rowset> GetUserList(const std::string& db, std::string& err) = 0;
  // One character per comma-separated code, in list order: "1" granted, "0" not.
  virtual bool GetRights(const std::string& codes, std::string& answer, const std::string& db,
                         std::string& err) = 0;
  // The caller's language code ("T" Traditional Chinese, else Simplified).
  virtual bool GetLanguage(std::string& lang, const std::string& db, std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_USER_SERVICE_H_
