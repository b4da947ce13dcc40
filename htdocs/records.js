// showtext.html: numbers the record columns (the page writes one cell per record in each row)
// and says so when there is no record at all, which is how a stopped diagram comes.
(function () {
    'use strict';
    const table = document.getElementById('records');
    if (!table) return;
    let columns = 0;
    for (const row of table.tBodies[0].rows) columns = Math.max(columns, row.cells.length - 1);
    const empty = document.getElementById('records-empty');
    if (empty) empty.hidden = columns > 0;
    const head = document.getElementById('records-head');
    if (!head || columns === 0) return;
    const row = head.insertRow();
    const corner = document.createElement('th');
    corner.textContent = 'record';
    row.appendChild(corner);
    for (let i = 1; i <= columns; ++i) {
        const th = document.createElement('th');
        th.textContent = columns === 1 ? '1' : i === 1 ? '1 (oldest)' : i === columns ? i + ' (newest)' : String(i);
        row.appendChild(th);
    }
})();
