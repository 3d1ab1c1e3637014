// The reader's look-ups of the bill-entry screen. Each one creates its
// sibling service inside the caller's transaction, asks it one question
// passing the company database and the error text through, releases it and
// votes by the operation's own rule. A failure the service reported keeps
// the value it answered; the caller tests the error text.
#include "frame/op_frame.h"
#include "messages/catalogue.h"
#include "reader/mf_outbill.h"
#include "services/article_service.h"
#include "services/depot_service.h"
#include "services/item_service.h"
#include "services/operator_service.h"
#include "services/order_service.h"
#include "services/project_service.h"
#include "services/shop_service.h"

namespace reader {

using frame::Call;
using frame::Outcome;
using Rows = std::optional<base::Rowset>;

namespace {

// When a forwarded look-up votes commit.
bool NoErrorText(Call& call, const std::string&) { return call.err().empty(); }
bool RowsetCameBack(Call&, const Rows& rows) { return rows.has_value(); }
bool AnsweredTrue(Call&, bool ok) { return ok; }

// Creates service S by `progid` in the transaction, puts `ask`'s answer in
// the result, and settles by `commits`. The service is released when the
// body ends, before the frame votes.
template <typename S, typename R, typename Ask, typename Commits>
R Forward(host::ObjectContext& ctx, const char* method, const char* progid, const std::string& db,
          std::string& err, R initial, Ask&& ask, Commits&& commits) {
  return frame::RunService<R>(
      ctx, method, db, err, std::move(initial), [&](Call& call, R& result) -> Outcome {
        S* service = nullptr;
        PLX_ASSIGN_OR_RETURN(
            host::Instance held,
            frame::CreateService(call.ctx(), progid, /*in_transaction=*/true, &service));
        result = ask(*service, call);
        return commits(call, result) ? Outcome::Ok() : Outcome::Reported();
      });
}

}  // namespace

std::string MF_OutBill::GetMeasID(int32_t vlngArtID, const std::string& vstrDB,
                                  std::string& vstrErr) {
  return Forward<services::ArticleService>(
      GetObjectContext(), "Plexavo.GetMeasID", services::kArticleServiceProgId, vstrDB, vstrErr,
      std::string(),
      [&](services::ArticleService& articles, Call& call) {
        return articles.GetMeasID(vlngArtID, call.db(), call.err());
      },
      NoErrorText);
}

std::optional<base::Rowset> MF_OutBill::GetRstOpCate(const std::string& vstrDB,
                                                     std::string& vstrErr) {
  // Read by everyone who fills in a bill: no language, no read right.
  return frame::RunReader<Rows>(
      GetObjectContext(), "Plexavo.GetRstOpCate", vstrDB, vstrErr, std::nullopt,
      frame::ReaderGate{}, [](Call& call, Rows& result) -> Outcome {
        PLX_ASSIGN_OR_RETURN(
            base::Rowset rs,
            call.cnn().Query(data::Sql("SELECT ID, Name FROM FD_OpCate"),
                             {{"ID", base::FieldType::kText}, {"Name", base::FieldType::kText}}));
        result = std::move(rs);
        return Outcome::Ok();
      });
}

std::optional<base::Rowset> MF_OutBill::GetRstMaker(const std::string& vstrDB,
                                                    std::string& vstrErr) {
  return Forward<services::OperatorService>(
      GetObjectContext(), "Plexavo.GetRstMaker", services::kOperatorServiceProgId, vstrDB, vstrErr,
      Rows(),
      [](services::OperatorService& operators, Call& call) {
        return operators.GetOperatorList(call.db(), call.err());
      },
      RowsetCameBack);
}

std::string MF_OutBill::GetShelfName(const std::string& vstrID, const std::string& vstrDB,
                                     std::string& vstrErr) {
  return frame::RunService<std::string>(
      GetObjectContext(), "Plexavo.GetShelfName", vstrDB, vstrErr, "",
      [&](Call& call, std::string& result) -> Outcome {
        if (!GetUserLang(call.lang(), call.db(), call.err())) return Outcome::Reported();
        services::DepotService* depots = nullptr;
        PLX_ASSIGN_OR_RETURN(host::Instance held,
                             frame::CreateService(call.ctx(), services::kDepotServiceProgId,
                                                  /*in_transaction=*/true, &depots));
        // Only a user who may issue stock from the shelf's depot learns its name.
        bool allowed = false;
        if (!depots->CheckRight(vstrID, services::kDirectionStockOut, allowed, call.db(),
                                call.err())) {
          return Outcome::Reported();
        }
        if (!allowed) return call.Refuse(messages::kMsgNoWarehouseIssueRight);
        result = depots->GetShelfName(vstrID, call.db(), call.err());
        return call.err().empty() ? Outcome::Ok() : Outcome::Reported();
      });
}

std::string MF_OutBill::GetItemName(const std::string& vstrID, const std::string& vstrDB,
                                    std::string& vstrErr) {
  return Forward<services::ItemService>(
      GetObjectContext(), "Plexavo.GetItemName", services::kItemServiceProgId, vstrDB, vstrErr,
      std::string(),
      [&](services::ItemService& items, Call& call) {
        return items.GetItemName(vstrID, call.db(), call.err());
      },
      NoErrorText);
}

std::string MF_OutBill::GetProjectName(const std::string& vstrID, const std::string& vstrDB,
                                       std::string& vstrErr) {
  return Forward<services::ProjectService>(
      GetObjectContext(), "Plexavo.GetProjectName", services::kProjectServiceProgId, vstrDB,
      vstrErr, std::string(),
      [&](services::ProjectService& projects, Call& call) {
        return projects.GetProjectName(vstrID, call.db(), call.err());
      },
      NoErrorText);
}

std::optional<base::Rowset> MF_OutBill::OrderBomRst(
    const std::string& vstrBillID, const std::string& vstrSortID, std::string& vstrArtCode,
    std::string& vstrArtName, base::Currency& vcurQty, const std::string& vstrDB,
    std::string& vstrErr) {
  // The three in/out values go to the service by reference: what it writes
  // reaches the caller.
  return Forward<services::OrderService>(
      GetObjectContext(), "Plexavo.OrderBomRst", services::kOrderServiceProgId, vstrDB, vstrErr,
      Rows(),
      [&](services::OrderService& orders, Call& call) {
        return orders.OrderBom(vstrBillID, vstrSortID, vstrArtCode, vstrArtName, vcurQty, call.db(),
                               call.err());
      },
      RowsetCameBack);
}

std::optional<base::Rowset> MF_OutBill::ShopRst(const std::string& vstrDB, std::string& vstrErr) {
  return Forward<services::ShopService>(
      GetObjectContext(), "Plexavo.ShopRst", services::kShopServiceProgId, vstrDB, vstrErr, Rows(),
      [](services::ShopService& shops, Call& call) {
        return shops.GetShopList(call.db(), call.err());
      },
      RowsetCameBack);
}

bool MF_OutBill::ArtExInfo(const std::string& vstrArtCode, int32_t& vlngArtID,
                           std::string& vstrArtName, std::string& vstrMeasID, int32_t& vlngSerial,
                           int32_t& vlngKeepDay, std::string& vstrShelfID,
                           const std::string& vstrDB, std::string& vstrErr) {
  return Forward<services::ArticleService>(
      GetObjectContext(), "Plexavo.ArtExInfo", services::kArticleServiceProgId, vstrDB, vstrErr,
      false,
      [&](services::ArticleService& articles, Call& call) {
        std::string shelf_name;  // the service's extra answer; the screen does not take it
        return articles.GetArticleByCode(vstrArtCode, vlngArtID, vstrArtName, vstrMeasID,
                                         vlngSerial, vlngKeepDay, vstrShelfID, shelf_name,
                                         call.db(), call.err());
      },
      AnsweredTrue);
}

}  // namespace reader
