// New and revised bills: the header fields and an editable line grid with
// the reader's look-ups for every code. Keyboard entry: Tab or Enter moves
// to the next cell; Enter in the last cell of the last line adds a line.
import { call, READER, WRITER, records, rowset, today } from './api.js';
import { el, clear, field, notice, noticeAfterNavigation } from './dom.js';
import { t } from './i18n.js';
import { loadBill } from './bill.js';

const DETAIL_FIELDS = [
  { name: 'SortID', type: 'text' }, { name: 'ArtID', type: 'int' }, { name: 'MeasID', type: 'text' },
  { name: 'ShelfID', type: 'text' }, { name: 'SerialNo', type: 'text' }, { name: 'ValidDate', type: 'date' },
  { name: 'Qty', type: 'currency' }, { name: 'Memo', type: 'text' }, { name: 'OrdBomID', type: 'int' },
];

// The cells of one grid line, in keyboard order.
const CELLS = [
  ['SortID', 'sortId'], ['OrdBomID', 'bomRow'], ['ArtCode', 'artCode'], ['MeasID', 'unit'],
  ['ShelfID', 'shelf'], ['SerialNo', 'serialNo'], ['ValidDate', 'validDate'], ['Qty', 'qty'], ['Memo', 'memo'],
];

class LineGrid {
  constructor(host, lookups) {
    this.host = host;
    this.lookups = lookups;
    this.lines = [];
    this.body = el('tbody');
    host.append(el('table', { class: 'grid edit', id: 'line-grid' },
      el('thead', {}, el('tr', {}, CELLS.map(([, label]) => el('th', { text: t(label) })),
        el('th', { text: t('artName') }), el('th', { text: t('shelfName') }), el('th'))),
      this.body));
  }

  add(values = {}) {
    const line = { values: { ...values }, inputs: {}, row: null, name: null, shelfName: null };
    if (!line.values.SortID) line.values.SortID = String(this.nextSortId());
    line.name = el('td', { class: 'readonly', 'data-cell': 'ArtName', text: values.ArtName ?? '' });
    line.shelfName = el('td', { class: 'readonly', 'data-cell': 'ShelfName', text: values.ShelfName ?? '' });
    const cells = CELLS.map(([name]) => {
      const input = el('input', {
        'data-cell': name, value: line.values[name] ?? '',
        type: name === 'ValidDate' ? 'date' : 'text',
        list: name === 'OrdBomID' ? 'bom-rows' : undefined,
        inputmode: name === 'Qty' ? 'decimal' : undefined,
      });
      input.addEventListener('change', () => this.changed(line, name).catch((e) => notice(e.message)));
      input.addEventListener('keydown', (e) => this.key(e, line, name));
      line.inputs[name] = input;
      return el('td', {}, input);
    });
    const remove = el('button', { type: 'button', class: 'remove', tabindex: '-1', text: t('removeLine'),
      onclick: () => { this.lines = this.lines.filter((l) => l !== line); line.row.remove(); } });
    line.row = el('tr', {}, cells, line.name, line.shelfName, el('td', {}, remove));
    this.lines.push(line);
    this.body.append(line.row);
    return line;
  }

  nextSortId() {
    const used = this.lines.map((l) => Number(l.inputs.SortID?.value ?? l.values.SortID)).filter(Number.isFinite);
    return used.length ? Math.max(...used) + 1 : 1;
  }

  key(e, line, name) {
    if (e.key !== 'Enter') return;
    e.preventDefault();
    const index = CELLS.findIndex(([n]) => n === name);
    if (index < CELLS.length - 1) {
      line.inputs[CELLS[index + 1][0]].focus();
      return;
    }
    const at = this.lines.indexOf(line);
    const next = at < this.lines.length - 1 ? this.lines[at + 1] : this.add();
    next.inputs.SortID.focus();
  }

