// Calls of the component through POST /v1/call, exactly as any other caller
// makes them, with the token and company database of this tab's sign-in.

const SESSION_KEY = 'plexavo.session';

export const READER = 'Plexavo.MF_OutBill';
export const WRITER = 'Plexavo.MF_OutBillE';

export function session() {
  const text = sessionStorage.getItem(SESSION_KEY);
  return text ? JSON.parse(text) : null;
}

export function signIn(db, token) {
  sessionStorage.setItem(SESSION_KEY, JSON.stringify({ db, token }));
}

export function signOut() {
  sessionStorage.removeItem(SESSION_KEY);
}

// A failure the server reported (HTTP status other than 200) or the network.
export class CallError extends Error {
  constructor(status, text) {
    super(text);
    this.status = status;
  }
}

// Runs progid.method with `args` (vstrDB and an empty vstrErr are added).
// Answers {result, byref}; a refusal is result false with byref.vstrErr.
// A dry run (writer only) changes nothing and adds {effects, problems}.
export async function call(progid, method, args = {}, { dryRun = false } = {}) {
  const s = session();
  if (!s) throw new CallError(401, 'not signed in');
  const full = { ...args, vstrDB: s.db };
  if (needsErr(progid, method)) full.vstrErr = '';
  let response;
  try {
    response = await fetch('/v1/call', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', Authorization: `Bearer ${s.token}` },
      body: JSON.stringify(dryRun ? { progid, method, args: full, dryRun } : { progid, method, args: full }),
    });
  } catch (e) {
    throw new CallError(0, String(e));
  }
  const body = await response.json().catch(() => ({ error: response.statusText }));
  if (!response.ok) throw new CallError(response.status, body.error || response.statusText);
  return body;
}

// The parameter lists of both classes, loaded once from /v1/interfaces:
// the rights questions carry no vstrErr.
let interfaces = null;
export async function loadInterfaces() {
  const response = await fetch('/v1/interfaces');
  interfaces = (await response.json()).interfaces;
}

function needsErr(progid, method) {
  if (!interfaces) return true;
  const itf = interfaces.find((i) => i.progid === progid);
  const op = itf && itf.operations.find((o) => o.operation === method);
  return !op || op.parameters.some((p) => p.name === 'vstrErr');
}

// Rowset JSON → array of objects keyed by field name.
export function records(rowset) {
  if (!rowset) return [];
  const names = rowset.fields.map((f) => f.name);
  return rowset.rows.map((row) => Object.fromEntries(names.map((n, i) => [n, row[i]])));
}

// Array of objects → rowset JSON with the given fields [{name, type}].
export function rowset(fields, rows) {
  return { fields, rows: rows.map((r) => fields.map((f) => (r[f.name] === undefined ? null : r[f.name]))) };
}

export function today() {
  const d = new Date();
  const pad = (n) => String(n).padStart(2, '0');
  return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}`;
}
