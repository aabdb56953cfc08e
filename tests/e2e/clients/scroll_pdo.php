<?php
// scroll_pdo.php -- a PHP application on the driver through PDO_ODBC with its
// default settings, which let the Driver Manager decide whether its cursor
// library is needed: a plain query, a scrollable statement (PDO::CURSOR_SCROLL)
// read in every direction, and parameters, each compared with the rows
// inserted; then the same on the driver's own scrollable cursor.
// Usage: php scroll_pdo.php DSN (run by run_client.py).

require __DIR__ . '/checks.php';

$dsn = $argv[count($argv) - 1];
$db = new PDO("odbc:DSN=$dsn", null, null, [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION]);

$db->exec("CREATE TABLE s (id INTEGER, name VARCHAR(20))");
$ins = $db->prepare("INSERT INTO s VALUES (?, ?)");
for ($i = 1; $i <= 30; $i++) $ins->execute([$i, "name$i"]);

$plain = $db->query("SELECT COUNT(*) FROM s");
same($plain->fetchColumn(), "30", "a plain query");

$st = $db->prepare("SELECT id, name FROM s WHERE id > ? ORDER BY id",
                   [PDO::ATTR_CURSOR => PDO::CURSOR_SCROLL]);
$st->execute([10]);
$id = function ($row) { return $row === false ? false : (int)$row[0]; };
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_LAST)), 30, "last");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_PRIOR)), 29, "prior");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_FIRST)), 11, "first");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_ABS, 5)), 15, "absolute 5");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_REL, -2)), 13, "relative -2");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_NEXT)), 14, "next");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_ABS, 21)), false, "past the end");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_PRIOR)), 30, "prior after the end");
$row = $st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_ABS, -3);
same($row, ["28", "name28"], "absolute -3 with its name");

// The same statement again with another parameter, read forward.
$st->execute([27]);
same($st->fetchAll(PDO::FETCH_COLUMN), ["28", "29", "30"], "executed again");

// The driver's own scrollable cursor instead of the Driver Manager's cursor
// library: PDO_ODBC then sends every parameter at execution to a keyset-driven
// cursor over a table with a key.
$own = new PDO("odbc:DSN=$dsn", null, null,
               [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION,
                PDO::ODBC_ATTR_USE_CURSOR_LIBRARY => PDO::ODBC_SQL_USE_DRIVER]);
$own->exec("CREATE TABLE k (id INTEGER PRIMARY KEY, name VARCHAR(20))");
$own->exec("INSERT INTO k SELECT id, name FROM s");
$st = $own->prepare("SELECT id, name FROM k WHERE id > ? AND name <> ? ORDER BY id",
                    [PDO::ATTR_CURSOR => PDO::CURSOR_SCROLL]);
$st->execute([20, "name25"]);
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_ABS, 3)), 23, "driver's cursor: absolute 3");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_PRIOR)), 22, "driver's cursor: prior");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_LAST)), 30, "driver's cursor: last");
same($id($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_ABS, 5)), 26, "driver's cursor: past the excluded row");
same($st->fetch(PDO::FETCH_NUM, PDO::FETCH_ORI_PRIOR), ["24", "name24"], "driver's cursor: prior with its name");
$st->execute([28, "x"]);
same($st->fetchAll(PDO::FETCH_COLUMN), ["29", "30"], "driver's cursor: executed again");

finish("PDO_ODBC scrolling: all checks passed");