  // Look-ups as a code is entered: a BOM row fills the article; an article
  // code gives id, name, unit and usual shelf; a shelf gives its name when
  // the user may issue from it.
  async changed(line, name) {
    const value = line.inputs[name].value.trim();
    if (name === 'OrdBomID' && value) {
      const row = this.lookups.bom.find((b) => String(b.ID) === value);
      if (row) {
        line.values.ArtID = row.ArtID;
        this.set(line, 'ArtCode', row.ArtCode);
        this.set(line, 'MeasID', row.MeasID);
        this.set(line, 'SerialNo', row.SerialNo);
        line.name.textContent = row.ArtName ?? '';
        await this.articleDefaults(line, row.ArtCode, false);
      }
    } else if (name === 'ArtCode' && value) {
      await this.articleDefaults(line, value, true);
    } else if (name === 'ShelfID' && value) {
      const a = await call(READER, 'GetShelfName', { vstrID: value });
      line.shelfName.textContent = a.result || '';
      if (a.byref.vstrErr) notice(a.byref.vstrErr);
    }
  }

  async articleDefaults(line, code, fillUnit) {
    const a = await call(READER, 'ArtExInfo', {
      vstrArtCode: code, vlngArtID: 0, vstrArtName: '', vstrMeasID: '', vlngSerial: 0, vlngKeepDay: 0, vstrShelfID: '',
    });
    if (!a.result) {
      notice(a.byref.vstrErr);
      return;
    }
    line.values.ArtID = a.byref.vlngArtID;
    line.name.textContent = a.byref.vstrArtName;
    if (fillUnit || !line.inputs.MeasID.value) this.set(line, 'MeasID', a.byref.vstrMeasID);
    if (!line.inputs.ShelfID.value && a.byref.vstrShelfID) {
      this.set(line, 'ShelfID', a.byref.vstrShelfID);
      await this.changed(line, 'ShelfID');
    }
  }

  set(line, name, value) {
    line.inputs[name].value = value ?? '';
  }

  // The line set as the writer reads it.
  detail() {
    const rows = this.lines.map((l) => {
      const v = (n) => l.inputs[n].value.trim();
      return {
        SortID: v('SortID'), ArtID: l.values.ArtID ?? null, MeasID: v('MeasID'), ShelfID: v('ShelfID'),
        SerialNo: v('SerialNo'), ValidDate: v('ValidDate') || null, Qty: v('Qty') || '0',
        Memo: v('Memo'), OrdBomID: v('OrdBomID') ? Number(v('OrdBomID')) : 0,
      };
    });
    return rowset(DETAIL_FIELDS, rows);
  }
}

async function loadBom(order, line, list) {
  if (!order) return [];
  const a = await call(READER, 'OrderBomRst', {
    vstrBillID: order, vstrSortID: line, vstrArtCode: '', vstrArtName: '', vcurQty: '0',
  });
  const rows = a.result ? records(a.result) : [];
  clear(list).append(...rows.map((b) => el('option', { value: String(b.ID),
    label: `${b.ArtCode ?? ''} ${b.ArtName ?? ''} ${b.SerialNo ?? ''} ${b.Qty}/${b.OutQty}`.trim() })));
  if (!a.result && a.byref.vstrErr) notice(a.byref.vstrErr);
  return rows;
}

function nameLookup(method, input, output) {
  input.addEventListener('change', async () => {
    const value = input.value.trim();
    output.textContent = '';
    if (!value) return;
    const a = await call(READER, method, { vstrID: value }).catch((e) => ({ byref: { vstrErr: e.message } }));
    output.textContent = a.result || '';
    if (a.byref.vstrErr) notice(a.byref.vstrErr);
  });
}

