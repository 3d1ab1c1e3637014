// The "check" step: a dry run of a writer call before the real one. The
// component runs the call as usual and rolls it back, so the check shows
// the refusal the call would meet, every line short of stock, and the
// stock movements it would post, while nothing is changed.
import { call, WRITER } from './api.js';
import { el, clear, notice } from './dom.js';
import { t } from './i18n.js';

function table(id, cols, rows) {
  return el('table', { class: 'grid', id },
    el('thead', {}, el('tr', {}, cols.map(([, label]) => el('th', { text: t(label) })))),
    el('tbody', {}, rows.map((r) => el('tr', {}, cols.map(([name]) => el('td', { text: String(r[name] ?? '') }))))));
}

// Dry-runs WRITER.method(args) and shows its answer in `target`.
export async function check(target, method, args) {
  const answer = await call(WRITER, method, args, { dryRun: true });
  clear(target);
  if (answer.result) notice(t('checkOk'), 'ok');
  else notice(answer.byref.vstrErr);
  const problems = answer.problems || [];
  if (problems.length) {
    target.append(el('h3', { text: t('shortLines') }), table('check-problems',
      [['bill', 'billId'], ['line', 'sortId'], ['shelf', 'shelf'], ['article', 'article'],
        ['needed', 'needed'], ['available', 'available'], ['shortfall', 'shortfall']], problems));
  }
  const moves = (answer.effects && answer.effects.stock) || [];
  if (moves.length) {
    target.append(el('h3', { text: t('movements') }), table('check-moves',
      [['bill', 'billId'], ['line', 'sortId'], ['shelf', 'shelf'], ['article', 'article'],
        ['quantity', 'qty'], ['after', 'balanceAfter']], moves));
  }
  return answer;
}
