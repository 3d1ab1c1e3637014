// The message catalogue: every numbered text an operation hands to its
// caller, in Simplified Chinese (ids 10010..10840 in steps of 10, without
// 10420 and 10720..10800) and Traditional Chinese (the same id + 10000).
// A text holds the placeholder "%s" at most once; Showmsg fills it in.
#ifndef PLEXAVO_MESSAGES_CATALOGUE_H_
#define PLEXAVO_MESSAGES_CATALOGUE_H_

#include <cstdint>

namespace messages {

// Offset from a Simplified id to the id of its Traditional text.
inline constexpr int32_t kTraditionalOffset = 10000;

// Catalogue text by id: Simplified ids 10010..10840, Traditional = id + 10000.
// nullptr when the id is not in the catalogue.
const char* CatalogueText(int32_t id);

// Message ids (the Simplified id; Showmsg adds the offset for "T"). The
// comment shows the Simplified text.
// clang-format off
inline constexpr int32_t kMsgRemarkTooLong = 10010;  // 备注长度不能大于255！
inline constexpr int32_t kMsgUnitRequired = 10020;  // 必须指定物品单位！
inline constexpr int32_t kMsgBillNotExecuted = 10030;  // 编号为 %s 的生产领料单尚未执行！
inline constexpr int32_t kMsgBillAlreadyExecuted = 10040;  // 编号为 %s 的生产领料单已经执行！
inline constexpr int32_t kMsgExecutedBillLocked = 10050;  // 编号为 %s 的生产领料单已经执行，不能修改及删除！
inline constexpr int32_t kMsgBillNumberLength = 10060;  // 出库单编号长度为12，或置空由系统自动生成！
inline constexpr int32_t kMsgNotInTransaction = 10070;  // 对象没有运行在事务中，请与管理员联系！
inline constexpr int32_t kMsgLinkedBillNotExecuted = 10080;  // 对应的领料单尚未执行！
inline constexpr int32_t kMsgLogReverseExecute = 10090;  // 反执行生产领料单 %s！
inline constexpr int32_t kMsgInvalidBillOrLine = 10100;  // 非法的领料单号或序号！
inline constexpr int32_t kMsgInvalidBill = 10110;  // 非法生产领料单
inline constexpr int32_t kMsgBillBasedOn = 10120;  // 根据%s的生产领料单
inline constexpr int32_t kMsgProductionOrderMismatch = 10130;  // 领料单对应的生产单及序号和指定的生产单及序号不一致！
inline constexpr int32_t kMsgNoReadRight = 10140;  // 没有生产领料单的读权限！
inline constexpr int32_t kMsgNoMaintainRight = 10150;  // 没有生产领料单的维护权限！
inline constexpr int32_t kMsgNoExecuteRight = 10160;  // 没有生产领料单的执行权限！
inline constexpr int32_t kMsgBillNotFound = 10170;  // 没有找到编号为 %s 的生产领料单！
inline constexpr int32_t kMsgLineNumberEmpty = 10180;  // 明细项序号不能为空！
inline constexpr int32_t kMsgLineNumberTooLong = 10190;  // 明细项序号长度不能大于4！
inline constexpr int32_t kMsgNoDetailLines = 10200;  // 缺少生产领料单明细项！
inline constexpr int32_t kMsgLogDeleteBill = 10210;  // 删除生产领料单%s！
inline constexpr int32_t kMsgVoucherBlocksReverse = 10220;  // 生产领料单%s已经生成记帐凭证，不能取消执行！
inline constexpr int32_t kMsgDuplicateBillNumber = 10230;  // 生产领料单编号重复！
inline constexpr int32_t kMsgBillDateTooEarly = 10240;  // 生产领料单日期不能早于 %s！
inline constexpr int32_t kMsgProductionNotEnabled = 10250;  // 生产系统尚未启用！
inline constexpr int32_t kMsgQuantityNotPositive = 10260;  // 数量必须大于0！
inline constexpr int32_t kMsgWordBecomes = 10270;  // 为
inline constexpr int32_t kMsgLogNewBill = 10280;  // 新增生产领料单%s
inline constexpr int32_t kMsgLogReviseBill = 10290;  // 修改生产领料单
inline constexpr int32_t kMsgReturnBillExists = 10300;  // 已经制作生产退料单%s！
inline constexpr int32_t kMsgReverseExecuteErrors = 10310;  // 在反执行生产领料单%s时，遇到以下错误：
inline constexpr int32_t kMsgLineIncomplete = 10320;  // 在序号 %s 的明细项中，数据不完整。
inline constexpr int32_t kMsgExecuteErrors = 10330;  // 在执行生产领料单 %s 时，遇到以下错误：
inline constexpr int32_t kMsgNoWarehouseIssueRight = 10340;  // 在指定的仓库中没有出库权限！
inline constexpr int32_t kMsgExecuteDateTooLate = 10350;  // 执行日期不能在 %s 以后！
inline constexpr int32_t kMsgExecuteDateTooEarly = 10360;  // 执行日期不能在 %s 以前！
inline constexpr int32_t kMsgExecuteBeforeBillDate = 10370;  // 执行日期不能早于制单日期！
inline constexpr int32_t kMsgLogExecuteBill = 10380;  // 执行生产领料单%s！
inline constexpr int32_t kMsgReverseOnlyAfter = 10390;  // 只能反执行 %s 以后执行的生产领料单！
inline constexpr int32_t kMsgReverseOnlyOwn = 10400;  // 只能反执行自己执行的生产领料单！
inline constexpr int32_t kMsgEditOnlyOwn = 10410;  // 只能修改/删除自己制作的生产通知单！
inline constexpr int32_t kMsgBillTypePurchaseReceipt = 10430;  // 进货单
inline constexpr int32_t kMsgBillTypeSalesReturn = 10440;  // 销售退货单
inline constexpr int32_t kMsgBillTypeStockIn = 10450;  // 入库单
inline constexpr int32_t kMsgBillTypeTransfer = 10460;  // 调仓单
inline constexpr int32_t kMsgBillTypeAdjustment = 10470;  // 调整单
inline constexpr int32_t kMsgBillTypeProductionReturn = 10480;  // 生产退料单
inline constexpr int32_t kMsgBillTypeProductionCompletion = 10490;  // 生产完工单
inline constexpr int32_t kMsgBillTypeOutsourceReturn = 10500;  // 外协退料单
inline constexpr int32_t kMsgBillTypeOutsourceDelivery = 10510;  // 外协交货单
inline constexpr int32_t kMsgLineItemPrefix = 10520;  // 序号 %s中对应的物品，
inline constexpr int32_t kMsgLaterStockInAffectsCost = 10530;  // 在 %s中已经执行入库，且执行的日期在本单日期以后。若执行本单将会影响库存成本计算。执行终止！
inline constexpr int32_t kMsgReturnWithoutShipment = 10540;  // 指定退货的物品，没有出货记录。执行终止！
inline constexpr int32_t kMsgPlannedPriceMissing = 10550;  // 序号%s中对应的物品，采用计划价计价方法，但没有找到计划价格。执行终止！
inline constexpr int32_t kMsgPlannedPriceZero = 10560;  // 序号%s中对应的物品，采用计划价计价方法，但计划价格等于0。执行终止！
inline constexpr int32_t kMsgBillTypePurchaseReturn = 10570;  // 采购退货单
inline constexpr int32_t kMsgBillTypeSalesShipment = 10580;  // 销售出货单
inline constexpr int32_t kMsgBillTypeStockOut = 10590;  // 出库单
inline constexpr int32_t kMsgBillTypeProductionIssue = 10600;  // 生产领料单
inline constexpr int32_t kMsgBillTypeOutsourceIssue = 10610;  // 外协发料单
inline constexpr int32_t kMsgLaterStockOutMovingAverage = 10620;  // 在%s中已经执行出库，且执行的日期在本单日期以后。物品采用移动加权平均计算库存成本，若执行本单将会影响库存成本计算。执行终止！
inline constexpr int32_t kMsgSerialQuantityOne = 10630;  // 序号%s中对应的物品，为序列号管理的物品。数量只能为1！
inline constexpr int32_t kMsgDuplicateSerialInLocation = 10640;  // 在货位%s中存在相同序列号的物品！
inline constexpr int32_t kMsgNoExpiryDate = 10650;  // 序号%s中对应的物品，没有有效日期！
inline constexpr int32_t kMsgLaterStockOutBlocksReverse = 10660;  // 在%s中已经执行出库，且执行的时间在本单执行时间以后。物品采用移动加权平均计算库存成本，若执行本单将会影响库存成本计算。反执行终止！
inline constexpr int32_t kMsgLineDataInconsistent = 10670;  // 序号%s中对应的物品，在数据库中，数据不一致。
inline constexpr int32_t kMsgLocationBalanceShortOnDate = 10680;  // 序号%s中对应的物品，在执行日期货位库存余额不足。执行终止！
inline constexpr int32_t kMsgLaterStockOutAffectsCost = 10690;  // 在%s中已经执行出库，且执行的日期在本单日期以后。若执行本单将会影响库存成本计算。执行终止！
inline constexpr int32_t kMsgItemNotInLocation = 10700;  // 序号%s中对应的物品，在指定的货位中没有找到。执行终止！
inline constexpr int32_t kMsgLocationBalanceShort = 10710;  // 在指定的货位中余额(%s) 不足。执行终止！
inline constexpr int32_t kMsgNoReverseExecuteRight = 10810;  // 没有生产领料单的反执行权限！
// Bounds that keep one call's writes within the columns and within reason;
// the parameter of 10830 is the field and its size, "Operator(80)".
inline constexpr int32_t kMsgTooManyLines = 10820;  // 生产领料单的明细项不能多于 %s 行！
inline constexpr int32_t kMsgTextTooLong = 10830;  // %s 的长度超出了允许的字符数！
inline constexpr int32_t kMsgDuplicateLineNumber = 10840;  // 明细项序号 %s 重复！
// clang-format on

// Texts returned without the catalogue, in one language only.
inline constexpr const char* kBillCountError = "单据编号个数错误！";
// The misspelling is part of the text callers receive; keep it.
inline constexpr const char* kNotInTransaction = "对象没有在事务中！(Object Not In Transction!)";
inline constexpr const char* kFunctionKill = "function kill";

}  // namespace messages

#endif  // PLEXAVO_MESSAGES_CATALOGUE_H_
