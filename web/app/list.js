// The bill list: the filters of BillList, sortable columns, the count.
import { call, READER, records } from './api.js';
import { el, clear, field, notice } from './dom.js';
import { t } from './i18n.js';

const COLUMNS = [
  ['BillID', 'billId'], ['Date', 'date'], ['OrdBill', 'order'], ['OrdSortID', 'orderLine'],
  ['OpCateName', 'opCate'], ['ProjName', 'project'], ['ItemName', 'item'],
  ['Operator', 'operator'], ['Maker', 'maker'], ['Execer', 'execer'], ['ExeDate', 'exeDate'],
  ['Notes', 'memo'],
];

// Filters survive moving to a bill and back within the tab.
const state = { filters: null, sort: 'BillID', descending: false };

function defaultFilters(context) {
  const year = (context.period || '').slice(0, 4) || String(new Date().getFullYear());
  return { id: '', begin: `${year}-01-01`, end: `${year}-12-31`, shop: '', state: '0', maker: '' };
}

function compare(a, b) {
  if (a === b) return 0;
  if (a === null || a === undefined) return -1;
  if (b === null || b === undefined) return 1;
  return String(a) < String(b) ? -1 : 1;
}

function renderTable(host, rows) {
  const sorted = [...rows].sort((a, b) => compare(a[state.sort], b[state.sort]) * (state.descending ? -1 : 1));
  const head = el('tr', {}, COLUMNS.map(([name, label]) => el('th', {},
    el('button', {
      type: 'button', class: 'sort', 'data-column': name,
      'aria-sort': state.sort === name ? (state.descending ? 'descending' : 'ascending') : 'none',
      text: t(label) + (state.sort === name ? (state.descending ? ' ▼' : ' ▲') : ''),
      onclick: () => {
        state.descending = state.sort === name ? !state.descending : false;
        state.sort = name;
        renderTable(host, rows);
      },
    }))));
  const body = el('tbody', {}, sorted.map((r) => el('tr', {
    class: 'clickable', 'data-bill': r.BillID, tabindex: '0',
    onclick: () => { location.hash = `#bill/${encodeURIComponent(r.BillID)}`; },
    onkeydown: (e) => { if (e.key === 'Enter') location.hash = `#bill/${encodeURIComponent(r.BillID)}`; },
  }, COLUMNS.map(([name]) => el('td', { text: r[name] ?? '' })))));
  clear(host).append(
    el('p', { class: 'count', id: 'bill-count', text: `${rows.length} ${t('count')}` }),
    rows.length ? el('table', { class: 'grid', id: 'bill-list' }, el('thead', {}, head), body)
      : el('p', { text: t('noRows') }));
}

export async function showList(target, context) {
  state.filters = state.filters || defaultFilters(context);
  const f = state.filters;
  const shops = records((await call(READER, 'ShopRst')).result);
  const makers = records((await call(READER, 'GetRstUser')).result);
  const inputs = {
    id: el('input', { id: 'f-id', value: f.id }),
    begin: el('input', { id: 'f-begin', type: 'date', value: f.begin }),
    end: el('input', { id: 'f-end', type: 'date', value: f.end }),
    shop: el('select', { id: 'f-shop' }, el('option', { value: '', text: '' }),
      shops.map((s) => el('option', { value: s.ID, text: `${s.ID} ${s.Name ?? ''}` }))),
    state: el('select', { id: 'f-state' },
      el('option', { value: '0', text: t('stateAll') }),
      el('option', { value: '1', text: t('stateOpen') }),
      el('option', { value: '2', text: t('stateDone') })),
    maker: el('select', { id: 'f-maker' }, el('option', { value: '', text: '' }),
      makers.map((m) => el('option', { value: m.UserName, text: m.UserName }))),
  };
  inputs.shop.value = f.shop;
  inputs.state.value = f.state;
  inputs.maker.value = f.maker;
  const results = el('div', { id: 'results' });
  const form = el('form', { class: 'filters no-print' },
    field(t('billId'), inputs.id), field(t('dateFrom'), inputs.begin), field(t('dateTo'), inputs.end),
    field(t('shop'), inputs.shop), field(t('state'), inputs.state), field(t('maker'), inputs.maker),
    el('button', { type: 'submit', id: 'f-search', text: t('search') }));
  const search = async () => {
    for (const key of Object.keys(inputs)) f[key] = inputs[key].value;
    const answer = await call(READER, 'BillList', {
      vstrBillID: f.id, vdtmBegin: f.begin, vdtmEnd: f.end, vstrShopID: f.shop,
      vlngState: Number(f.state), vstrMaker: f.maker,
    });
    if (!answer.result) {
      notice(answer.byref.vstrErr);
      clear(results);
      return;
    }
    notice('');
    renderTable(results, records(answer.result));
  };
  form.addEventListener('submit', (e) => { e.preventDefault(); search().catch((err) => notice(err.message)); });
  clear(target).append(el('h1', { text: t('list') }), form, results);
  await search();
}
