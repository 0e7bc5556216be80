// What every page of the browser interface shares: the header and
// navigation of the server-made pages, building the page from DOM nodes
// (mail text only ever goes in as text), messages beside what failed, busy
// buttons, times, and polling.
'use strict';

const UI = {};

// An element with attributes and children. Strings become text nodes, so
// nothing given here is ever read as markup.
UI.h = function (tag, attrs, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) {
        if (v === undefined || v === null || v === false) continue;
        if (k.startsWith('on') && typeof v == 'function') e.addEventListener(k.slice(2), v);
        else if (k == 'class') e.className = v;
        else if (k == 'value' || k == 'checked' || k == 'selected') e[k] = v;
        else e.setAttribute(k, v === true ? '' : v);
    }
    UI.append(e, children);
    return e;
};

UI.append = function (parent, children) {
    for (const c of children.flat(Infinity)) {
        if (c === undefined || c === null || c === false) continue;
        parent.append(c instanceof Node ? c : document.createTextNode(String(c)));
    }
    return parent;
};

// Replaces what an element holds.
UI.fill = function (parent, ...children) {
    parent.replaceChildren();
    return UI.append(parent, children);
};

UI.$ = (id) => document.getElementById(id);

const kNavLinks = [
    ['index.html', 'Main'], ['emailaccounts.html', 'Accounts'], ['search.html', 'Search'], ['rules.html', 'Rules'],
    ['autoresponders.html', 'Autoresponders'], ['backup.html', 'Backup'], ['log.html', 'Log'], ['mcp.html', 'MCP'],
    ['settings.html', 'Settings'],
];

// The header of the server-made pages: the product name (back to the main
// page), the page title and the navigation links; below, the notice row.
UI.header = function () {
    const title = document.body.dataset.title || '';
    const here = location.pathname.split('/').pop() || 'index.html';
    const links = kNavLinks.map(([href, text]) =>
        UI.h('a', { href, class: 'toptext', 'aria-current': href == here ? 'page' : null }, text));
    const app = UI.h('td', { class: 'headerapp', title: 'Click to go to the Main Page' },
        UI.h('a', { href: 'index.html', class: 'toptext' }, 'Porlinex'));
    app.addEventListener('click', (ev) => { if (ev.target == app) location.href = 'index.html'; });
    const table = UI.h('table', { class: 'headertable', role: 'banner' },
        UI.h('tr', { class: 'headerrow1' }, app, UI.h('td', { class: 'headertitle' }, title),
            UI.h('td', { class: 'headernavlinks' }, UI.h('nav', { 'aria-label': 'Pages' }, links))),
        UI.h('tr', { class: 'headerrow2' }, UI.h('td', { class: 'headerversion', colspan: 3 }, 'Porlinex local mail mirror')));
    document.body.prepend(table);
    document.title = 'Porlinex' + (title ? ' - ' + title : '');
};

// Shows a route's message in the element beside what failed; kind is
// 'error', 'ok' or 'busy'. An empty text hides it.
UI.say = function (el, text, kind) {
    if (typeof el == 'string') el = UI.$(el);
    if (!el) return;
    el.classList.remove('error', 'ok', 'busy');
    el.classList.add('msg');
    if (text) el.classList.add(kind || 'error');
    el.setAttribute('role', kind == 'error' ? 'alert' : 'status');
    UI.fill(el, text || '');
};

// Runs the call with the button disabled and "label" shown beside it while
// it runs; the route's error lands in msg. Resolves with the call's result,
// or undefined when it failed.
UI.run = async function (button, msg, label, call, done) {
    if (button) button.disabled = true;
    UI.say(msg, label + '…', 'busy');
    try {
        const result = await call();
        UI.say(msg, done || '', 'ok');
        return result;
    } catch (e) {
        UI.say(msg, e.message, 'error');
        return undefined;
    } finally {
        if (button) button.disabled = false;
    }
};

// "2026-12-11 09:30:00" (UTC, the database's form) or seconds since 1970,
// as local time; '' for nothing.
UI.time = function (value) {
    if (value === undefined || value === null || value === '' || value === '0' || value === 0) return '';
    let d;
    if (typeof value == 'number' || /^\d+$/.test(value)) d = new Date(Number(value) * 1000);
    else d = new Date(String(value).replace(' ', 'T') + 'Z');
    if (isNaN(d)) return String(value);
    return d.toLocaleString(undefined, { dateStyle: 'medium', timeStyle: 'short' });
};

// A byte count as people read it.
UI.size = function (n) {
    n = Number(n) || 0;
    return n < 1024 ? n + ' B' : n < 1048576 ? (n / 1024).toFixed(1) + ' KB' : n < 1073741824 ?
        (n / 1048576).toFixed(1) + ' MB' : (n / 1073741824).toFixed(1) + ' GB';
};

// Calls fn now and then again after the delay it returns (ms), until
// stopped; a hidden tab waits longer.
UI.poll = function (fn) {
    let timer = 0, stopped = false;
    const tick = async () => {
        let wait = 5000;
        try { wait = await fn(); } catch (e) { wait = 5000; }
        if (!stopped) timer = setTimeout(tick, document.hidden ? Math.max(wait, 10000) : wait);
    };
    tick();
    return { stop() { stopped = true; clearTimeout(timer); }, now() { clearTimeout(timer); tick(); } };
};

