#!/usr/bin/perl
# types_dbd.pl -- every Informix type as a Perl application writes and reads it
# through DBD::ODBC, which binds each result column with the display size the
# driver describes and dies on truncation: a value longer than its described
# size fails here. Values read back are compared with what was inserted.
# Usage: perl types_dbd.pl DSN (run by run_client.py).

use strict;
use warnings;
use DBI qw(:sql_types);

my @failures;
sub is_same {
    my ($got, $want, $what) = @_;
    $got = defined $got ? $got : 'undef';
    $want = defined $want ? $want : 'undef';
    if ($got ne $want) {
        push @failures, $what;
        print "FAIL: $what: got '$got', want '$want'\n";
    }
}

# Column, its type, and per row the value inserted and the text read back
# (undef: NULL). Numbers read back in their shortest exact form; fixed-width
# text comes back without its padding (the driver's default).
my @columns = (
    ['c',   'CHAR(8)',                        ['abc',        'abc'],        ['', '']],
    ['nc',  'NCHAR(6)',                       ['xyz',        'xyz'],        [undef, undef]],
    ['vc',  'VARCHAR(40)',                    ['plain text', 'plain text'], ['', '']],
    ['nvc', 'NVARCHAR(30)',                   ['n text',     'n text'],     [undef, undef]],
    ['lvc', 'LVARCHAR(2000)',                 ['x' x 1500,   'x' x 1500],   ['y', 'y']],
    ['si',  'SMALLINT',                       [-32767,       '-32767'],     [32767, '32767']],
    ['i',   'INTEGER',                        [2147483647,   '2147483647'], [undef, undef]],
    ['f',   'FLOAT',                          ['4.6',        '4.6'],
                                              ['-1.0012832363275973e-308', '-1.0012832363275973e-308']],
    ['sf',  'SMALLFLOAT',                     ['4.6',        '4.6'],        ['-1.00933085e-36', '-1.00933085e-36']],
    ['d',   'DECIMAL(12,3)',                  ['-123456789.123', '-123456789.123'], ['0.5', '0.500']],
    ['m',   'MONEY(10,2)',                    ['12345.67',   '12345.67'],   [undef, undef]],
    ['dt',  'DATE',                           ['2024-02-29', '2024-02-29'], ['1899-12-31', '1899-12-31']],
    ['ts',  'DATETIME YEAR TO FRACTION(5)',   ['2024-02-29 23:59:58.12345', '2024-02-29 23:59:58.12345'],
                                              [undef, undef]],
    ['iv',  'INTERVAL DAY TO SECOND',         ['-5 03:04:05', '-5 03:04:05'], ['42 01:01:01', '42 01:01:01']],
    ['tx',  'TEXT',                           ['t' x 3000,   't' x 3000],   ['short', 'short']],
    ['by',  'BYTE',                           ["\x00\x01\xfe\xff", "\x00\x01\xfe\xff"], [undef, undef]],
);

my $dsn = $ARGV[-1];
my $dbh = DBI->connect("dbi:ODBC:DSN=$dsn", '', '',
                       {RaiseError => 1, PrintError => 0, LongReadLen => 100000, LongTruncOk => 0});
$dbh->do('CREATE TABLE every_type (id SERIAL, '
         . join(', ', map { "$_->[0] $_->[1]" } @columns) . ')');
my $names = join(', ', map { $_->[0] } @columns);
my $marks = join(', ', map { '?' } @columns);
my $insert = $dbh->prepare("INSERT INTO every_type ($names) VALUES ($marks)");
for my $row (0, 1) {
    for my $k (0 .. $#columns) {
        my $col = $columns[$k];
        my $value = $col->[2 + $row][0];
        if ($col->[1] eq 'BYTE') {
            $insert->bind_param($k + 1, $value, SQL_LONGVARBINARY);
        } else {
            $insert->bind_param($k + 1, $value);
        }
    }
    $insert->execute;
}

my $rows = $dbh->selectall_arrayref("SELECT $names FROM every_type ORDER BY id");
is_same(scalar(@$rows), 2, 'rows read back');
for my $row (0, 1) {
    for my $k (0 .. $#columns) {
        my $col = $columns[$k];
        my $got = $rows->[$row][$k];
        my $want = $col->[2 + $row][1];
        $got = unpack('H*', $got) if defined $got && $col->[1] eq 'BYTE';
        $want = unpack('H*', $want) if defined $want && $col->[1] eq 'BYTE';
        is_same($got, $want, "row $row column $col->[0] ($col->[1])");
    }
}

# Floating values also as numbers, compared with what was inserted.
my ($f, $sf) = $dbh->selectrow_array('SELECT f, sf FROM every_type WHERE id = 1');
is_same($f == 4.6 ? 'equal' : "$f", 'equal', 'FLOAT as a number');
is_same(abs($sf - 4.6) < 1e-6 ? 'close' : "$sf", 'close', 'SMALLFLOAT as a number');

$dbh->disconnect;
if (@failures) {
    print scalar(@failures) . " check(s) failed\n";
    exit 1;
}
print "DBD::ODBC every type: all checks passed\n";
exit 0;
