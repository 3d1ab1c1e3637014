// Building elements. Text from the server is always set as text, never
// parsed as markup.

export function el(tag, attrs = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attrs)) {
    if (value === undefined || value === null || value === false) continue;
    if (key === 'class') node.className = value;
    else if (key === 'text') node.textContent = value;
    else if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
    else if (key === 'value') node.value = value;
    else if (key === 'checked') node.checked = !!value;
    else node.setAttribute(key, value === true ? '' : value);
  }
  for (const child of children.flat(Infinity)) {
    if (child === null || child === undefined || child === false) continue;
    node.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
  return node;
}

export function clear(node) {
  while (node.firstChild) node.removeChild(node.firstChild);
  return node;
}

// A labelled field: <label>text <input ...></label>
export function field(label, input) {
  return el('label', { class: 'field' }, el('span', { text: label }), input);
}

// Shows a message of the component (or of the page) in the notice bar.
export function notice(text, kind = 'error') {
  const bar = document.getElementById('notice');
  clear(bar);
  if (!text) return;
  bar.className = `no-print ${kind}`;
  bar.append(el('span', { class: 'message', text }));
}

// A message to show once the view the page is moving to has been drawn.
let pending = null;
export function noticeAfterNavigation(text, kind = 'ok') {
  pending = { text, kind };
}
export function flushNotice() {
  notice(pending ? pending.text : '', pending ? pending.kind : 'error');
  pending = null;
}

// Asks before a change; answers true when the user agrees.
export function confirmAction(text) {
  return window.confirm(text);
}
