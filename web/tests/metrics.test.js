// The metrics, read by an independent parser of the Prometheus text format.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import parsePrometheusTextFormat from 'parse-prometheus-text-format';
import { apiCall, startDemo } from './harness.js';

let demo;
before(async () => { demo = await startDemo(); });
after(async () => demo?.stop());

async function families() {
  const r = await fetch(`${demo.base}/metrics`);
  assert.equal(r.status, 200);
  assert.match(r.headers.get('content-type'), /^text\/plain; version=0\.0\.4/);
  return new Map(parsePrometheusTextFormat(await r.text()).map((f) => [f.name, f]));
}

function value(family, labels) {
  const m = family.metrics.find((x) => Object.entries(labels).every(([k, v]) => (x.labels || {})[k] === v));
  return m ? Number(m.value ?? m.count) : undefined;
}

test('parses, and counts a refusal, a success and a commit as they happen', async () => {
  const before = await families();
  for (const name of ['plexavo_calls_total', 'plexavo_call_duration_seconds', 'plexavo_call_conflict_retries_total',
    'plexavo_db_wait_seconds_total', 'plexavo_db_commits_total', 'plexavo_db_rollbacks_total',
    'plexavo_db_sessions', 'plexavo_build_info']) {
    assert.ok(before.has(name), name);
  }
  const commits = Number(before.get('plexavo_db_commits_total').metrics[0].value);
  const refused = await apiCall(demo, demo.tokens.clerk, 'Plexavo.MF_OutBillE', 'ExecBill',
    { vstrID: '202612060001', vdtmExeDate: '2026-12-31', vstrErr: '' });
  assert.equal(refused.body.result, false);
  const ok = await apiCall(demo, demo.tokens.admin, 'Plexavo.MF_OutBill', 'CurPeriod', { vstrErr: '' });
  assert.equal(ok.status, 200);
  const now = await families();
  assert.equal(value(now.get('plexavo_calls_total'), { class: 'MF_OutBillE', operation: 'ExecBill', outcome: 'refusal' }), 1);
  assert.equal(value(now.get('plexavo_calls_total'), { class: 'MF_OutBill', operation: 'CurPeriod', outcome: 'success' }), 1);
  // This parser folds labelled histograms together; it must still read
  // the family as a histogram.
  assert.equal(now.get('plexavo_call_duration_seconds').type, 'HISTOGRAM');
  // The refused writer call rolled back; nothing was committed by it.
  assert.equal(Number(now.get('plexavo_db_commits_total').metrics[0].value), commits);
  assert.ok(Number(now.get('plexavo_db_rollbacks_total').metrics[0].value) >= 1);
  const text = await (await fetch(`${demo.base}/metrics`)).text();
  assert.ok(!text.includes(demo.tokens.admin) && !text.includes(demo.tokens.clerk));
});
