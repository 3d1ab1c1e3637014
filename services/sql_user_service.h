// The user service over the company database: users in SM_User, granted
// right codes in SM_UserRight. The caller is the login the host was given.
#ifndef PLEXAVO_SERVICES_SQL_USER_SERVICE_H_
#define PLEXAVO_SERVICES_SQL_USER_SERVICE_H_

#include "services/user_service.h"

namespace services {

class SqlUserService : public UserService {
 public:
  using UserService::UserService;

  std::string GetLoginName(std::string& err) override;
  std::string GetUserName(const std::string& db, std::string& err) override;
  int32_t GetUserInnerID(const std::string& db, std::string& err) override;
  std::optional<base::Rowset> GetUserList(const std::string& db, std::string& err) override;
  bool GetRights(const std::string& codes, std::string& answer, const std::string& db,
                 std::string& err) override;
  bool GetLanguage(std::string& lang, const std::string& db, std::string& err) override;

 private:
  struct User {
    std::string user_name;
    int32_t inner_id = 0;
    std::string lang;
  };
  // The caller's row, or a failure text.
  base::Result<User> Caller(const std::string& method, const std::string& db);
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_SQL_USER_SERVICE_H_
