'use strict';
// Reads every template of htdocs the way the server's template engine does and fails on what
// would silently break a page: a text between two asterisks that is no variable of that page
// (a stray asterisk swallows the markup up to the next one), a record block without its close
// tag, or a block that the page would drop because it does not know its name.
// Usage: node check_templates.js HTDOCS_DIR ITEMS_JSON
// HTDOCS_DIR is the built one (some templates are assembled at build time); ITEMS_JSON adds to
// a page's variables and record names: {"edit": {"variables": [...], "records": [...]}}.

const fs = require('node:fs');
const path = require('node:path');

// What each page gives its template: variables, and the record names in the order the page
// tests them (a block's kind is the first name found in its open tag). null: any block name is
// filled with the page's one list.
const kPages = {
    index: { variables: ['DIAGRAMNAME', 'DIAGRAMNAMEESCAPED', 'DIAGRAMRUNNING'],
             records: ['DIAGRAMRECORD'] },
    // Its item rows' variables and blocks come from ITEMS_JSON, which the build writes from the
    // item kinds' descriptions.
    edit: { variables: ['DIAGRAMNAME', 'DIAGRAMNAMEESCAPED', 'DATASOURCENAME'], records: [] },
    show: { variables: ['3D_VIEW', 'SHOW_LEGEND', 'SWAP_XY', 'DIAGRAMNAME', 'DIAGRAMNAMEESCAPED'],
            records: ['DATA'] },
    showtext: { variables: ['FIELDNAME', 'FIELDVALUE', 'FILTERNAME', 'FILTERRESULT',
                            'GROUPRESULT', 'AXISNAME', 'AXISRESULT'],
                records: ['FIELDRECORD', 'FIELDVALUERECORD', 'FILTERRECORD',
                          'FILTERRESULTRECORD', 'GROUPRESULTRECORD', 'AXISRECORD',
                          'AXISRESULTRECORD'] },
    modalchoose: { variables: ['DATASOURCENAME', 'PARAM'], records: null },
    modalregexp: { variables: ['REGEXP', 'REGEXP_RESULT', 'REGEXP_SAMPLE'], records: [] },
    modaltest: { variables: ['DIAGRAMNAME', 'DIAGRAMNAMEESCAPED', 'AXISNAME', 'GROUPNAME', 'VALUE'],
                 records: ['AXISRECORD', 'GROUPRECORD', 'DATA'] },
    // The error page sees the request's variables; it must never print the credentials.
    error: { variables: ['ERR_MSG', 'ERR_DST', 'ERR_DST_NAME', 'name'], records: [] },
};

function normalize(token) {
    return token.replace(/[/<>* \t]/g, '');
}

function findDelimited(text, start, end, from) {
    const pos = text.indexOf(start, from);
    if (pos < 0) return null;
    const last = text.indexOf(end, pos + 1);
    if (last < 0) return null;
    return { pos, token: text.slice(pos, last + end.length) };
}

// Walks `text` as the engine renders it once, visiting every block's text once.
function walk(text, page, where, problems) {
    let pos = 0;
    for (;;) {
        const variable = findDelimited(text, '*', '*', pos);
        const record = findDelimited(text, '<*', '*>', pos);
        if (record && (!variable || record.pos < variable.pos)) {
            const name = normalize(record.token);
            const tagEnd = record.pos + record.token.length;
            let close = null;
            for (let from = tagEnd; ;) {
                const candidate = findDelimited(text, '</*', '*>', from);
                if (!candidate || normalize(candidate.token) === name) { close = candidate; break; }
                from = candidate.pos + candidate.token.length;
            }
            if (!name || !close) {
                problems.push(`${where}: no close tag for '${record.token}'`);
                return;
            }
            if (page.records !== null) {
                const kind = page.records.find((r) => record.token.includes(r));
                if (kind !== name) {
                    problems.push(`${where}: block '${record.token}' is read as ` +
                                  `${kind ? `'${kind}'` : 'unknown and dropped'}`);
                }
            }
            walk(text.slice(tagEnd, close.pos), page, `${where} in ${name}`, problems);
            pos = close.pos + close.token.length;
        } else if (variable) {
            const name = normalize(variable.token);
            if (name !== 'EDIT' && !page.variables.includes(name)) {
                const line = text.slice(0, variable.pos).split('\n').length;
                problems.push(`${where}: '${variable.token.slice(0, 60)}' (near line ${line} ` +
                              'of the block) is no variable of this page');
            }
            pos = variable.pos + variable.token.length;
        } else {
            return;
        }
    }
}

function main() {
    const [dir, itemsFile] = process.argv.slice(2);
    if (!dir || !itemsFile) {
        console.error('usage: node check_templates.js HTDOCS_DIR ITEMS_JSON');
        process.exit(2);
    }
    for (const [name, added] of Object.entries(JSON.parse(fs.readFileSync(itemsFile, 'utf8')))) {
        kPages[name].variables.push(...added.variables);
        kPages[name].records.push(...added.records);
    }
    const problems = [];
    let checked = 0;
    for (const [name, page] of Object.entries(kPages)) {
        const file = path.join(dir, `${name}.html`);
        if (!fs.existsSync(file)) {
            problems.push(`${name}.html is missing`);
            continue;
        }
        const text = fs.readFileSync(file, 'latin1');
        if (text.includes('\0')) problems.push(`${name}.html: a NUL byte ends the template early`);
        walk(text, page, `${name}.html`, problems);
        ++checked;
    }
    for (const problem of problems) console.error(problem);
    console.log(`${checked} templates checked, ${problems.length} problems`);
    process.exit(problems.length ? 1 : 0);
}

main();
