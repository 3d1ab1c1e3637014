// Issue plan → bills: paste or upload a plan (CSV or tab-separated, first
// row naming the columns), see the bills it makes, grouped as the writer
// groups them (consecutive rows of one order line form one bill), confirm.
import { call, READER, WRITER, records, rowset, today } from './api.js';
import { el, clear, field, notice } from './dom.js';
import { t } from './i18n.js';
import { check } from './check.js';

const PLAN_FIELDS = [
  { name: 'OrderID', type: 'text' }, { name: 'OrderSortID', type: 'text' }, { name: 'DeptID', type: 'text' },
  { name: 'SortID', type: 'text' }, { name: 'ArtID', type: 'int' }, { name: 'MeasID', type: 'text' },
  { name: 'ShelfID', type: 'text' }, { name: 'SerialNo', type: 'text' }, { name: 'Qty', type: 'currency' },
  { name: 'Memo', type: 'text' }, { name: 'OrdBomID', type: 'int' },
];

// Rows of delimited text; the delimiter is a tab when the first line has one.
export function parseDelimited(text) {
  const firstLine = text.split(/\r?\n/, 1)[0] || '';
  const sep = firstLine.includes('\t') ? '\t' : ',';
  const rows = [];
  let row = [];
  let cell = '';
  let quoted = false;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') { cell += '"'; i++; } else if (c === '"') quoted = false;
      else cell += c;
    } else if (c === '"' && cell === '') quoted = true;
    else if (c === sep) { row.push(cell); cell = ''; }
    else if (c === '\n' || c === '\r') {
      if (c === '\r' && text[i + 1] === '\n') i++;
      row.push(cell); cell = '';
      if (row.some((v) => v !== '')) rows.push(row);
      row = [];
    } else cell += c;
  }
  row.push(cell);
  if (row.some((v) => v !== '')) rows.push(row);
  return rows;
}

// Plan rows as objects, with the errors of the text (unknown columns,
// numbers that are not numbers) listed by line.
function readPlan(text) {
  const rows = parseDelimited(text);
  if (rows.length < 2) return { plan: [], errors: [t('noRows')] };
  const names = rows[0].map((n) => n.trim());
  const known = new Map(PLAN_FIELDS.map((f) => [f.name.toLowerCase(), f]));
  const errors = [];
  const columns = names.map((n) => {
    const f = known.get(n.toLowerCase());
    if (!f) errors.push(`? ${n}`);
    return f;
  });
  const plan = rows.slice(1).map((cells, i) => {
    const rec = {};
    columns.forEach((f, c) => {
      if (!f) return;
      const v = (cells[c] ?? '').trim();
      if (f.type === 'int') {
        if (v !== '' && !/^-?\d+$/.test(v)) errors.push(`${i + 2}: ${f.name} ${v}`);
        rec[f.name] = v === '' ? 0 : Number(v);
      } else if (f.type === 'currency') {
        if (!/^-?\d+(\.\d{1,4})?$/.test(v)) errors.push(`${i + 2}: ${f.name} ${v}`);
        rec[f.name] = v;
      } else {
        rec[f.name] = f.name === 'DeptID' && v === '' ? null : v;
      }
    });
    return rec;
  });
  return { plan, errors };
}

// Consecutive rows with the same order and order line make one bill.
export function groupPlan(plan) {
  const groups = [];
  let order = '';
  let line = '';
  for (const row of plan) {
    if (groups.length === 0 || (row.OrderID ?? order) !== order || (row.OrderSortID ?? line) !== line) {
      order = row.OrderID ?? order;
      line = row.OrderSortID ?? line;
      groups.push({ order, line, rows: [] });
    }
    groups[groups.length - 1].rows.push(row);
  }
  return groups;
}

async function billsOn(date) {
  const a = await call(READER, 'BillList', {
    vstrBillID: '', vdtmBegin: date, vdtmEnd: date, vstrShopID: '', vlngState: 0, vstrMaker: '',
  });
  return a.result ? records(a.result) : [];
}

export async function showPlan(target) {
  const text = el('textarea', { id: 'plan-text', rows: '8', spellcheck: 'false' });
  const file = el('input', { type: 'file', id: 'plan-file', accept: '.csv,.tsv,.txt,text/csv,text/tab-separated-values' });
  const date = el('input', { type: 'date', id: 'plan-date', value: today() });
  const preview = el('div', { id: 'plan-preview' });
  let current = null;
  const showPreview = () => {
    const { plan, errors } = readPlan(text.value);
    clear(preview);
    current = null;
    if (errors.length) {
      notice(errors.join('\n'));
      return;
    }
    notice('');
    const groups = groupPlan(plan);
    current = { plan, groups };
    preview.append(el('h2', { text: `${t('planBills')}: ${groups.length}` }),
      el('table', { class: 'grid', id: 'plan-groups' },
        el('thead', {}, el('tr', {}, el('th', { text: '#' }), el('th', { text: t('order') }),
          el('th', { text: t('orderLine') }), el('th', { text: t('lines') }))),
        el('tbody', {}, groups.map((g, i) => el('tr', {}, el('td', { text: String(i + 1) }),
          el('td', { text: g.order }), el('td', { text: g.line }), el('td', { text: String(g.rows.length) }))))),
      el('button', { type: 'button', id: 'plan-check', text: t('check'), onclick: () => checkPlan().catch((e) => notice(e.message)) }),
      el('button', { type: 'button', id: 'plan-confirm', text: t('makeBills'), onclick: () => make().catch((e) => notice(e.message)) }),
      checked);
  };
  const checked = el('div', { id: 'check-result' });
  const planArgs = () => ({
    vdtmDate: date.value, vlngCount: current.groups.length, vrstDetail: rowset(PLAN_FIELDS, current.plan),
  });
  const checkPlan = async () => {
    if (current) await check(checked, 'AddFromOutPlan', planArgs());
  };
  const make = async () => {
    if (!current || !window.confirm(`${t('confirm')} ${t('makeBills')} (${current.groups.length})?`)) return;
    const before = new Set((await billsOn(date.value)).map((b) => b.BillID));
    const a = await call(WRITER, 'AddFromOutPlan', planArgs());
    if (!a.result) {
      notice(a.byref.vstrErr);
      return;
    }
    const made = (await billsOn(date.value)).filter((b) => !before.has(b.BillID));
    clear(preview).append(el('h2', { text: `${t('made')}: ${made.length}` }),
      el('ul', { id: 'plan-made' }, made.map((b) => el('li', {},
        el('a', { href: `#bill/${encodeURIComponent(b.BillID)}`, text: `${b.BillID} ${b.OrdBill ?? ''} ${b.OrdSortID ?? ''}` })))));
    notice(`${t('made')}: ${made.map((b) => b.BillID).join(', ')}`, 'ok');
    current = null;
  };
  file.addEventListener('change', async () => {
    if (!file.files.length) return;
    text.value = await file.files[0].text();
    showPreview();
  });
  clear(target).append(el('h1', { text: t('plan') }),
    field(t('planText'), text), field(t('planFile'), file), field(t('date'), date),
    el('button', { type: 'button', id: 'plan-preview-button', text: t('preview'), onclick: showPreview }),
    preview);
}
