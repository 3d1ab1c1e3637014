#include "masterdata/kinds.h"

#include "base/ascii.h"

namespace masterdata {

const char kRequired[] = "required";

namespace {

using T = CellType;

constexpr Reference kArticle{"FD_Article", "ID", "article"};
constexpr Reference kShelf{"ST_Shelf", "ID", "shelf"};
constexpr Reference kDepot{"ST_Depot", "ID", "depot"};
constexpr Reference kShop{"FD_Shop", "ID", "workshop"};
constexpr Reference kOrder{"MF_Order", "BillID", "production order"};
constexpr Reference kUser{"SM_User", "LoginName", "user"};

const char* Positive(const base::Value& v) {
  auto c = v.AsCurrency();
  return c.ok() && *c > base::Currency() ? nullptr : "must be greater than 0";
}

const char* Direction(const base::Value& v) {
  auto d = v.AsInt();
  return d.ok() && (*d == 1 || *d == 2) ? nullptr : "must be 1 (stock-in) or 2 (stock-out)";
}

// A kind of one table with a text code and a name.
Kind CodeAndName(const char* name, const char* table, const char* summary) {
  return {name, table, nullptr, summary, {{"ID", T::kText, true, kRequired}, {"Name", T::kText}}};
}

std::vector<Kind> MakeKinds() {
  return {
      CodeAndName("depots", "ST_Depot", "Depots, which group the shelves."),
      {"shelves",
       "ST_Shelf",
       nullptr,
       "Stock shelves and the depot each belongs to.",
       {{"ID", T::kText, true, kRequired},
        {"Name", T::kText},
        {"DepotID", T::kText, false, nullptr, &kDepot}}},
      {"articles",
       "FD_Article",
       "FD_ArtStore",
       "Articles with their stock unit, default shelf and keeping period.",
       {{"ID", T::kInt, true, kRequired},
        {"ArtCode", T::kText},
        {"Name", T::kText},
        {"Serial", T::kInt, false, "0"},
        {"NonStandard", T::kFlag, false, "0"},
        {"MeasID", T::kText},
        {"ShelfID", T::kText, false, nullptr, &kShelf},
        {"KeepDay", T::kInt, false, "0", nullptr, nullptr, true}}},
      {"units",
       "FD_ArtMeas",
       nullptr,
       "Units of each article: a quantity in the unit times Num / Den is in stock units.",
       {{"ID", T::kInt, true, kRequired, &kArticle},
        {"MeasID", T::kText, true, kRequired},
        {"Num", T::kCurrency, false, "1", nullptr, Positive},
        {"Den", T::kCurrency, false, "1", nullptr, Positive}}},
      {"balances",
       "ST_ShelfBal",
       nullptr,
       "Stock on hand per shelf, article and serial number.",
       {{"ShelfID", T::kText, true, kRequired, &kShelf},
        {"ArtID", T::kInt, true, kRequired, &kArticle},
        {"SerialNo", T::kText, true, ""},
        {"Qty", T::kCurrency, false, kRequired}}},
      CodeAndName("op-categories", "FD_OpCate", "Operation categories of issue bills."),
      CodeAndName("workshops", "FD_Shop", "Workshops."),
      {"operators",
       "FD_Operator",
       nullptr,
       "People who draw material, with their department.",
       {{"ID", T::kText, true, kRequired}, {"Name", T::kText}, {"DeptID", T::kText}}},
      CodeAndName("projects", "FD_Project", "Projects."),
      CodeAndName("items", "FD_Item", "Cost items."),
      {"orders",
       "MF_Order",
       nullptr,
       "Production order headers.",
       {{"BillID", T::kText, true, kRequired},
        {"Date", T::kDate},
        {"ShopID", T::kText, false, nullptr, &kShop},
        {"DeptID", T::kText}}},
      {"order-lines",
       "MF_OrdDetail",
       nullptr,
       "Lines of the production orders.",
       {{"BillID", T::kText, true, kRequired, &kOrder},
        {"SortID", T::kText, true, kRequired},
        {"ArtID", T::kInt, false, nullptr, &kArticle},
        {"Qty", T::kCurrency},
        {"BegFlag", T::kFlag, false, "0"},
        {"FbegDate", T::kDate},
        {"DeptID", T::kText}}},
      {"order-bom",
       "MF_OrdBom",
       nullptr,
       "Bill of materials of the orders; an empty ID adds a row.",
       {{"ID", T::kInt, true, nullptr, nullptr, nullptr, false, true},
        {"BillID", T::kText, false, kRequired, &kOrder},
        {"SortID", T::kText, false, ""},
        {"ArtID", T::kInt, false, kRequired, &kArticle},
        {"SerialNo", T::kText, false, ""},
        {"UseDate", T::kDate},
        {"OutQty", T::kCurrency, false, "0"},
        {"Qty", T::kCurrency, false, "0"},
        {"NetQty", T::kCurrency, false, "0"},
        {"AddQty", T::kCurrency, false, "0"}}},
      {"depot-rights",
       "ST_DepotRight",
       nullptr,
       "Stock rights of users per depot (1 stock-in, 2 stock-out).",
       {{"LoginName", T::kText, true, kRequired, &kUser},
        {"DepotID", T::kText, true, kRequired, &kDepot},
        {"Direction", T::kInt, true, kRequired, nullptr, Direction}}},
  };
}

}  // namespace

std::vector<const KindColumn*> Kind::Keys() const {
  std::vector<const KindColumn*> keys;
  for (const KindColumn& c : columns) {
    if (c.key) keys.push_back(&c);
  }
  return keys;
}

const KindColumn* Kind::Column(const std::string& name) const {
  const std::string wanted = base::AsciiLower(name);
  for (const KindColumn& c : columns) {
    if (base::AsciiLower(c.name) == wanted) return &c;
  }
  return nullptr;
}

const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kKinds = MakeKinds();
  return kKinds;
}

const Kind* FindKind(const std::string& name) {
  for (const Kind& k : Kinds()) {
    if (name == k.name) return &k;
  }
  return nullptr;
}

std::string KindNames() {
  std::string s;
  for (const Kind& k : Kinds()) s += (s.empty() ? "" : ", ") + std::string(k.name);
  return s;
}

}  // namespace masterdata