export async function showForm(target, context, id) {
  const existing = id ? await loadBill(id) : null;
  const h = existing ? existing.header : null;
  const [opCates, operators] = await Promise.all([
    call(READER, 'GetRstOpCate').then((a) => records(a.result)),
    call(READER, 'GetRstMaker').then((a) => records(a.result)),
  ]);
  const bomList = el('datalist', { id: 'bom-rows' });
  const lookups = { bom: [] };
  const input = (idName, value, type = 'text') => el('input', { id: idName, type, value: value ?? '' });
  const f = {
    number: input('h-number', id),
    date: input('h-date', h ? h.vdtmDate : today(), 'date'),
    order: input('h-order', h?.vstrOrdBillID),
    line: input('h-line', h?.vstrOrdSortID),
    opCate: el('select', { id: 'h-opcate' }, el('option', { value: '', text: '' }),
      opCates.map((o) => el('option', { value: o.ID, text: `${o.ID} ${o.Name ?? ''}` }))),
    project: input('h-project', h?.vstrProjID),
    item: input('h-item', h?.vstrItemID),
    operator: el('input', { id: 'h-operator', list: 'operators', value: h?.vstrOperator ?? '' }),
    memo: input('h-memo', h?.vstrMemo),
    autoExe: el('input', { id: 'h-autoexe', type: 'checkbox' }),
  };
  f.opCate.value = h?.vstrOpCateID ?? '';
  const projectName = el('span', { class: 'looked-up', id: 'h-project-name', text: h?.vstrProjName ?? '' });
  const itemName = el('span', { class: 'looked-up', id: 'h-item-name', text: h?.vstrItemName ?? '' });
  nameLookup('GetProjectName', f.project, projectName);
  nameLookup('GetItemName', f.item, itemName);
  const refreshBom = async () => { lookups.bom = await loadBom(f.order.value.trim(), f.line.value.trim(), bomList); };
  f.order.addEventListener('change', () => refreshBom().catch((e) => notice(e.message)));
  f.line.addEventListener('change', () => refreshBom().catch((e) => notice(e.message)));

  const gridHost = el('div', { class: 'grid-host' });
  const header = el('div', { class: 'form-header' },
    field(t('billId'), f.number), field(t('date'), f.date), field(t('order'), f.order),
    field(t('orderLine'), f.line), field(t('opCate'), f.opCate),
    field(t('project'), el('span', {}, f.project, projectName)),
    field(t('item'), el('span', {}, f.item, itemName)), field(t('operator'), f.operator),
    field(t('memo'), f.memo), id ? null : field(t('executeOnSave'), f.autoExe));
  const save = el('button', { type: 'submit', id: 'save', text: t('save') });
  const form = el('form', { class: 'bill-form' },
    el('h1', { text: id ? `${t('revise')} ${id}` : t('newBill') }), header,
    el('datalist', { id: 'operators' }, operators.map((o) => el('option', { value: o.ID, label: o.Name ?? '' }))),
    bomList, el('h2', { text: t('lines') }), gridHost,
    el('div', { class: 'actions' },
      el('button', { type: 'button', id: 'add-line', text: t('addLine'), onclick: () => grid.add().inputs.SortID.focus() }),
      save, el('a', { href: id ? `#bill/${encodeURIComponent(id)}` : '#list', text: t('cancel') })));
  clear(target).append(form);
  const grid = new LineGrid(gridHost, lookups);
  if (existing) {
    await refreshBom();
    for (const l of existing.lines) grid.add({ ...l, OrdBomID: l.OrdBomID ? String(l.OrdBomID) : '' });
  } else {
    grid.add();
  }

  form.addEventListener('submit', async (e) => {
    e.preventDefault();
    save.disabled = true;
    try {
      const common = {
        vdtmDate: f.date.value, vstrOpCate: f.opCate.value, vstrOrdBill: f.order.value.trim(),
        vstrOrdSortID: f.line.value.trim(), vstrProject: f.project.value.trim(), vstrItem: f.item.value.trim(),
        vstrOperator: f.operator.value.trim(), vstrMemo: f.memo.value, vrstDetail: grid.detail(),
      };
      const a = id
        ? await call(WRITER, 'Edit', { vstrOldID: id, vstrNewID: f.number.value.trim(), ...common })
        : await call(WRITER, 'AddNew', { vstrID: f.number.value.trim(), ...common, vblnAutoExe: f.autoExe.checked });
      if (!a.result) {
        notice(a.byref.vstrErr);
        return;
      }
      const saved = id ? a.byref.vstrNewID : a.byref.vstrID;
      noticeAfterNavigation(`${t('saved')}: ${saved}`);
      location.hash = `#bill/${encodeURIComponent(saved)}`;
    } catch (err) {
      notice(err.message);
    } finally {
      save.disabled = false;
    }
  });
  f.order.focus();
}