// The rows of a dbtable-read reply.
UI.rows = (reply) => (reply && Array.isArray(reply.select) ? reply.select : []);

UI.readTable = (table, extra) => AjaxForm('dbtable-read', Object.assign({ table, cmd: 'SELECTALL' }, extra || {}))
    .then(UI.rows);

UI.writeTable = (body) => AjaxJson('dbtable-write', body);

// A labelled field: the label names the control for screen readers and
// clicks.
let fieldCount = 0;
UI.field = function (label, control, hint) {
    if (!control.id) control.id = 'f' + (++fieldCount);
    return UI.h('div', { class: 'field' }, UI.h('label', { for: control.id }, label), control,
        hint ? UI.h('small', { class: 'hint' }, hint) : null);
};

// The state of an account in words.
UI.stateText = function (a) {
    if (a.state == 'updating') {
        if (a.mailboxes_total > 0)
            return 'Updating: mailbox ' + Math.min(a.mailboxes_done + 1, a.mailboxes_total) + ' of ' + a.mailboxes_total;
        return 'Connecting…';
    }
    if (a.state == 'uptodate') return 'Up to date';
    return 'Error';
};

// The live status of one account: state, progress bar, last error and how
// many of its messages are stored.
UI.statusBlock = function (a) {
    const pct = Math.max(0, Math.min(100, a.progress_percent | 0));
    const parts = [UI.h('div', { class: 'state state-' + a.state }, UI.stateText(a))];
    if (a.state == 'updating') {
        parts.push(UI.h('progress', { max: 100, value: pct, 'aria-label': 'Progress of ' + a.email }, pct + '%'),
            UI.h('div', { class: 'progressline' },
                a.mailboxes_total > 0 ? a.mailboxes_done + ' of ' + a.mailboxes_total + ' mailboxes done' : '',
                a.current_mailbox ? ' · now ' : '', a.current_mailbox ? UI.h('b', {}, a.current_mailbox) : '',
                ' · ' + pct + '%'));
    }
    if (a.last_error) parts.push(UI.h('div', { class: 'msg error' }, a.last_error));
    const synced = UI.time(a.last_sync_utc);
    const stored = Number(a.message_count) || 0;
    parts.push(UI.h('div', { class: 'muted' }, synced ? 'Last synchronised ' + synced : 'Not synchronised yet'),
        UI.h('div', { class: 'muted count' }, stored.toLocaleString() + (stored == 1 ? ' message' : ' messages') + ' stored'));
    return parts;
};

// Rows with data-id open by click or Enter (links inside keep their own
// behaviour).
UI.openRows = function (table, open) {
    const pick = (ev) => {
        const tr = ev.target.closest('tr[data-id]');
        if (tr && !ev.target.closest('a, button')) open(tr.dataset.id);
    };
    table.addEventListener('click', pick);
    table.addEventListener('keydown', (ev) => { if (ev.key == 'Enter') pick(ev); });
};

// The parts of a message a condition looks at, and its tests.
UI.parts = [['FROM', 'Sender'], ['TO', 'To'], ['CC', 'Cc'], ['TOORCC', 'To or Cc'], ['SUBJECT', 'Subject'], ['BODY', 'Message text']];
UI.tests = [['CONTAINS', 'contains'], ['IS', 'is'], ['STARTS', 'starts with']];
UI.label = (list, v) => (list.find((x) => x[0] == v) || [v, v])[1];

UI.options = (list, selected) => list.map(([v, t]) => UI.h('option', { value: v, selected: v == selected }, t));

// One editable condition (rules and autoresponders): part, test, text.
UI.conditionRow = function (c) {
    const h = UI.h;
    return h('div', { class: 'cond' },
        UI.field('Part', h('select', { class: 'part' }, UI.options(UI.parts, c && c.PART))),
        UI.field('Test', h('select', { class: 'test' }, UI.options(UI.tests, c && c.TEST))),
        UI.field('Text', h('input', { type: 'text', class: 'detail', maxlength: 255, value: c ? c.TEST_DETAIL : '' })),
        h('button', { type: 'button', 'aria-label': 'Remove this condition', onclick: (ev) => ev.target.closest('.cond').remove() },
            'Remove'));
};

// The filled-in conditions of a container of condition rows.
UI.conditions = (box) => Array.from(box.querySelectorAll('.cond')).map((row) => ({
    PART: row.querySelector('.part').value, TEST: row.querySelector('.test').value,
    TEST_DETAIL: row.querySelector('.detail').value.trim(),
})).filter((c) => c.TEST_DETAIL);

// A condition in words.
UI.conditionText = (c) => UI.label(UI.parts, c.PART) + ' ' + UI.label(UI.tests, c.TEST || 'CONTAINS') + ' “' + c.TEST_DETAIL + '”';

// An open pop-up menu closes with Escape or a click elsewhere.
document.addEventListener('keydown', (ev) => {
    if (ev.key != 'Escape') return;
    for (const menu of document.querySelectorAll('details.popupmenu[open]')) {
        menu.open = false;
        menu.querySelector('summary').focus();
    }
});
document.addEventListener('click', (ev) => {
    for (const menu of document.querySelectorAll('details.popupmenu[open]'))
        if (!menu.contains(ev.target)) menu.open = false;
});

UI.header();
