// Sortable tables: a click (or Enter) on a header cell with data-sort sorts
// the rows of its table by that column, ascending, and a second click
// reverses it. A table's data-sortcolumn (0-based) and data-asc (1 or 0) say
// how its rows are ordered now, as the server sent them, and are kept up to
// date. A cell's data-order, when present, is its sort key, else its text;
// keys that are both numbers compare as numbers. Works for tables made later.
(function () {
    'use strict';

    function key(row, col) {
        const cell = row.cells[col];
        if (!cell) return '';
        return cell.hasAttribute('data-order') ? cell.getAttribute('data-order') : cell.textContent.trim();
    }

    function compare(a, b) {
        if (a !== '' && b !== '' && isFinite(a) && isFinite(b)) return Number(a) - Number(b);
        return a.localeCompare(b, undefined, { numeric: true, sensitivity: 'base' });
    }

    function sortBy(th) {
        const table = th.closest('table');
        if (!table) return;
        const col = th.cellIndex;
        const ascending = String(col) == table.dataset.sortcolumn ? table.dataset.asc == '0' : true;
        table.dataset.sortcolumn = col;
        table.dataset.asc = ascending ? '1' : '0';
        for (const other of table.querySelectorAll('th[aria-sort]')) other.removeAttribute('aria-sort');
        th.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
        for (const body of table.tBodies) {
            const rows = Array.from(body.rows).filter((r) => !r.querySelector('th') && r.cells.length > col);
            if (rows.length < 2) continue;
            const keyed = rows.map((r, i) => [key(r, col), i, r]);
            keyed.sort((x, y) => (ascending ? compare(x[0], y[0]) : compare(y[0], x[0])) || x[1] - y[1]);
            for (const [, , r] of keyed) body.appendChild(r);
        }
    }

    function reachable(root) {
        for (const th of root.querySelectorAll('th[data-sort]:not([tabindex])')) th.tabIndex = 0;
    }

    document.addEventListener('click', (ev) => {
        const th = ev.target.closest && ev.target.closest('th[data-sort]');
        if (th) sortBy(th);
    });
    document.addEventListener('keydown', (ev) => {
        const th = ev.target.closest && ev.target.closest('th[data-sort]');
        if (th && (ev.key == 'Enter' || ev.key == ' ')) { ev.preventDefault(); sortBy(th); }
    });
    const watch = () => {
        reachable(document);
        new MutationObserver(() => reachable(document)).observe(document.body, { childList: true, subtree: true });
    };
    if (document.body) watch(); else document.addEventListener('DOMContentLoaded', watch);
})();
