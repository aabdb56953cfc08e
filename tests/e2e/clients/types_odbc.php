<?php
// types_odbc.php -- every Informix type as a PHP application writes and reads it
// through the odbc_* functions, which bind each result column with the display
// size the driver describes: a value longer than its described size comes back
// cut or followed by garbage. Values read back are compared with what was
// inserted.
// Usage: php types_odbc.php DSN (run by run_client.py).

require __DIR__ . '/checks.php';

// Column, its type, and per row the value inserted and the text read back
// (null: NULL). Numbers read back in their shortest exact form; fixed-width
// text comes back without its padding (the driver's default).
$columns = [
    ['c', 'CHAR(8)', ['abc', 'abc'], ['', '']],
    ['nc', 'NCHAR(6)', ['xyz', 'xyz'], [null, null]],
    ['vc', 'VARCHAR(40)', ['plain text', 'plain text'], ['', '']],
    ['nvc', 'NVARCHAR(30)', ['n text', 'n text'], [null, null]],
    ['lvc', 'LVARCHAR(2000)', [str_repeat('x', 1500), str_repeat('x', 1500)], ['y', 'y']],
    ['si', 'SMALLINT', ['-32767', '-32767'], ['32767', '32767']],
    ['i', 'INTEGER', ['2147483647', '2147483647'], [null, null]],
    ['f', 'FLOAT', ['4.6', '4.6'], ['-1.0012832363275973e-308', '-1.0012832363275973e-308']],
    ['sf', 'SMALLFLOAT', ['4.6', '4.6'], ['-1.00933085e-36', '-1.00933085e-36']],
    ['d', 'DECIMAL(12,3)', ['-123456789.123', '-123456789.123'], ['0.5', '0.500']],
    ['m', 'MONEY(10,2)', ['12345.67', '12345.67'], [null, null]],
    ['dt', 'DATE', ['2024-02-29', '2024-02-29'], ['1899-12-31', '1899-12-31']],
    ['ts', 'DATETIME YEAR TO FRACTION(5)',
     ['2024-02-29 23:59:58.12345', '2024-02-29 23:59:58.12345'], [null, null]],
    ['iv', 'INTERVAL DAY TO SECOND', ['-5 03:04:05', '-5 03:04:05'], ['42 01:01:01', '42 01:01:01']],
    ['tx', 'TEXT', [str_repeat('t', 3000), str_repeat('t', 3000)], ['short', 'short']],
    ['by', 'BYTE', ["\x00\x01\xfe\xff", "\x00\x01\xfe\xff"], [null, null]],
];

$dsn = $argv[count($argv) - 1];
$cn = odbc_connect($dsn, '', '');
if ($cn === false) {
    echo 'FAIL: connect: ' . odbc_errormsg() . "\n";
    exit(1);
}
$defs = implode(', ', array_map(fn($c) => "$c[0] $c[1]", $columns));
if (!odbc_exec($cn, "CREATE TABLE every_type (id SERIAL, $defs)")) exit(1);
$names = implode(', ', array_map(fn($c) => $c[0], $columns));
$marks = implode(', ', array_fill(0, count($columns), '?'));
$insert = odbc_prepare($cn, "INSERT INTO every_type ($names) VALUES ($marks)");
foreach ([2, 3] as $row) {
    $values = array_map(fn($c) => $c[$row][0], $columns);
    if (!odbc_execute($insert, $values)) {
        echo 'FAIL: insert: ' . odbc_errormsg($cn) . "\n";
        exit(1);
    }
}

$result = odbc_exec($cn, "SELECT $names FROM every_type ORDER BY id");
odbc_longreadlen($result, 100000);
odbc_binmode($result, ODBC_BINMODE_RETURN);
$read = 0;
foreach ([2, 3] as $row) {
    if (!odbc_fetch_row($result)) break;
    $read++;
    foreach ($columns as $k => $c) {
        $got = odbc_result($result, $k + 1);
        $want = $c[$row][1];
        if ($c[1] === 'BYTE') {
            $got = $got === null ? null : bin2hex($got);
            $want = $want === null ? null : bin2hex($want);
        }
        same($got, $want, 'row ' . ($row - 2) . " column $c[0] ($c[1])");
    }
}
same($read, 2, 'rows read back');

// Floating values also as numbers, compared with what was inserted.
$result = odbc_exec($cn, 'SELECT f, sf FROM every_type WHERE id = 1');
odbc_fetch_row($result);
same((float)odbc_result($result, 1), 4.6, 'FLOAT as a number');
same(abs((float)odbc_result($result, 2) - 4.6) < 1e-6, true, 'SMALLFLOAT as a number');
odbc_close($cn);

finish("PHP odbc every type: all checks passed");
