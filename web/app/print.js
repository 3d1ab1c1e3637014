// Print view: one bill or a range from PrintRst, laid out for A4; each
// bill's header repeats on every page it spans.
import { call, READER, records, today } from './api.js';
import { el, clear, field, notice } from './dom.js';
import { t } from './i18n.js';

const LINE_COLUMNS = [['SortID', 'sortId'], ['ArtCode', 'artCode'], ['ArtName', 'artName'], ['MeasID', 'unit'],
  ['ShelfName', 'shelfName'], ['SerialNo', 'serialNo'], ['Qty', 'qty'], ['Price', 'price'], ['Amt', 'amount'],
  ['ShelfBal', 'balance'], ['Memo', 'memo']];

function billSheet(rows) {
  const h = rows[0];
  const headLines = [
    `${t('title')} ${h.BillID}`,
    `${t('date')} ${h.Date ?? ''}  ${t('order')} ${h.OrdBill ?? ''} ${h.OrdSortID ?? ''}  ${t('operator')} ${h.Operator ?? ''}`,
    `${t('maker')} ${h.MakerName ?? ''}  ${t('execer')} ${h.ExecerName ?? ''} ${h.ExeDate ?? ''}  ${t('memo')} ${h.Notes ?? ''}`,
  ];
  return el('section', { class: 'sheet', 'data-bill': h.BillID },
    el('table', { class: 'print-table' },
      el('thead', {},
        headLines.map((text, i) => el('tr', { class: i === 0 ? 'sheet-title' : 'sheet-head' },
          el('th', { colspan: String(LINE_COLUMNS.length), text }))),
        el('tr', {}, LINE_COLUMNS.map(([, label]) => el('th', { text: t(label) })))),
      el('tbody', {}, rows.map((r) => el('tr', {}, LINE_COLUMNS.map(([name]) => el('td', { text: r[name] ?? '' })))))));
}

export async function showPrint(target, context, params) {
  const id = el('input', { id: 'p-id', value: params.get('id') ?? '' });
  const from = el('input', { id: 'p-from' });
  const to = el('input', { id: 'p-to' });
  const year = (context.period || today()).slice(0, 4);
  const begin = el('input', { id: 'p-begin', type: 'date', value: `${year}-01-01` });
  const end = el('input', { id: 'p-end', type: 'date', value: `${year}-12-31` });
  const byExe = el('input', { id: 'p-exe', type: 'checkbox' });
  const sheets = el('div', { id: 'sheets' });
  const show = async () => {
    const a = await call(READER, 'PrintRst', {
      vstrBillID: id.value.trim(), vstrBegID: from.value.trim(), vstrEndID: to.value.trim(),
      vlngFlag: byExe.checked ? 1 : 0, vdtmBeg: begin.value, vdtmEnd: end.value,
    });
    clear(sheets);
    if (!a.result) {
      notice(a.byref.vstrErr);
      return;
    }
    const rows = records(a.result);
    const bills = new Map();
    for (const r of rows) {
      if (!bills.has(r.BillID)) bills.set(r.BillID, []);
      bills.get(r.BillID).push(r);
    }
    if (!bills.size) sheets.append(el('p', { text: t('noRows') }));
    for (const billRows of bills.values()) sheets.append(billSheet(billRows));
  };
  const form = el('form', { class: 'filters no-print' },
    field(t('billId'), id), field(t('printRange'), from), field(t('dateTo'), to),
    field(t('dateFrom'), begin), field(t('dateTo'), end), field(t('byExeDate'), byExe),
    el('button', { type: 'submit', id: 'p-show', text: t('show') }),
    el('button', { type: 'button', id: 'p-print', text: t('print'), onclick: () => window.print() }));
  form.addEventListener('submit', (e) => { e.preventDefault(); show().catch((err) => notice(err.message)); });
  clear(target).append(el('h1', { class: 'no-print', text: t('print') }), form, sheets);
  if (id.value) await show();
}
