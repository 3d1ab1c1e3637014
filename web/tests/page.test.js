// The bill-entry page in a headless Chromium, on the demo company: a
// storekeeper's whole round, each step as a user does it. Each test keeps a
// screenshot of its last state.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { join } from 'node:path';
import { apiCall, SCREENSHOTS, startBrowser, startDemo } from './harness.js';

const WRITER = 'Plexavo.MF_OutBillE';
let demo;
let browser;
let page;
let billId;

async function signedInPage(token) {
  const p = await browser.newPage();
  p.on('dialog', (d) => d.accept());
  await p.goto(`${demo.base}/#signin?db=demo&token=${token}`);
  await p.waitForFunction(() => document.getElementById('who').textContent.includes('·'));
  return p;
}

async function shot(p, name) {
  await p.screenshot({ path: join(SCREENSHOTS, `${name}.png`), fullPage: true });
}

async function noticeText(p) {
  await p.waitForSelector('#notice .message');
  return p.textContent('#notice .message');
}

describe('bill-entry page', { concurrency: false }, () => {
  before(async () => {
    demo = await startDemo();
    browser = await startBrowser();
  });
  after(async () => {
    await browser?.close();
    await demo?.stop();
  });

  test('signs in by link, keeps the token out of the address bar and shows who and the period', async () => {
    page = await signedInPage(demo.tokens.admin);
    const who = await page.textContent('#who');
    assert.match(who, /^系统管理员 · 当前期间 \d{6}$/);
    assert.ok(!page.url().includes(demo.tokens.admin), page.url());
    assert.equal(await page.textContent('#title'), '生产领料单');
    await shot(page, 'sign-in');
  });

  test('a wrong token is refused with the server text and leads back to sign-in', async () => {
    const p = await browser.newPage();
    await p.goto(`${demo.base}/#signin?db=demo&token=${'0'.repeat(64)}`);
    await p.waitForSelector('#signin-token');
    assert.match(await noticeText(p), /token/);
    await shot(p, 'sign-in-refused');
    await p.close();
  });

  test('creates a bill with look-ups using only the keyboard', async () => {
    await page.goto(`${demo.base}/#new`);
    await page.waitForSelector('#line-grid [data-cell="SortID"]');
    const k = page.keyboard;
    // The form opens with the cursor in the order field.
    assert.equal(await page.evaluate(() => document.activeElement.id), 'h-order');
    await k.type('MO-001');
    await k.press('Tab'); await k.type('1');
    await k.press('Tab'); await k.type('OC01');
    await k.press('Tab'); await k.type('PRJ-01');
    await k.press('Tab'); await k.type('CI-01');
    await k.press('Tab'); await k.type('E001');
    await k.press('Tab'); await k.type('by keyboard');
    await k.press('Tab'); // execute on save: left off
    await k.press('Tab'); // line 1, line number (given)
    await k.press('Enter'); await k.type('1'); // BOM row 1: bolts of MO-001 line 1
    await k.press('Enter');
    await page.waitForFunction(() => document.querySelector('[data-cell="ArtName"]').textContent !== '');
    await page.waitForFunction(() => document.querySelector('[data-cell="ShelfName"]').textContent !== '');
    for (let i = 0; i < 4; i++) await k.press('Enter'); // article, unit, shelf, serial no.
    await k.press('Enter'); // valid date
    await k.type('5');
    await k.press('Enter'); await k.type('first');
    await k.press('Enter'); // last cell: a new line
    const lines = await page.$$('#line-grid tbody tr');
    assert.equal(lines.length, 2);
    await k.press('Enter'); await k.type('2'); // BOM row 2: nuts
    await k.press('Enter');
    await page.waitForFunction(() => document.querySelectorAll('[data-cell="ShelfName"]')[1].textContent !== '');
    for (let i = 0; i < 5; i++) await k.press('Enter');
    await k.type('3');
    await k.press('Tab'); // memo
    await k.press('Tab'); // add line
    await k.press('Tab'); // save
    await k.press('Enter');
    await page.waitForFunction(() => location.hash.startsWith('#bill/'));
    billId = decodeURIComponent(page.url().split('#bill/')[1]);
    assert.match(billId, /^\d{12}$/);
    await page.waitForSelector('#bill-lines');
    assert.equal(await page.textContent('[data-field="order"]'), 'MO-001');
    assert.equal(await page.textContent('[data-field="memo"]'), 'by keyboard');
    const rows = await page.$$eval('#bill-lines tbody tr', (trs) => trs.map((tr) => [...tr.cells].map((c) => c.textContent)));
    assert.deepEqual(rows.map((r) => [r[0], r[1], r[8]]), [['1', 'BLT-M6', '5.0000'], ['2', 'NUT-M6', '3.0000']]);
    assert.match(await noticeText(page), new RegExp(billId));
    await shot(page, 'create-by-keyboard');
  });

  test('lists and filters bills, sorts a column and opens a bill', async () => {
    await page.goto(`${demo.base}/#list`);
    await page.waitForSelector('#bill-list');
    assert.match(await page.textContent('#bill-count'), /^1 /);
    await page.selectOption('#f-state', '2');
    await page.click('#f-search');
    await page.waitForFunction(() => document.getElementById('bill-count')?.textContent.startsWith('0 '));
    await page.selectOption('#f-state', '1');
    await page.fill('#f-id', billId);
    await page.click('#f-search');
    await page.waitForSelector(`#bill-list tr[data-bill="${billId}"]`);
    await page.click('button.sort[data-column="OrdBill"]');
    assert.equal(await page.getAttribute('button.sort[data-column="OrdBill"]', 'aria-sort'), 'ascending');
    await shot(page, 'list-filtered');
    await page.click(`#bill-list tr[data-bill="${billId}"]`);
    await page.waitForSelector('#bill-header');
  });

  test('revises the bill', async () => {
    await page.click('#act-revise');
    await page.waitForSelector('#h-memo');
    await page.fill('#h-memo', 'revised');
    await page.click('#save');
    await page.waitForFunction(() => document.querySelector('[data-field="memo"]')?.textContent === 'revised');
    await shot(page, 'revise');
  });

  test('executes it, shows the refusal of a second execution exactly, reverses and deletes it', async () => {
    const stale = await signedInPage(demo.tokens.admin);
    await stale.goto(`${demo.base}/#bill/${billId}`);
    await stale.waitForSelector('#act-execute');

    // The check runs the execution and keeps nothing: the bill stays open.
    await page.click('#act-check');
    await page.waitForSelector('#check-moves tbody tr');
    assert.equal(await noticeText(page), '检查通过，未保存任何更改');
    assert.equal(await page.textContent('[data-field="state"]'), '未执行');
    await shot(page, 'check');

    await page.click('#act-execute');
    await page.waitForFunction(() => document.querySelector('[data-field="state"]')?.textContent.startsWith('已执行'));
    assert.ok(!(await page.$('#act-execute')), 'an executed bill offers no execution');
    assert.ok(!(await page.$('#act-revise')), 'an executed bill offers no revision');
    await shot(page, 'execute');

    await stale.click('#act-execute');
    const shown = await noticeText(stale);
    const direct = await apiCall(demo, demo.tokens.admin, WRITER, 'ExecBill',
      { vstrID: billId, vdtmExeDate: '2026-12-31', vstrErr: '' });
    assert.equal(direct.body.result, false);
    assert.equal(shown, direct.body.byref.vstrErr);
    assert.equal(shown, `编号为 ${billId} 的生产领料单已经执行！`);
    await shot(stale, 'execute-twice-refused');
    await stale.close();

    await page.click('#act-reverse');
    await page.waitForFunction(() => document.querySelector('[data-field="state"]')?.textContent === '未执行');
    await shot(page, 'reverse');

    await page.click('#act-delete');
    await page.waitForFunction(() => location.hash === '#list');
    await page.waitForSelector('#bill-count');
    assert.equal(await page.$(`#bill-list tr[data-bill="${billId}"]`), null);
    await shot(page, 'delete');
  });

  test('a clerk without the execute right is offered no execution, and the writer refuses it too', async () => {
    const clerk = await signedInPage(demo.tokens.clerk);
    await clerk.goto(`${demo.base}/#new`);
    await clerk.waitForSelector('#h-order');
    await clerk.close();
    const direct = await apiCall(demo, demo.tokens.clerk, WRITER, 'ExecBill',
      { vstrID: '202612060001', vdtmExeDate: '2026-12-31', vstrErr: '' });
    assert.equal(direct.body.result, false);
    assert.notEqual(direct.body.byref.vstrErr, '');
  });

  test('turns a plan of 5 rows into 3 bills', async () => {
    const plan = [
      'OrderID\tOrderSortID\tDeptID\tSortID\tArtID\tMeasID\tShelfID\tSerialNo\tQty\tMemo\tOrdBomID',
      'MO-001\t1\tD11\t1\t1001\tpcs\tA-01\t\t2\tplan\t1',
      'MO-001\t1\tD11\t2\t1002\tpcs\tA-01\t\t2\tplan\t2',
      'MO-001\t2\tD12\t1\t1001\tpcs\tA-01\t\t1\tplan\t5',
      'MO-002\t1\tD11\t1\t1003\tkg\tB-01\t\t3\tplan\t6',
      'MO-002\t1\tD11\t2\t1003\tkg\tB-01\t\t1.5\tplan\t6',
    ].join('\n');
    await page.goto(`${demo.base}/#plan`);
    await page.fill('#plan-text', plan);
    await page.click('#plan-preview-button');
    await page.waitForSelector('#plan-groups');
    const groups = await page.$$eval('#plan-groups tbody tr', (trs) => trs.map((tr) => [...tr.cells].map((c) => c.textContent)));
    assert.deepEqual(groups, [['1', 'MO-001', '1', '2'], ['2', 'MO-001', '2', '1'], ['3', 'MO-002', '1', '2']]);
    await page.click('#plan-check');
    await page.waitForSelector('#check-moves tbody tr');
    assert.equal((await page.$$('#check-moves tbody tr')).length, 5);
    await page.click('#plan-confirm');
    await page.waitForSelector('#plan-made li');
    const made = await page.$$eval('#plan-made li', (lis) => lis.map((li) => li.textContent));
    assert.equal(made.length, 3);
    assert.deepEqual(made.map((m) => m.split(' ').slice(1).join(' ')), ['MO-001 1', 'MO-001 2', 'MO-002 1']);
    await shot(page, 'plan');
  });

  test('prints a bill for A4 with its header on every page', async () => {
    await page.click('#plan-made li a');
    await page.waitForSelector('#act-print');
    await page.click('#act-print');
    await page.waitForSelector('.sheet thead .sheet-title');
    assert.equal(await page.$$eval('.sheet', (s) => s.length), 1);
    await page.emulateMedia({ media: 'print' });
    assert.equal(await page.$eval('.bar', (b) => getComputedStyle(b).display), 'none');
    assert.equal(await page.$eval('.sheet thead', (h) => getComputedStyle(h).display), 'table-header-group');
    await shot(page, 'print');
    await page.emulateMedia({ media: 'screen' });
  });

  test('shows Traditional Chinese labels to a "T" user, and English on request', async () => {
    demo.admin('user', 'add', 'demo', 'chen', '--name', '陳明', '--lang', 'T');
    demo.admin('user', 'grant', 'demo', 'chen', 'MF0301');
    const token = demo.admin('user', 'token', 'demo', 'chen');
    const p = await signedInPage(token);
    assert.equal(await p.textContent('#title'), '生產領料單');
    assert.match(await p.textContent('#who'), /^陳明 · 當前期間 /);
    await p.waitForSelector('#bill-count');
    await shot(p, 'traditional');
    await p.click('#lang-switch');
    await p.waitForFunction(() => document.getElementById('title').textContent === 'Material issue bills');
    await shot(p, 'english');
    await p.close();
  });
});
