#!/usr/bin/perl
# catalog_dbd.pl -- the catalog of a database as a Perl application reads it:
# Debian's DBD::ODBC through the Driver Manager on one driver library, against
# a database of the embedded server made for the run. Checks table_info,
# column_info, primary_key and type_info_all.
#
# Usage: catalog_dbd.pl --driver LIBRARY --dbsh KESDBSH

use strict;
use warnings;
use DBI;
use File::Temp qw(tempdir);
use Getopt::Long;

my ($driver, $dbsh);
GetOptions('driver=s' => \$driver, 'dbsh=s' => \$dbsh) or die "bad arguments\n";
die "usage: $0 --driver LIBRARY --dbsh KESDBSH\n" unless $driver && $dbsh;

my $root = tempdir('kes_catpl_XXXXXX', TMPDIR => 1, CLEANUP => 1);
sub write_file {
    my ($name, $text) = @_;
    open(my $f, '>', "$root/$name") or die "$name: $!\n";
    print $f $text;
    close($f);
}
write_file('odbcinst.ini', "[Kestrane Pl]\nDriver=$driver\nThreading=0\n");
write_file('odbc.ini', "[ODBC Data Sources]\nkes_pl=Kestrane Pl\n\n"
                     . "[kes_pl]\nDriver=Kestrane Pl\nDatabase=pldb\nInfServer=plsrv\n");
$ENV{ODBCSYSINI} = $root;
$ENV{ODBCINI} = "$root/odbc.ini";
$ENV{KES_INFORMIX_SERVERS} = $root;
system($dbsh, '--create-server', 'plsrv') == 0 or die "server\n";
system($dbsh, '-s', 'plsrv', '-e', 'CREATE DATABASE pldb WITH LOG') == 0 or die "database\n";
system($dbsh, '-s', 'plsrv', '-d', 'pldb', '-e',
       'CREATE TABLE pl_orders (id INTEGER NOT NULL, line SMALLINT NOT NULL, item VARCHAR(40), '
       . 'PRIMARY KEY (id, line))') == 0 or die "table\n";

my @failures;
sub is_same {
    my ($got, $want, $what) = @_;
    $got = defined $got ? $got : 'undef';
    if ($got ne $want) {
        push @failures, $what;
        print "FAIL: $what: got '$got', want '$want'\n";
    }
}

my $dbh = DBI->connect('dbi:ODBC:DSN=kes_pl', '', '', {RaiseError => 1, PrintError => 0});

my $tables = $dbh->table_info(undef, undef, 'pl%', 'TABLE')->fetchall_arrayref({});
is_same(join(',', map { $_->{TABLE_NAME} } @$tables), 'pl_orders', 'table_info names');
is_same(join(',', map { $_->{TABLE_TYPE} } @$tables), 'TABLE', 'table_info types');

my $columns = $dbh->column_info(undef, undef, 'pl_orders', '%')->fetchall_arrayref({});
is_same(join(',', map { "$_->{COLUMN_NAME}:$_->{TYPE_NAME}:$_->{COLUMN_SIZE}" } @$columns),
        'id:INTEGER:10,line:SMALLINT:5,item:VARCHAR:40', 'column_info');
is_same(join(',', map { $_->{IS_NULLABLE} } @$columns), 'NO,NO,YES', 'column_info nullability');

is_same(join(',', $dbh->primary_key(undef, undef, 'pl_orders')), 'id,line', 'primary_key');

my $info = $dbh->type_info_all;
my $index = $info->[0];
my %types = map { $_->[$index->{TYPE_NAME}] => $_->[$index->{DATA_TYPE}] } @$info[1 .. $#$info];
is_same($types{'INTEGER'}, 4, 'type_info_all INTEGER');
is_same($types{'DATETIME YEAR TO FRACTION(5)'}, 93, 'type_info_all DATETIME');
is_same(exists $index->{COLUMN_SIZE} ? 1 : 0, 1, 'type_info_all names its columns');

$dbh->disconnect;
if (@failures) {
    print scalar(@failures) . " check(s) failed\n";
    exit 1;
}
print "DBD::ODBC catalog: all checks passed\n";
exit 0;
