#!/usr/bin/perl
# dae_dbd.pl -- a Perl application on the driver through DBD::ODBC, which
# sends parameter values over 32 KB at execution (SQLParamData, SQLPutData): a
# 100 KB text inserted into a TEXT column beside short values, and read back
# whole and compared.
# Usage: perl dae_dbd.pl DSN (run by run_client.py).
use strict;
use warnings;
use DBI;

my $failures = 0;
sub check {
    my ($ok, $what) = @_;
    return if $ok;
    $failures++;
    print "FAIL: $what\n";
}

my $dsn = $ARGV[-1];
my $db = DBI->connect("dbi:ODBC:DSN=$dsn", "", "",
                      {RaiseError => 1, PrintError => 0, AutoCommit => 1, LongReadLen => 1 << 20});
$db->do("CREATE TABLE longs (id INTEGER, name VARCHAR(20), body TEXT)");

my $body = join("", map { chr(ord("a") + $_ % 26) x (1 + $_ % 7) } 0 .. 25000);
$body = substr($body . ("z" x 102400), 0, 102400);  # exactly 100 KB
my $ins = $db->prepare("INSERT INTO longs VALUES (?, ?, ?)");
check($ins->execute(1, "long", $body) == 1, "insert of the long row");
check($ins->execute(2, "short", "tiny") == 1, "insert of a short row");

my $sel = $db->prepare("SELECT name, body FROM longs WHERE id = ?");
for my $case ([1, "long", $body], [2, "short", "tiny"]) {
    my ($id, $name, $want) = @$case;
    $sel->execute($id);
    my ($gotName, $got) = $sel->fetchrow_array;
    $sel->finish;
    check(defined $got && $gotName eq $name, "row $id found");
    check(defined $got && length($got) == length($want),
          "row $id body length: got " . (defined $got ? length($got) : "undef")
          . ", want " . length($want));
    check(defined $got && $got eq $want, "row $id body read back byte for byte");
}
$db->disconnect;

if ($failures) {
    print "$failures check(s) failed\n";
    exit 1;
}
print "DBD::ODBC end-to-end: all checks passed\n";
