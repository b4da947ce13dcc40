'use strict';
// Accounts in a real browser: once an account exists, the pages that need one answer 401 with
// the Basic challenge (and carry out nothing), the diagram list stays open, a view-only account
// sees charts but cannot change anything, and an account with edit permission works the pages.

const http = require('http');
const { assert, run, newPage, screenshot, waitFor } = require('./harness');

const kEditor = { username: 'editor', password: 'pa:ss wörd' };
const kViewer = { username: 'viewer', password: 'look only' };

// The status of the last answer to a page request (after the browser's own retry with the
// credentials); a browser shows a 401 without body as a failed navigation, not as a page.
async function statusOf(page, url) {
    const answers = [];
    const collect = (response) => {
        if (response.request().isNavigationRequest()) answers.push(response);
    };
    page.on('response', collect);
    await page.goto(url).catch(() => {});
    page.off('response', collect);
    const last = answers[answers.length - 1];
    assert.ok(last, `no answer to ${url}`);
    return last.status();
}

run('e2e_auth', 180000, async (ws, browser) => {
    ws.addWebSource();
    ws.tgctl(['user', 'add', kEditor.username, '--edit'], kEditor.password + '\n');
    ws.tgctl(['user', 'add', kViewer.username], kViewer.password + '\n');
    await ws.startDaemon();

    // No credentials: the list is served, making a diagram is refused with the challenge.
    const anonymous = await newPage(browser);
    assert.equal(await statusOf(anonymous, ws.base + 'index.html'), 200);
    const newDiagram = anonymous.waitForResponse((r) => r.url().includes('edit.html'));
    await anonymous.click('#new-diagram');
    const refused = await newDiagram;
    assert.equal(refused.status(), 401);
    assert.equal(refused.headers()['www-authenticate'], 'Basic realm="Tessellgrove"');
    assert.equal(ws.tgctl(['diagram', 'list']).trim(), '', 'a refused request changes nothing');
    await anonymous.context().close();

    // A wrong password is refused like none.
    const wrong = await newPage(browser, {
        httpCredentials: { username: kEditor.username, password: 'wrong' } });
    assert.equal(await statusOf(wrong, ws.base + 'edit.html?action=new'), 401);
    await wrong.context().close();

    // Edit permission: the same click makes the diagram.
    const editor = await newPage(browser, { httpCredentials: kEditor });
    await editor.goto(ws.base + 'index.html');
    const made = editor.waitForEvent('load');
    await editor.click('#new-diagram');
    await made;
    assert.equal(await editor.textContent('#diagram-name'), 'Diagram');
    await screenshot(editor, 'auth-editor-edit');
    assert.match(ws.tgctl(['diagram', 'list']), /^Diagram\t/);

    // View only: charts yes; editing, data actions and list actions no.
    const viewer = await newPage(browser, { httpCredentials: kViewer });
    assert.equal(await statusOf(viewer, ws.base + 'show.html?name=Diagram'), 200);
    assert.equal(await viewer.textContent('#diagram-name'), 'Diagram');
    assert.equal(await statusOf(viewer, ws.base + 'show.html?name=Diagram&action=reset'),
                 401);
    assert.equal(await statusOf(viewer, ws.base + 'edit.html?name=Diagram'), 401);
    assert.equal(await statusOf(viewer, ws.base + 'index.html?action=delete&name=Diagram'),
                 401);
    assert.match(ws.tgctl(['diagram', 'list']), /^Diagram\t/, 'the viewer deleted nothing');

    // A page of another site, opened by the editor, cannot act with the editor's rights: the
    // image and the form it uses to ask for a delete are refused, and the diagram stays.
    const foreign = http.createServer((request, response) => {
        response.writeHead(200, { 'Content-Type': 'text/html' });
        // Without a Referer, and a GET navigation sends no Origin either.
        response.end('<meta name="referrer" content="no-referrer">' +
            `<img src="${ws.base}index.html?action=delete&name=Diagram">` +
            `<form id="f" action="${ws.base}index.html"><input name="action" value="delete">` +
            '<input name="name" value="Diagram"></form>' +
            '<script>setTimeout(() => document.getElementById("f").submit(), 200)</script>');
    });
    await new Promise((resolve) => foreign.listen(0, '127.0.0.1', resolve));
    const attacked = await editor.context().newPage();
    const statuses = [];
    attacked.on('response', (r) => {
        if (r.url().includes('action=delete')) statuses.push(r.status());
    });
    await attacked.goto(`http://127.0.0.1:${foreign.address().port}/`);
    await waitFor(() => statuses.filter((s) => s === 403).length >= 2, 30000,
        'the foreign image and form to be refused');
    foreign.close();
    assert.ok(!statuses.includes(200), `foreign requests answered ${statuses}`);
    assert.match(ws.tgctl(['diagram', 'list']), /^Diagram\t/, 'the foreign page deleted nothing');

    assert.deepEqual(editor.scriptErrors, [], 'no script errors');
    assert.deepEqual(viewer.scriptErrors, [], 'no script errors');
});
