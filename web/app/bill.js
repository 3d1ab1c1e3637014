// One bill: header and lines (GetContent), returnable quantities of an
// executed bill (DetailInfo), and the actions the caller's rights and the
// bill's state allow. Every answer's text is shown as the component wrote it.
import { call, READER, WRITER, records, today } from './api.js';
import { el, clear, field, notice, noticeAfterNavigation, flushNotice, confirmAction } from './dom.js';
import { t } from './i18n.js';
import { check } from './check.js';

const HEADER_ARGS = {
  vdtmDate: '2000-01-01', vdtmExeDate: '2000-01-01', vstrOrdBillID: '', vstrOrdSortID: '',
  vstrOpCateID: '', vstrProjID: '', vstrProjName: '', vstrItemID: '', vstrItemName: '',
  vstrMaker: '', vstrExecer: '', vstrOperator: '', vstrMemo: '',
};

// Header and lines of a bill; throws the component's text when it refuses.
export async function loadBill(id) {
  const answer = await call(READER, 'GetContent', { vstrBillID: id, ...HEADER_ARGS });
  if (answer.result === null) throw new Error(answer.byref.vstrErr);
  return { header: answer.byref, lines: records(answer.result) };
}

async function returnable(header, id, lines) {
  const out = new Map();
  for (const line of lines) {
    const a = await call(READER, 'DetailInfo', {
      vstrOrdBill: header.vstrOrdBillID, vstrOrdSortID: header.vstrOrdSortID.trim(),
      vstrBillID: id, vstrSortID: line.SortID, vdtmOutDate: '2000-01-01', vlngArtID: 0,
      vstrArtCode: '', vcurStQty: '0', vcurCanUnQty: '0', vstrMeasID: '', vcurPrice: '0', vstrMemo: '',
    });
    if (a.result) out.set(line.SortID, a.byref.vcurCanUnQty);
  }
  return out;
}

function headerView(id, h, executed) {
  const pairs = [
    ['billId', id], ['date', h.vdtmDate], ['order', h.vstrOrdBillID], ['orderLine', h.vstrOrdSortID],
    ['opCate', h.vstrOpCateID], ['project', `${h.vstrProjID} ${h.vstrProjName}`.trim()],
    ['item', `${h.vstrItemID} ${h.vstrItemName}`.trim()], ['operator', h.vstrOperator],
    ['maker', h.vstrMaker], ['memo', h.vstrMemo],
    ['state', executed ? `${t('executedBy')}: ${h.vstrExecer} ${h.vdtmExeDate}` : t('notExecuted')],
  ];
  return el('dl', { class: 'header', id: 'bill-header' },
    pairs.map(([label, value]) => [el('dt', { text: t(label) }), el('dd', { 'data-field': label, text: value ?? '' })]));
}

function linesView(lines, open) {
  const cols = [['SortID', 'sortId'], ['ArtCode', 'artCode'], ['ArtName', 'artName'], ['MeasID', 'unit'],
    ['ShelfID', 'shelf'], ['ShelfName', 'shelfName'], ['SerialNo', 'serialNo'], ['ValidDate', 'validDate'],
    ['Qty', 'qty'], ['Price', 'price'], ['Amt', 'amount'], ['UnQty', 'returned'], ['Memo', 'memo'],
    ['OrdBomID', 'bomRow']];
  const head = el('tr', {}, cols.map(([, label]) => el('th', { text: t(label) })),
    open.size ? el('th', { text: t('canReturn') }) : null);
  const body = lines.map((l) => el('tr', {}, cols.map(([name]) => el('td', { text: l[name] ?? '' })),
    open.size ? el('td', { text: open.get(l.SortID) ?? '' }) : null));
  return el('table', { class: 'grid', id: 'bill-lines' }, el('thead', {}, head), el('tbody', {}, body));
}

// Runs a writer operation after confirmation and shows its answer.
async function act(label, method, args, after) {
  if (!confirmAction(`${t('confirm')} ${label}?`)) return;
  const answer = await call(WRITER, method, args);
  if (!answer.result) {
    notice(answer.byref.vstrErr);
    return;
  }
  noticeAfterNavigation(`${label}: ${t('done')}`);
  await after();
}

export async function showBill(target, context, id) {
  const { header, lines } = await loadBill(id);
  const executed = header.vstrExecer !== '';
  const open = executed ? await returnable(header, id, lines) : new Map();
  let editable = false;
  if (!executed && context.rights.edit) {
    editable = (await call(READER, 'CanEdit', { vstrID: id })).result === true;
  }
  const reload = async () => {
    await showBill(clear(target), context, id);
    flushNotice();
  };
  const actions = el('div', { class: 'actions no-print' });
  const checked = el('div', { id: 'check-result', class: 'no-print' });
  if (editable) {
    actions.append(el('button', { type: 'button', id: 'act-revise', text: t('revise'),
      onclick: () => { location.hash = `#edit/${encodeURIComponent(id)}`; } }));
    actions.append(el('button', { type: 'button', id: 'act-delete', text: t('delete'),
      onclick: () => act(t('delete'), 'Delete', { vstrID: id }, async () => { location.hash = '#list'; })
        .catch((e) => notice(e.message)) }));
  }
  if (!executed && context.rights.exec) {
    const date = el('input', { type: 'date', id: 'exe-date', value: today() });
    actions.append(field(t('exeDate'), date), el('button', { type: 'button', id: 'act-execute', text: t('execute'),
      onclick: () => act(t('execute'), 'ExecBill', { vstrID: id, vdtmExeDate: date.value }, reload)
        .catch((e) => notice(e.message)) }),
    el('button', { type: 'button', id: 'act-check', text: t('check'),
      onclick: () => check(checked, 'ExecBill', { vstrID: id, vdtmExeDate: date.value })
        .catch((e) => notice(e.message)) }));
  }
  if (executed && context.rights.unexec) {
    actions.append(el('button', { type: 'button', id: 'act-reverse', text: t('reverse'),
      onclick: () => act(t('reverse'), 'UnExecBill', { vstrID: id }, reload).catch((e) => notice(e.message)) }));
  }
  actions.append(el('a', { href: `#print?id=${encodeURIComponent(id)}`, id: 'act-print', text: t('print') }));
  target.append(el('h1', { text: `${t('title')} ${id}` }), headerView(id, header, executed), actions,
    checked, el('h2', { text: t('lines') }), linesView(lines, open));
}
