<?php
// checks.php -- how the PHP client scripts compare what they read with what
// they wrote, and how they end: every failed check is printed, and the exit
// status says whether any failed.

$failures = 0;

function check($ok, $what) {
    global $failures;
    if (!$ok) {
        $failures++;
        echo "FAIL: $what\n";
    }
}

function same($got, $want, $what) {
    check($got === $want, "$what: got " . var_export($got, true) . ", want " . var_export($want, true));
}

function finish($passed) {
    global $failures;
    if ($failures > 0) {
        echo "$failures check(s) failed\n";
        exit(1);
    }
    echo "$passed\n";
    exit(0);
}
