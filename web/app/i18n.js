// Labels of the page in Simplified Chinese, Traditional Chinese and
// English. The component's own messages are never translated here: they
// are shown exactly as the component wrote them.

const LABELS = {
  title: ['生产领料单', '生產領料單', 'Material issue bills'],
  signIn: ['登录', '登錄', 'Sign in'],
  signOut: ['退出', '退出', 'Sign out'],
  company: ['账套', '賬套', 'Company database'],
  token: ['令牌', '令牌', 'Token'],
  period: ['当前期间', '當前期間', 'Current period'],
  list: ['单据列表', '單據列表', 'Bills'],
  newBill: ['新增', '新增', 'New bill'],
  plan: ['领料计划', '領料計劃', 'Issue plan'],
  print: ['打印', '打印', 'Print'],
  search: ['查询', '查詢', 'Search'],
  billId: ['单号', '單號', 'Bill number'],
  dateFrom: ['日期从', '日期從', 'Date from'],
  dateTo: ['至', '至', 'to'],
  shop: ['车间', '車間', 'Workshop'],
  state: ['状态', '狀態', 'State'],
  stateAll: ['全部', '全部', 'All'],
  stateOpen: ['未执行', '未執行', 'Not executed'],
  stateDone: ['已执行', '已執行', 'Executed'],
  maker: ['制单人', '製單人', 'Made by'],
  count: ['张单据', '張單據', 'bills'],
  date: ['日期', '日期', 'Date'],
  exeDate: ['执行日期', '執行日期', 'Executed on'],
  execer: ['执行人', '執行人', 'Executed by'],
  order: ['生产单', '生產單', 'Order'],
  orderLine: ['生产单序号', '生產單序號', 'Order line'],
  opCate: ['领料类别', '領料類別', 'Operation category'],
  project: ['项目', '項目', 'Project'],
  item: ['费用项目', '費用項目', 'Cost item'],
  operator: ['领料人', '領料人', 'Operator'],
  memo: ['备注', '備註', 'Remark'],
  lines: ['明细', '明細', 'Lines'],
  sortId: ['序号', '序號', 'Line'],
  artCode: ['物料编码', '物料編碼', 'Article'],
  artName: ['物料名称', '物料名稱', 'Name'],
  unit: ['单位', '單位', 'Unit'],
  shelf: ['货位', '貨位', 'Shelf'],
  shelfName: ['货位名称', '貨位名稱', 'Shelf name'],
  serialNo: ['批号', '批號', 'Serial no.'],
  validDate: ['有效期', '有效期', 'Valid until'],
  qty: ['数量', '數量', 'Quantity'],
  price: ['单价', '單價', 'Price'],
  amount: ['金额', '金額', 'Amount'],
  returned: ['已退数量', '已退數量', 'Returned'],
  canReturn: ['可退数量', '可退數量', 'Returnable'],
  bomRow: ['用料行', '用料行', 'BOM row'],
  balance: ['库存', '庫存', 'Stock'],
  revise: ['修改', '修改', 'Revise'],
  delete: ['删除', '刪除', 'Delete'],
  execute: ['执行', '執行', 'Execute'],
  check: ['检查', '檢查', 'Check'],
  checkOk: ['检查通过，未保存任何更改', '檢查通過，未保存任何更改', 'Check passed; nothing was changed'],
  shortLines: ['库存不足的明细', '庫存不足的明細', 'Lines short of stock'],
  needed: ['需要', '需要', 'Needed'],
  available: ['现存', '現存', 'Available'],
  shortfall: ['缺少', '缺少', 'Short by'],
  movements: ['库存变动', '庫存變動', 'Stock movements'],
  article: ['物料', '物料', 'Article'],
  balanceAfter: ['变动后结存', '變動後結存', 'Balance after'],
  reverse: ['反执行', '反執行', 'Reverse'],
  save: ['保存', '保存', 'Save'],
  cancel: ['取消', '取消', 'Cancel'],
  addLine: ['增行', '增行', 'Add line'],
  removeLine: ['删行', '刪行', 'Remove line'],
  executeOnSave: ['保存后执行', '保存後執行', 'Execute on save'],
  confirm: ['确定要', '確定要', 'Really'],
  notExecuted: ['未执行', '未執行', 'Not executed'],
  executedBy: ['已执行', '已執行', 'Executed'],
  planText: ['粘贴计划（制表符或逗号分隔，首行为列名）', '粘貼計劃（製表符或逗號分隔，首行為列名）',
    'Paste the plan (tab- or comma-separated, first row names the columns)'],
  planFile: ['或选择文件', '或選擇文件', 'or choose a file'],
  preview: ['预览', '預覽', 'Preview'],
  planBills: ['将生成的单据', '將生成的單據', 'Bills the plan makes'],
  makeBills: ['生成并执行', '生成並執行', 'Make and execute'],
  made: ['已生成', '已生成', 'Made'],
  printRange: ['单号从', '單號從', 'Numbers from'],
  byExeDate: ['按执行日期', '按執行日期', 'By execution date'],
  show: ['显示', '顯示', 'Show'],
  page: ['页', '頁', 'page'],
  noRows: ['没有数据', '沒有數據', 'Nothing found'],
  saved: ['已保存', '已保存', 'Saved'],
  done: ['完成', '完成', 'Done'],
  langSwitchTo: ['English', 'English', '中文'],
  lookup: ['查找', '查找', 'Look up'],
  signInLink: ['请使用登录链接，或输入账套与令牌。', '請使用登錄鏈接，或輸入賬套與令牌。',
    'Use your sign-in link, or enter the company database and your token.'],
};

let language = 0; // 0 Simplified, 1 Traditional, 2 English
let chinese = 0;

// The user's language code from the component: "T" is Traditional.
export function setUserLanguage(code) {
  chinese = code === 'T' ? 1 : 0;
  language = sessionStorage.getItem('plexavo.english') === '1' ? 2 : chinese;
  document.documentElement.lang = ['zh-CN', 'zh-TW', 'en'][language];
}

export function toggleEnglish() {
  const english = language !== 2;
  sessionStorage.setItem('plexavo.english', english ? '1' : '0');
  language = english ? 2 : chinese;
  document.documentElement.lang = ['zh-CN', 'zh-TW', 'en'][language];
}

export function t(key) {
  const entry = LABELS[key];
  return entry ? entry[language] : key;
}
