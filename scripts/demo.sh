#!/usr/bin/env bash
# The demo: installs what is missing, builds the Release driver, makes an embedded
# Informix server with a small shop database under ./demo, writes a private ODBC
# configuration for it (nothing under /etc is touched) and queries it through isql.
# Every run starts the demo directory afresh.
# Usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/deps.sh
kes_install_deps

build=$root/build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" --target kesdrvw kesdrva kesdbsh

demo=$root/demo
rm -rf "$demo"
mkdir -p "$demo/servers"
# The embedded server is a directory of database files; the driver finds it here too.
export KES_INFORMIX_SERVERS=$demo/servers
dbsh=$build/platform/informix/kesdbsh
"$dbsh" --create-server demo
"$dbsh" -s demo -e "CREATE DATABASE shop WITH LOG"
# BYTE and TEXT take no plain literal, so their sample values are expressions.
"$dbsh" -s demo -d shop <<'SQL'
CREATE TABLE customer (
  cust_id  SERIAL PRIMARY KEY,
  name     VARCHAR(40) NOT NULL,
  country  CHAR(2),
  city     NVARCHAR(40),
  joined   DATE,
  notes    LVARCHAR(500)
);
CREATE TABLE product (
  prod_id  INTEGER PRIMARY KEY,
  code     NCHAR(8) NOT NULL,
  title    VARCHAR(60),
  price    MONEY(10,2),
  weight   SMALLFLOAT,
  rating   FLOAT,
  stock    SMALLINT,
  manual   TEXT,
  picture  BYTE
);
CREATE TABLE orders (
  order_id    SERIAL PRIMARY KEY,
  cust_id     INTEGER NOT NULL REFERENCES customer (cust_id),
  placed      DATETIME YEAR TO SECOND,
  ship_within INTERVAL DAY TO HOUR,
  discount    DECIMAL(5,2)
);
CREATE TABLE order_line (
  order_id   INTEGER NOT NULL REFERENCES orders (order_id),
  line_no    SMALLINT NOT NULL,
  prod_id    INTEGER NOT NULL REFERENCES product (prod_id),
  qty        INTEGER,
  unit_price DECIMAL(10,2),
  PRIMARY KEY (order_id, line_no)
);

INSERT INTO customer (name, country, city, joined, notes)
  VALUES ('Ada Lovelace', 'GB', 'London', '1843-07-10', 'Prefers analytical engines.');
INSERT INTO customer (name, country, city, joined, notes)
  VALUES ('Jürgen Weiß', 'DE', 'München', '2019-03-01', NULL);
INSERT INTO customer (name, country, city, joined, notes)
  VALUES ('Chiyo Tanaka', 'JP', '東京', '2021-11-23', 'Ships by sea.');

INSERT INTO product VALUES (100, 'TEA-01', 'Green tea, 250 g', 7.50, 0.25, 4.6, 120,
  'Steep at 80 degrees ' || 'for two minutes.', 'GIF8' || '9a');
INSERT INTO product VALUES (200, 'CUP-02', 'Stoneware cup', 12.00, 0.4, 4.9, 35,
  'Dishwasher ' || 'safe.', NULL);
INSERT INTO product VALUES (300, 'POT-03', 'Cast iron teapot', 49.90, 1.8, 4.2, 8, NULL, NULL);

INSERT INTO orders (cust_id, placed, ship_within, discount)
  VALUES (1, '2024-05-02 09:15:00', '2 12', 0.00);
INSERT INTO orders (cust_id, placed, ship_within, discount)
  VALUES (2, '2024-05-03 17:40:30', '1 00', 5.00);
INSERT INTO orders (cust_id, placed, ship_within, discount)
  VALUES (3, '2024-05-04 08:05:10', NULL, NULL);

INSERT INTO order_line VALUES (1, 1, 100, 2, 7.50);
INSERT INTO order_line VALUES (1, 2, 200, 2, 12.00);
INSERT INTO order_line VALUES (2, 1, 300, 1, 49.90);
INSERT INTO order_line VALUES (3, 1, 100, 10, 7.00);
INSERT INTO order_line VALUES (3, 2, 200, 4, 11.50);
SQL

cat > "$demo/odbcinst.ini" <<EOF
[Kestrane]
Description=Kestrane ODBC driver for Informix (Unicode build)
Driver=$build/libkesdrvw.so
EOF
cat > "$demo/odbc.ini" <<EOF
[ODBC Data Sources]
kes_demo=Kestrane

[kes_demo]
Driver=Kestrane
Description=Demo shop database on the embedded server
Database=shop
InfServer=demo
EOF
export ODBCSYSINI=$demo ODBCINI=$demo/odbc.ini

query="SELECT c.name, o.order_id, o.placed, p.title, l.qty, l.qty * l.unit_price AS amount FROM customer c, orders o, order_line l, product p WHERE o.cust_id = c.cust_id AND l.order_id = o.order_id AND p.prod_id = l.prod_id ORDER BY o.order_id, l.line_no"
echo
echo "isql kes_demo: $query"
echo "$query" | isql -v -b kes_demo

cat <<EOF

The DSN kes_demo is ready. In another shell:

  export ODBCSYSINI=$demo
  export ODBCINI=$demo/odbc.ini
  export KES_INFORMIX_SERVERS=$demo/servers

  isql -v kes_demo          (8-bit calls; iusql -v kes_demo uses the wide ones)
  /usr/bin/python3 -c 'import pyodbc; c = pyodbc.connect("DSN=kes_demo"); print(c.execute("SELECT * FROM product").fetchall())'
EOF
