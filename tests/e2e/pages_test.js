'use strict';
// The web application in a real browser against a real tessellgroved: a diagram is made only by
// clicking through the pages (list, edit forms, choice lists, the expression test), log lines
// are appended to its source's file, and the chart, the data table and the recent records show
// them; the view options, the refresh choice and the data actions work; a missing diagram
// gives the error page. The diagram's name has a blank, a slash, quotes and a non-ASCII letter.

const fs = require('node:fs');
const { assert, log, waitFor, run, newPage, screenshot, inkOf } = require('./harness');

const kName = 'Web log/1 "quoted" é';

// Runs `action` and waits for the main frame's next page load that it causes.
async function navigation(page, action) {
    const loaded = page.waitForEvent('load', { timeout: 20000 });
    loaded.catch(() => {});  // seen below, unless the action fails first
    await action();
    await loaded;
}

// The address bar no longer names an action once the page has run it.
async function actionDropped(page) {
    await waitFor(() => !page.url().includes('action='), 5000, `no action in ${page.url()}`);
}

// Opens a choice list from `button`, checks what it offers and takes `choice`; the form of the
// button is then sent.
async function choose(page, button, expected, choice) {
    await page.click(button);
    const frame = page.frameLocator('#modal-dialog iframe');
    await frame.locator('ul.choices button').first().waitFor();
    const offered = await frame.locator('ul.choices button').allTextContents();
    if (expected) assert.deepEqual(offered, expected, `choices of ${button}`);
    await navigation(page, () => frame.locator('ul.choices button', { hasText: choice }).first().click());
}

async function chartState(page) {
    return page.evaluate(() => {
        const s = window.tgChartState;
        if (!s) return null;
        const option = window.tgChart ? window.tgChart.getOption() : null;
        return JSON.parse(JSON.stringify({ mode: s.mode, substitute: s.substitute, data: s.data,
                                           option: option }));
    });
}

async function reloadUntilData(page, labels, what) {
    return waitFor(async () => {
        await page.reload();
        const state = await chartState(page);
        if (!state || state.substitute || !state.data) return null;
        return JSON.stringify(state.data.labels) === JSON.stringify(labels) ? state : null;
    }, 30000, what);
}

async function tableRows(page, selector) {
    return page.locator(`${selector} tr`).evaluateAll((rows) =>
        rows.map((row) => Array.from(row.cells, (cell) => cell.textContent.trim())));
}

