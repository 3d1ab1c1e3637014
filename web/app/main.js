// The bill-entry page: sign-in, then one view per hash route.
//   #signin?db=DB&token=TOKEN   the sign-in link (the token never leaves the tab)
//   #list  #bill/ID  #new  #edit/ID  #plan  #print?id=ID
import { call, loadInterfaces, READER, session, signIn, signOut, CallError } from './api.js';
import { el, clear, field, notice, flushNotice } from './dom.js';
import { setUserLanguage, t, toggleEnglish } from './i18n.js';
import { showList } from './list.js';
import { showBill } from './bill.js';
import { showForm } from './form.js';
import { showPlan } from './plan.js';
import { showPrint } from './print.js';

const view = () => document.getElementById('view');

function parseRoute() {
  const hash = location.hash.replace(/^#\/?/, '');
  const [path, query = ''] = hash.split('?');
  const parts = path.split('/').map(decodeURIComponent);
  return { name: parts[0] || 'list', arg: parts[1] || '', params: new URLSearchParams(query) };
}

// A sign-in link puts db and token into the fragment; they are moved into
// this tab's storage and the fragment is cleared from the address bar.
function takeSignInLink(route) {
  if (route.name !== 'signin') return false;
  const db = route.params.get('db');
  const token = route.params.get('token');
  if (!db || !token) return false;
  signIn(db, token);
  history.replaceState(null, '', `${location.pathname}#list`);
  return true;
}

function showSignIn(message) {
  const db = el('input', { id: 'signin-db', autocomplete: 'off', required: true });
  const token = el('input', { id: 'signin-token', type: 'password', autocomplete: 'off', required: true });
  const form = el('form', { class: 'card signin' },
    el('h1', { text: t('signIn') }),
    el('p', { text: t('signInLink') }),
    field(t('company'), db), field(t('token'), token),
    el('button', { type: 'submit', text: t('signIn') }));
  form.addEventListener('submit', (e) => {
    e.preventDefault();
    signIn(db.value.trim(), token.value.trim());
    location.hash = '#list';
    start();
  });
  clear(view()).append(form);
  if (message) notice(message);
}

function renderBar(user, period) {
  document.getElementById('title').textContent = t('title');
  document.title = t('title');
  const nav = clear(document.getElementById('nav'));
  for (const [hash, label] of [['#list', 'list'], ['#new', 'newBill'], ['#plan', 'plan'], ['#print', 'print']]) {
    nav.append(el('a', { href: hash, text: t(label) }));
  }
  document.getElementById('who').textContent = `${user} · ${t('period')} ${period || '—'}`;
  document.getElementById('lang-switch').textContent = t('langSwitchTo');
  document.getElementById('sign-out').textContent = t('signOut');
}

let context = null; // {user, period, lang, rights}

async function loadContext() {
  const [lang, user, period, rights] = await Promise.all([
    call(READER, 'GetUserLang', { vstrLang: '' }),
    call(READER, 'UserName'),
    call(READER, 'CurPeriod'),
    call(READER, 'CheckRight', { vblnRead: false, vblnEdit: false, vblnExec: false, vblnUnExec: false }),
  ]);
  setUserLanguage(lang.byref.vstrLang);
  return {
    user: user.result,
    period: period.result,
    rights: {
      read: rights.byref.vblnRead, edit: rights.byref.vblnEdit,
      exec: rights.byref.vblnExec, unexec: rights.byref.vblnUnExec,
    },
  };
}

// Each route draws into a container of its own; a slower earlier route
// then draws into a container that is no longer shown.
async function route() {
  flushNotice();
  const r = parseRoute();
  const target = el('div', { class: 'route' });
  clear(view()).append(target);
  try {
    if (r.name === 'bill') await showBill(target, context, r.arg);
    else if (r.name === 'new') await showForm(target, context, '');
    else if (r.name === 'edit') await showForm(target, context, r.arg);
    else if (r.name === 'plan') await showPlan(target, context);
    else if (r.name === 'print') await showPrint(target, context, r.params);
    else await showList(target, context);
  } catch (e) {
    if (e instanceof CallError && e.status === 401) {
      signOut();
      showSignIn(e.message);
      return;
    }
    notice(e.message);
  }
}

async function start() {
  const r = parseRoute();
  takeSignInLink(r);
  if (!session()) {
    showSignIn('');
    return;
  }
  try {
    await loadInterfaces();
    context = await loadContext();
  } catch (e) {
    signOut();
    showSignIn(e.message);
    return;
  }
  renderBar(context.user, context.period);
  await route();
}

window.addEventListener('hashchange', () => {
  const r = parseRoute();
  if (r.name === 'signin') {
    start();
    return;
  }
  if (context) route();
});

document.getElementById('sign-out').addEventListener('click', () => {
  signOut();
  context = null;
  location.hash = '';
  clear(document.getElementById('nav'));
  document.getElementById('who').textContent = '';
  showSignIn('');
});

document.getElementById('lang-switch').addEventListener('click', () => {
  toggleEnglish();
  if (context) {
    renderBar(context.user, context.period);
    route();
  }
});

start();
