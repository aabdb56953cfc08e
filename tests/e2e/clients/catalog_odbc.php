<?php
// catalog_odbc.php -- the catalog as a PHP application reads it through the
// odbc_* functions: odbc_tables, odbc_columns, odbc_primarykeys and
// odbc_procedures, and a procedure's rows through a {call} with parameters.
// Usage: php catalog_odbc.php DSN (run by run_client.py).

require __DIR__ . '/checks.php';

// One column of every row of a result, by its name.
function column($result, $name) {
    $out = [];
    if ($result === false) return $out;
    while ($row = odbc_fetch_array($result)) $out[] = $row[$name];
    odbc_free_result($result);
    return $out;
}

$dsn = $argv[count($argv) - 1];
$cn = odbc_connect($dsn, '', '');
if ($cn === false) {
    echo 'FAIL: connect: ' . odbc_errormsg() . "\n";
    exit(1);
}
$schema = [
    'CREATE TABLE php_orders (id INTEGER NOT NULL, line SMALLINT NOT NULL, item VARCHAR(40), '
    . 'PRIMARY KEY (id, line))',
    'CREATE VIEW php_items AS SELECT item FROM php_orders',
    "CREATE PROCEDURE php_lines(lo INTEGER) RETURNING SMALLINT, VARCHAR(40);\n"
    . "  DEFINE l SMALLINT; DEFINE i VARCHAR(40);\n"
    . "  FOREACH SELECT line, item INTO l, i FROM php_orders WHERE line >= lo ORDER BY line\n"
    . "    RETURN l, i WITH RESUME;\n"
    . "  END FOREACH;\n"
    . 'END PROCEDURE',
    "INSERT INTO php_orders VALUES (1, 1, 'tea')",
    "INSERT INTO php_orders VALUES (1, 2, 'cake')",
    "INSERT INTO php_orders VALUES (1, 3, 'jam')",
];
foreach ($schema as $sql) {
    if (!odbc_exec($cn, $sql)) {
        echo "FAIL: $sql: " . odbc_errormsg($cn) . "\n";
        exit(1);
    }
}

$tables = [];
$result = odbc_tables($cn, null, null, 'php%', 'TABLE,VIEW');
while ($result !== false && $row = odbc_fetch_array($result))
    $tables[$row['TABLE_NAME']] = $row['TABLE_TYPE'];
ksort($tables);
same($tables, ['php_items' => 'VIEW', 'php_orders' => 'TABLE'], 'odbc_tables');
same(column(odbc_columns($cn, null, null, 'php_orders', '%'), 'COLUMN_NAME'),
     ['id', 'line', 'item'], 'odbc_columns');
same(column(odbc_primarykeys($cn, null, null, 'php_orders'), 'COLUMN_NAME'), ['id', 'line'],
     'odbc_primarykeys');
same(column(odbc_procedures($cn, null, null, 'php%'), 'PROCEDURE_NAME'), ['php_lines'],
     'odbc_procedures');

$call = odbc_prepare($cn, '{call php_lines(?)}');
if ($call === false || !odbc_execute($call, [2])) {
    echo 'FAIL: call: ' . odbc_errormsg($cn) . "\n";
    exit(1);
}
$rows = [];
while (odbc_fetch_row($call)) $rows[] = odbc_result($call, 1) . ' ' . odbc_result($call, 2);
same($rows, ['2 cake', '3 jam'], '{call} rows');

odbc_close($cn);
finish("PHP odbc catalog: all checks passed");
