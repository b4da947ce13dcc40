// Behaviour shared by every Tessellgrove page. Loaded in <head> so that a page shown inside the
// dialog of another page is marked before it is drawn; the rest waits for the document.
//
// Names travel in URLs in the server's own escaping (the ...ESCAPED template variables: %XX for
// ASCII bytes, %uXXXX for the Windows-1252 reading of every other byte), which gives back the
// exact bytes of a name. Values typed into forms go as UTF-8 percent escapes, which the server's
// query decoding turns into the same UTF-8 bytes.
(function () {
    'use strict';

    const inDialog = window.parent !== window;
    if (inDialog) document.documentElement.classList.add('in-dialog');

    // Every page shows live state (running diagrams, data), but Back and Forward show a page
    // from the browser's cache: load it anew instead. History entries hold no actions (see
    // dropAction), so this repeats none.
    const navigationEntry = performance.getEntriesByType('navigation')[0];
    if (navigationEntry && navigationEntry.type === 'back_forward') window.location.reload();
    window.addEventListener('pageshow', (event) => {
        if (event.persisted) window.location.reload();
    });

    // The Unicode characters of the Windows-1252 bytes 0x80 to 0x9F; 0 where the byte has none
    // (the server then reads the byte as the code unit of the same number).
    const cp1252High = [
        0x20ac, 0, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
        0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017d, 0,
        0, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
        0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0, 0x017e, 0x0178,
    ];

    // The byte that the server's %uXXXX escape stands for; undefined when there is none.
    function byteOfUnit(unit) {
        if (unit < 0x80 || (unit >= 0xa0 && unit <= 0xff)) return unit;
        const i = cp1252High.indexOf(unit);
        if (i >= 0) return 0x80 + i;
        if (unit >= 0x80 && unit <= 0x9f && cp1252High[unit - 0x80] === 0) return unit;
        return undefined;
    }

    function hexValue(c) {
        const v = parseInt(c, 16);
        return Number.isNaN(v) ? 0 : v;
    }

    // The bytes that the server's query decoding makes of one raw parameter value: "+" is a
    // blank, %XX a byte, %uXXXX one Windows-1252 byte; decoding stops where the server's does.
    function decodeArgBytes(raw) {
        const bytes = [];
        const utf8 = new TextEncoder();
        for (let i = 0; i < raw.length; ++i) {
            const c = raw[i];
            if (c === '+') {
                bytes.push(0x20);
            } else if (c !== '%') {
                bytes.push(...utf8.encode(c));
            } else if (raw[i + 1] === 'u') {
                if (raw.length - (i + 2) < 4) break;
                let unit = 0;
                for (let k = 0; k < 4; ++k) unit = unit * 16 + hexValue(raw[i + 2 + k]);
                const b = byteOfUnit(unit);
                if (b === undefined) break;
                bytes.push(b);
                i += 5;
            } else if (i + 2 < raw.length) {
                bytes.push(hexValue(raw[i + 1]) * 16 + hexValue(raw[i + 2]));
                i += 2;
            } else {
                break;
            }
        }
        const nul = bytes.indexOf(0);
        return Uint8Array.from(nul >= 0 ? bytes.slice(0, nul) : bytes);
    }

    // Bytes as text: UTF-8 when they are, else Windows-1252 (names written by older clients).
    function bytesToText(bytes) {
        try {
            return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
        } catch (e) {
            return new TextDecoder('windows-1252').decode(bytes);
        }
    }

    function decodeArg(raw) {
        return bytesToText(decodeArgBytes(raw));
    }

    // The raw (still escaped) value of a parameter of this page's URL, as the server reads it:
    // the last one of that name wins; names are compared as written. Undefined when absent.
    function rawParam(name, search) {
        const text = (search === undefined ? window.location.search : search).replace(/^\?/, '');
        let value;
        let pos = 0;
        while (pos < text.length) {
            const eq = text.indexOf('=', pos);
            if (eq < 0) break;
            const amp = text.indexOf('&', eq + 1);
            const end = amp < 0 ? text.length : amp;
            if (text.slice(pos, eq) === name) value = text.slice(eq + 1, end);
            if (amp < 0) break;
            pos = amp + 1;
        }
        return value;
    }

    function encodeValue(text) {
        return encodeURIComponent(text);
    }

    // A GET form as a URL. An input that carries data-escaped sends that text as it is (a name
    // in the server's escaping, exact to the byte); every other value is percent-encoded.
    function formUrl(form, submitter) {
        const escaped = new Map();
        for (const input of form.querySelectorAll('input[data-escaped]')) {
            escaped.set(input.name, input.dataset.escaped);
        }
        const parts = [];
        for (const [name, value] of new FormData(form, submitter || null)) {
            if (typeof value !== 'string') continue;
            const raw = escaped.has(name) ? escaped.get(name) : encodeValue(value);
            parts.push(encodeValue(name) + '=' + raw);
        }
        const action = form.getAttribute('action') || window.location.pathname;
        return action + (parts.length ? '?' + parts.join('&') : '');
    }

    function confirmed(element) {
        const question = element.dataset.confirm;
        if (!question) return true;
        const subject = element.dataset.confirmName;
        return window.confirm(subject === undefined ? question : question.replace('%s', subject));
    }

    // After an action the address bar shows the page without it, so that reloading the page,
    // or its automatic refresh, does not carry the action out again.
    function dropAction() {
        const action = rawParam('action');
        const self = document.body.dataset.self;
        if (!action || self === undefined) return;
        let url = self;
        for (const name of (document.body.dataset.keep || '').split(/\s+/)) {
            const value = name && rawParam(name);
            if (value !== undefined && value !== '') {
                url += (url.includes('?') ? '&' : '?') + encodeValue(name) + '=' + value;
            }
        }
        window.history.replaceState(null, '', url);
    }

    // ---- The dialog that shows a modal page (choice list, expression test) in a frame ----

    let dialog = null;
    let dialogTarget = null;  // the input that the dialog's answer goes into

    function ensureDialog() {
        if (dialog) return dialog;
        dialog = document.createElement('dialog');
        dialog.className = 'modal';
        dialog.id = 'modal-dialog';
        dialog.innerHTML =
            '<div class="modal-frame"><div class="modal-head"><span class="modal-title"></span>' +
            '<button type="button" class="modal-close" aria-label="Close">Close</button></div>' +
            '<iframe title="Dialog"></iframe></div>';
        dialog.querySelector('.modal-close').addEventListener('click', () => dialog.close());
        dialog.addEventListener('close', () => {
            dialog.querySelector('iframe').src = 'about:blank';
            dialogTarget = null;
        });
        document.body.appendChild(dialog);
        return dialog;
    }

    function openDialog(url, title, target) {
        const d = ensureDialog();
        d.querySelector('.modal-title').textContent = title || '';
        d.querySelector('iframe').src = url;
        dialogTarget = target;
        d.showModal();
    }

    // Answers from the page in the dialog: a choice or an expression for the input that opened
    // it; the input's form is then sent.
    window.addEventListener('message', (event) => {
        if (!dialog || event.origin !== window.location.origin) return;
        if (event.source !== dialog.querySelector('iframe').contentWindow) return;
        const data = event.data;
        if (!data || (data.type !== 'tg-choice' && data.type !== 'tg-regexp')) return;
        const target = dialogTarget;
        dialog.close();
        if (!target || typeof data.value !== 'string') return;
        target.value = data.value;
        if (target.form) target.form.requestSubmit();
    });

    function answerParent(type, value) {
        window.parent.postMessage({ type: type, value: value }, window.location.origin);
    }

    function inputFor(button) {
        const form = button.form || button.closest('form');
        return form ? form.elements.namedItem(button.dataset.for) : null;
    }

    function chooserUrl(list) {
        if (list === 'fields') {
            const source = document.body.dataset.datasource || '';
            return 'modalchoose.html?data_source_fields=1&data_source_name=' + encodeValue(source);
        }
        return 'modalchoose.html?' + list + '=1';
    }

    function wireControls() {
        document.addEventListener('submit', (event) => {
            const form = event.target;
            if (!(form instanceof HTMLFormElement) || !form.classList.contains('tg-form')) return;
            event.preventDefault();
            if (!confirmed(event.submitter || form)) return;
            rememberRename(form);
            window.location.assign(formUrl(form, event.submitter));
        });
        document.addEventListener('click', (event) => {
            const element = event.target.closest('a[data-confirm], button, [data-choice]');
            if (!element) return;
            if (element.matches('a[data-confirm]')) {
                if (!confirmed(element)) event.preventDefault();
            } else if (element.classList.contains('choose')) {
                const input = inputFor(element);
                openDialog(chooserUrl(element.dataset.list), element.dataset.title, input);
            } else if (element.classList.contains('test-regexp')) {
                const input = inputFor(element);
                const value = input ? input.value : '';
                openDialog('modalregexp.html?regexp=' + encodeValue(value),
                           'Test the regular expression', input);
            } else if (element.hasAttribute('data-choice')) {
                if (inDialog) answerParent('tg-choice', element.dataset.choice);
            } else if (element.id === 'use-regexp') {
                const regexp = document.getElementById('regexp');
                if (inDialog && regexp) answerParent('tg-regexp', regexp.value);
            }
        });
        document.addEventListener('change', (event) => {
            const element = event.target;
            if (element.classList && element.classList.contains('autosubmit') && element.form) {
                element.form.requestSubmit();
            }
        });
    }

    // A rename to a name that is taken is skipped without an error; the page after it tells.
    const kRenameKey = 'tg-rename';

    function rememberRename(form) {
        const action = form.elements.namedItem('action');
        const input = form.querySelector('input[type="text"]');
        if (!action || !/^rename_/.test(action.value) || !input) return;
        if (input.value === input.defaultValue) return;
        try {
            window.sessionStorage.setItem(kRenameKey,
                JSON.stringify({ field: input.name, value: input.value }));
        } catch (e) {
            // Without storage the check is only left out.
        }
    }

    function checkRename() {
        let wanted = null;
        try {
            wanted = JSON.parse(window.sessionStorage.getItem(kRenameKey) || 'null');
            window.sessionStorage.removeItem(kRenameKey);
        } catch (e) {
            return;
        }
        if (!wanted || typeof wanted.field !== 'string') return;
        const done = Array.from(document.querySelectorAll('input[type="text"]'))
            .some((input) => input.name === wanted.field && input.value === wanted.value);
        const notice = document.getElementById('page-notice');
        if (!done && notice) {
            notice.textContent = `Nothing was renamed: the name “${wanted.value}” is taken.`;
        }
    }

    // The error page's way back: to the diagram that failed when it names the edit page.
    function fixErrorLink() {
        const back = document.getElementById('error-back');
        if (!back) return;
        const name = back.dataset.name;
        if (back.getAttribute('href') === 'edit.html' && name) {
            back.setAttribute('href', 'edit.html?name=' + encodeValue(name));
        }
        if (inDialog) back.hidden = true;
    }

    // Elements marked data-when-empty="ID" show only while the element ID has no rows.
    function showEmptyNotes() {
        for (const note of document.querySelectorAll('[data-when-empty]')) {
            const list = document.getElementById(note.dataset.whenEmpty);
            note.hidden = !!list && list.querySelector('tr, li') !== null;
        }
    }

    // Text of elements marked data-name-param: the decoded value of that URL parameter.
    function showNamesFromUrl() {
        for (const element of document.querySelectorAll('[data-name-param]')) {
            const raw = rawParam(element.dataset.nameParam);
            if (raw !== undefined) element.textContent = decodeArg(raw);
        }
        for (const link of document.querySelectorAll('a[data-href-param]')) {
            const raw = rawParam(link.dataset.hrefParam);
            link.setAttribute('href', link.getAttribute('href') + (raw === undefined ? '' : raw));
        }
    }

    window.TG = {
        rawParam: rawParam,
        decodeArg: decodeArg,
        decodeArgBytes: decodeArgBytes,
        formUrl: formUrl,
        openDialog: openDialog,
    };

    document.addEventListener('DOMContentLoaded', () => {
        dropAction();
        wireControls();
        fixErrorLink();
        showEmptyNotes();
        showNamesFromUrl();
        checkRename();
    });
})();