run('e2e_pages', 240000, async (ws, browser) => {
    ws.addWebSource();
    await ws.startDaemon();
    const page = await newPage(browser);

    // ---- The list, empty; "New diagram" opens the edit page of "Diagram" ----
    await page.goto(ws.base);
    assert.match(page.url(), /\/index\.html$/, 'the root leads to the diagram list');
    assert.equal(await page.locator('tr.diagram').count(), 0);
    assert.ok(await page.locator('[data-when-empty="diagram-rows"]').isVisible());
    await navigation(page, () => page.click('#new-diagram'));
    assert.equal(await page.textContent('#diagram-name'), 'Diagram');
    await actionDropped(page);

    // ---- Data source from the choice list; then the name, with awkward characters ----
    await choose(page, '#change-datasource button.choose', ['web'], 'web');
    assert.equal(await page.inputValue('#change-datasource input[name=datasource_name]'), 'web');
    await page.fill('#rename-diagram input[name=new_name]', kName);
    await navigation(page, () => page.click('#rename-diagram button'));
    assert.equal(await page.textContent('#diagram-name'), kName);
    await actionDropped(page);
    await navigation(page, () => page.reload());
    assert.equal(await page.textContent('#diagram-name'), kName, 'the name survives a reload');

    // ---- A group on status; its expression tried in the test dialog and taken from there ----
    await navigation(page, () => page.click('#create-group button'));
    assert.equal(await page.inputValue('tr.group input[name=new_group_name]'), 'Group');
    assert.equal(await page.inputValue('tr.group input[name=field_name]'), 'status');
    assert.equal(await page.inputValue('tr.group input[name=group_regexp]'), '.*');
    await page.click('tr.group button.test-regexp');
    const tester = page.frameLocator('#modal-dialog iframe');
    const result = tester.locator('#regexp-result');
    const tryRegexp = async (regexp, sample, expected) => {
        await tester.locator('#regexp').fill(regexp);
        await tester.locator('#sample').fill(sample);
        await tester.locator('#run-test').click();
        await waitFor(async () => (await result.textContent()) === expected &&
                                  (await tester.locator('#regexp').inputValue()) === regexp,
                      10000, `"${expected}" for ${regexp} on ${sample}`);
    };
    await tryRegexp('(', '404', 'Regular Expression Syntax Error');
    await tryRegexp('([a-z]+)', '404', 'not found');
    await tryRegexp('^([0-9]+)', '404 and more', '404');
    await screenshot(page, 'regexp-dialog', { fullPage: false });
    await navigation(page, () => tester.locator('#use-regexp').click());
    assert.equal(await page.inputValue('tr.group input[name=group_regexp]'), '^([0-9]+)');

    // ---- A filter: the invert box sends itself both ways; then the filter is deleted ----
    await navigation(page, () => page.click('#create-filter button'));
    assert.equal(await page.inputValue('tr.filter input[name=new_filter_name]'), 'Filter');
    assert.equal(await page.isChecked('tr.filter input[type=checkbox]'), false);
    await navigation(page, () => page.click('tr.filter input[type=checkbox]'));
    assert.equal(await page.isChecked('tr.filter input[type=checkbox]'), true);
    await navigation(page, () => page.click('tr.filter input[type=checkbox]'));
    assert.equal(await page.isChecked('tr.filter input[type=checkbox]'), false);
    await navigation(page, () => page.click('tr.filter button.danger'));
    assert.equal(await page.locator('tr.filter').count(), 0);

    // ---- A y-axis: field and operation from the choice lists, then renamed ----
    await navigation(page, () => page.click('#create-axis button'));
    assert.equal(await page.inputValue('tr.axis input[name=new_axis_name]'), 'Axis');
    await choose(page, 'tr.axis button.choose[data-list=fields]', ['status', 'bytes'], 'bytes');
    await choose(page, 'tr.axis button.choose[data-list=oper_list]',
                 ['SUM', 'COUNT', 'MIN', 'MAX', 'AVERAGE', 'FIRST', 'LAST'], 'SUM');
    await page.fill('tr.axis input[name=new_axis_name]', 'bytes sum');
    await navigation(page, () => page.click('tr.axis form:has(input[name=new_axis_name]) button'));
    assert.equal(await page.inputValue('tr.axis input[name=new_axis_name]'), 'bytes sum');
    assert.equal(await page.inputValue('tr.axis input[name=field_name]'), 'bytes');
    assert.equal(await page.inputValue('tr.axis input[name=axis_oper]'), 'SUM');
    await screenshot(page, 'edit');

    // ---- The chart: nothing yet, then the appended lines ----
    await navigation(page, () => page.click('#show-chart'));
    assert.equal(await page.textContent('#diagram-name'), kName);
    let state = await chartState(page);
    assert.ok(state && state.substitute, 'a diagram without records shows the "No data" chart');
    assert.match(await page.textContent('#chart-notice'), /No data yet/);
    ws.appendLog(['200 100', '404 50', '200 25']);
    state = await reloadUntilData(page, ['/200', '/404'], 'the chart to show the appended lines');
    assert.deepEqual(state.data.names, ['bytes sum']);
    assert.deepEqual(state.data.series, [[125, 50]]);

    // 3D is the default view where the browser has WebGL.
    const webgl = await page.evaluate(() => !!document.createElement('canvas').getContext('webgl'));
    assert.equal(state.mode, webgl ? '3d' : '2d');
    if (webgl) {
        assert.deepEqual(state.option.xAxis3D[0].data, ['/200', '/404']);
        assert.equal(state.option.series[0].type, 'bar3D');
        assert.deepEqual(state.option.series[0].data.map((d) => d.value), [[0, 0, 125], [1, 0, 50]]);
    }
    let ink = await inkOf(page.locator('#chart'));
    log(`3D chart: ${(ink.inked * 100).toFixed(1)} % drawn, ${ink.colours} colours`);
    assert.ok(ink.inked > 0.01 && ink.colours > 8, 'the chart area is not blank');
    await screenshot(page, 'show-3d');

    // 2D bars, one x label each; the legend and the swapped axes follow the check boxes.
    await navigation(page, () => page.click('#view-3d'));
    assert.match(page.url(), /3d_view=0/);
    state = await chartState(page);
    assert.equal(state.mode, '2d');
    assert.deepEqual(state.option.xAxis[0].data, ['/200', '/404']);
    assert.equal(state.option.xAxis[0].axisLabel.interval, 0);
    assert.equal(state.option.series[0].type, 'bar');
    assert.deepEqual(state.option.series[0].data, [125, 50]);
    assert.equal(state.option.legend[0].show, true);
    ink = await inkOf(page.locator('#chart'));
    assert.ok(ink.inked > 0.01 && ink.colours > 8, 'the 2D chart area is not blank');
    await screenshot(page, 'show-2d');
    await navigation(page, () => page.click('#view-legend'));
    await navigation(page, () => page.click('#view-swap'));
    state = await chartState(page);
    assert.equal(state.option.legend[0].show, false);
    assert.equal(state.option.yAxis[0].type, 'category');
    assert.deepEqual(state.option.yAxis[0].data, ['/200', '/404']);
    assert.equal(state.option.xAxis[0].type, 'value');
    assert.equal(await page.isChecked('#view-3d'), false, 'the view survives each change');
    await screenshot(page, 'show-2d-swapped');

    // The refresh choice is kept in the address and reloads the page by itself.
    await navigation(page, () => page.selectOption('#view-refresh', '5'));
    assert.match(page.url(), /refresh=5/);
    assert.match(page.url(), /swap_xy=1/);
    await page.waitForEvent('load', { timeout: 15000 });
    assert.equal(await page.inputValue('#view-refresh'), '5');
    await navigation(page, () => page.selectOption('#view-refresh', 'off'));

    // ---- The data as a table, and the recent records ----
    await navigation(page, () => page.click('#show-table'));
    assert.equal(await page.textContent('#diagram-name'), kName);
    assert.deepEqual(await tableRows(page, '#data-table'),
                     [['x label', 'bytes sum'], ['/200', '125'], ['/404', '50']]);
    await screenshot(page, 'modaltest');
    await navigation(page, () => page.goBack());
    // The CSV download holds what the data table shows.
    const [download] = await Promise.all([page.waitForEvent('download'),
                                          page.click('#download-csv')]);
    const csv = fs.readFileSync(await download.path(), 'utf8');
    assert.deepEqual(csv.split('\r\n'), ['label,bytes sum', '/200,125', '/404,50', '']);
    assert.equal(download.suggestedFilename(), 'Web log_1 _quoted_ é.csv');  // the browser's / and "
    await navigation(page, () => page.click('#show-text'));
    assert.equal(await page.textContent('h1 .name'), kName);
    assert.deepEqual(await tableRows(page, '#records tbody'), [
        ['status', '200', '404', '200'],
        ['bytes', '100', '50', '25'],
        ['x label', '/200', '/404', '/200'],
        ['bytes sum', '100', '50', '25'],
    ]);
    assert.equal(await page.locator('#records thead th').count(), 4);
    await screenshot(page, 'showtext');

    // ---- Reset clears the data, new lines come in, rebuild replays all of them ----
    await navigation(page, () => page.goBack());
    await navigation(page, () => page.click('#action-reset'));
    await actionDropped(page);
    assert.ok((await chartState(page)).substitute, 'reset leaves no data');
    assert.match(page.url(), /3d_view=0/, 'the view stays after an action');
    ws.appendLog(['500 7']);
    state = await reloadUntilData(page, ['/500'], 'the line appended after the reset');
    assert.deepEqual(state.data.series, [[7]]);
    await navigation(page, () => page.click('#action-rebuild'));
    await actionDropped(page);
    state = await chartState(page);
    assert.deepEqual(state.data.labels, ['/200', '/404', '/500']);
    assert.deepEqual(state.data.series, [[125, 50, 7]]);

    // ---- The list: state, stop and start, the link to the chart ----
    await navigation(page, () => page.click('header nav a:text("Diagrams")'));
    const row = page.locator('tr.diagram');
    assert.equal(await row.count(), 1);
    assert.equal(await row.locator('a.name').textContent(), kName);
    assert.equal(await row.getAttribute('data-running'), 'true');
    await navigation(page, () => row.locator('a:text("Stop")').click());
    await actionDropped(page);
    assert.equal(await row.getAttribute('data-running'), 'false');
    await screenshot(page, 'index');
    await navigation(page, () => row.locator('a.name').click());
    assert.ok((await chartState(page)).substitute, 'a stopped diagram shows no data');
    // Back shows the list as it is now, not as the browser's cache has it.
    await navigation(page, () => page.goBack());
    await waitFor(async () => (await row.getAttribute('data-running')) === 'false', 10000,
                  'the list after Back to show the diagram stopped');
    await navigation(page, () => row.locator('a:text("Start")').click());
    assert.equal(await row.getAttribute('data-running'), 'true');

    // ---- A diagram that does not exist gives the error page, which leads back ----
    await page.goto(ws.base + 'show.html?name=no%20such%20diagram');
    assert.equal(await page.textContent('#error-message'), "Can't find diagram 'no such diagram'");
    assert.equal(await page.textContent('#error-back'), 'Back to diagram list');
    await screenshot(page, 'error');
    await navigation(page, () => page.click('#error-back'));
    assert.match(page.url(), /\/index\.html$/);

    // ---- A second diagram cannot take the first one's name ----
    await navigation(page, () => page.click('#new-diagram'));
    assert.equal(await page.textContent('#diagram-name'), 'Diagram');
    assert.equal(await page.textContent('#page-notice'), '');
    await page.fill('#rename-diagram input[name=new_name]', kName);
    await navigation(page, () => page.click('#rename-diagram button'));
    assert.equal(await page.textContent('#diagram-name'), 'Diagram');
    assert.match(await page.textContent('#page-notice'), /Nothing was renamed/);
    await navigation(page, () => page.click('header nav a:text("Diagrams")'));
    assert.deepEqual(await page.locator('tr.diagram a.name').allTextContents(), ['Diagram', kName]);

    // ---- Delete, after the question ----
    for (const name of ['Diagram', kName]) {
        const doomed = page.locator('tr.diagram', { has: page.locator('a.name', { hasText: name }) });
        await navigation(page, () => doomed.locator('a:text("Delete")').click());
        await actionDropped(page);
    }
    assert.equal(await page.locator('tr.diagram').count(), 0);
    assert.equal(ws.tgctl(['diagram', 'list']).trim(), '');

    assert.deepEqual(page.scriptErrors, [], 'no script errors on any page');
});
