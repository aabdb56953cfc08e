<?php
// dae_pdo.php -- a PHP application on the driver through PDO_ODBC, which sends
// every parameter value at execution (SQLParamData, SQLPutData): rows of every
// Informix type inserted with prepared statements, NULLs and empty values among
// them, a large TEXT and BYTE value, and the rows selected back with parameters
// in the WHERE clause and compared value for value.
// Usage: php dae_pdo.php DSN (run by run_client.py).

require __DIR__ . '/checks.php';

$dsn = $argv[count($argv) - 1];
// Without this PDO asks the Driver Manager for its cursor library, which the
// driver does not need.
$db = new PDO("odbc:DSN=$dsn", null, null, [
    PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION,
    PDO::ODBC_ATTR_USE_CURSOR_LIBRARY => PDO::ODBC_SQL_USE_DRIVER,
]);

$db->exec("CREATE TABLE t (id INTEGER NOT NULL PRIMARY KEY, sr SERIAL, c CHAR(6), nc NCHAR(16), "
    . "vc VARCHAR(40), nvc NVARCHAR(60), lvc LVARCHAR(4000), si SMALLINT, i INTEGER, f FLOAT, "
    . "sf SMALLFLOAT, d DECIMAL(12,3), m MONEY(10,2), dt DATE, ts DATETIME YEAR TO FRACTION(5), "
    . "iv INTERVAL DAY TO SECOND, tx TEXT, by BYTE)");

$columns = ["c", "nc", "vc", "nvc", "lvc", "si", "i", "f", "sf", "d", "m", "dt", "ts", "iv", "tx", "by"];
$big = str_repeat("0123456789abcdef", 16384);  // 256 KB
$blob = "";
for ($k = 0; $k < 70000; $k++) $blob .= chr(($k * 31) % 256);
// Values as the application has them; the server gives back the same text (the
// blanks that pad a CHAR value are not delivered without SPACEPADCHAR).
$rows = [
    1 => ["abc", "N\u{00e4}he", "plain", "\u{03a9} \u{00e9}t\u{00e9}", str_repeat("long ", 500),
          -32767, 2147483647, 3.141592653589793, 0.5, "-123456789.123", "99999999.99",
          "2024-02-29", "2024-02-29 23:59:58.12345", "5 10:11:12", "some text", "\x00\x01\xfe\xff"],
    2 => [null, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null],
    3 => ["", "", "", "", "", 0, 0, 0.0, 0.0, "0.000", "0.00", "1970-01-01", "1970-01-01 00:00:00.00000",
          "0 00:00:00", "", ""],
    4 => ["x", "y", "z", "w", "v", 7, -7, -2.5e-300, -1024.0, "0.001", "-0.50", "9999-12-31",
          "9999-12-31 23:59:59.99999", "99 23:59:59", $big, $blob],
];

$ins = $db->prepare("INSERT INTO t (id, " . implode(", ", $columns) . ") VALUES (?"
    . str_repeat(", ?", count($columns)) . ")");
foreach ($rows as $id => $values) {
    $ins->bindValue(1, $id, PDO::PARAM_INT);
    foreach ($values as $k => $v) {
        $type = $v === null ? PDO::PARAM_NULL : (is_int($v) ? PDO::PARAM_INT : PDO::PARAM_STR);
        if ($columns[$k] === "by" && $v !== null) $type = PDO::PARAM_LOB;
        $ins->bindValue($k + 2, $v, $type);
    }
    check($ins->execute(), "insert row $id");
    same($ins->rowCount(), 1, "row count of row $id");
}

// An expected value as the server's text for it.
function expected($column, $v) {
    if ($v === null) return null;
    switch ($column) {
        case "f": case "sf": return (float)$v;
        case "si": case "i": return (int)$v;
        case "ts": return $v;
        default: return (string)$v;
    }
}

$sel = $db->prepare("SELECT " . implode(", ", $columns) . " FROM t WHERE id = ? AND sr > ?");
foreach ($rows as $id => $values) {
    $sel->execute([$id, 0]);
    $got = $sel->fetch(PDO::FETCH_NUM);
    check($got !== false, "row $id selected");
    if ($got === false) continue;
    check($sel->fetch(PDO::FETCH_NUM) === false, "one row for id $id");
    foreach ($columns as $k => $column) {
        $g = $got[$k];
        $w = expected($column, $values[$k]);
        if ($column === "f" || $column === "sf") {
            check($g === null ? $w === null : abs((float)$g - $w) <= abs($w) * 1e-6,
                  "row $id $column: got " . var_export($g, true) . ", want " . var_export($w, true));
        } elseif ($column === "si" || $column === "i") {
            same($g === null ? null : (int)$g, $w, "row $id $column");
        } elseif ($column === "by") {
            // BYTE comes back as its bytes or as their hex text.
            check($g === $w || ($w !== null && strcasecmp((string)$g, bin2hex($w)) === 0),
                  "row $id by: " . strlen((string)$g) . " bytes back for " . strlen((string)$w));
        } else {
            same($g, $w, "row $id $column");
        }
    }
}

// Text parameters in a WHERE clause, a LIKE pattern among them.
$q = $db->prepare("SELECT id FROM t WHERE vc = ? OR lvc LIKE ? ORDER BY id");
$q->execute(["plain", "v%"]);
same($q->fetchAll(PDO::FETCH_COLUMN), ["1", "4"], "ids found by text parameters");

finish("PDO_ODBC end-to-end: all checks passed");
