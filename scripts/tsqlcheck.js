// Checks statements as Transact-SQL: each line of the file named by the
// first argument is one statement, with ODBC markers ("?"). A marker becomes
// @P1, @P2, ... as SQL Server's driver sends it; the statement must parse as
// exactly one select, insert, update or delete in node-sql-parser's
// TransactSQL grammar (DELETE given the FROM it may leave out), and hold none of the forms that grammar lets through
// but SQL Server rejects. Prints one line per statement; exits 1 when any
// fails.
'use strict';
const fs = require('fs');
const { Parser } = require('node-sql-parser');

// Forms of other dialects, looked for outside quoted text.
const foreign = [
  [/\blimit\b/i, 'LIMIT (PostgreSQL, SQLite, MySQL)'],
  [/\boffset\b(?![\s\S]*\bfetch\b)/i, 'OFFSET without FETCH'],
  [/\|\|/, '|| concatenation'],
  [/::/, ':: cast'],
  [/\bilike\b/i, 'ILIKE'],
  [/\breturning\b/i, 'RETURNING'],
  [/\b(true|false)\b/i, 'boolean literal'],
  [/`/, 'backquoted name'],
  [/\b(now|datetime|strftime|substr|length|ifnull|nvl|to_char|date_trunc)\s*\(/i, 'function of another dialect'],
  [/\bcurrent_(date|time)\b/i, 'CURRENT_DATE/CURRENT_TIME'],
];

// The statement with quoted text blanked and markers numbered.
function prepare(sql) {
  let outside = '';
  let marked = '';
  let n = 0;
  for (let i = 0; i < sql.length; ++i) {
    const c = sql[i];
    if (c === "'") {
      let j = i + 1;
      while (j < sql.length && !(sql[j] === "'" && sql[j + 1] !== "'")) j += sql[j] === "'" ? 2 : 1;
      marked += sql.slice(i, j + 1);
      outside += ' '.repeat(j + 1 - i);
      i = j;
    } else if (c === '?') {
      marked += '@P' + ++n;
      outside += ' ';
    } else {
      marked += c;
      outside += c;
    }
  }
  return { marked, outside };
}

function check(sql) {
  let { marked, outside } = prepare(sql);
  // FROM is optional after DELETE in Transact-SQL; the grammar wants it.
  marked = marked.replace(/^(\s*delete)\s+(?!from\b)/i, '$1 from ');
  for (const [pattern, name] of foreign)
    if (pattern.test(outside)) return name;
  let ast;
  try {
    ast = new Parser().astify(marked, { database: 'TransactSQL' });
  } catch (e) {
    return e.message.split('\n')[0].slice(0, 160);
  }
  const statements = Array.isArray(ast) ? ast : [ast];
  if (statements.length !== 1) return statements.length + ' statements';
  const type = statements[0] && statements[0].type;
  if (!['select', 'insert', 'update', 'delete'].includes(type)) return 'not a statement: ' + type;
  return '';
}

const lines = fs.readFileSync(process.argv[2], 'utf8').split(/\r?\n/).filter((l) => l.trim() !== '');
let failed = 0;
for (const sql of lines) {
  const problem = check(sql);
  if (problem) ++failed;
  console.log((problem ? 'FAIL ' : 'OK   ') + sql + (problem ? '  -- ' + problem : ''));
}
console.log(lines.length + ' statements, ' + failed + ' not Transact-SQL');
process.exit(failed > 0 || lines.length === 0 ? 1 : 0);
