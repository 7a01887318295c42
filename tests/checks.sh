# The checks the shell tests share; sourced, not run. Each check counts, a failure says what it was;
# `finish` ends the test with the tally.
passed=0
failed=0
check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
    fi
}
same() { [ "$1" = "$2" ] || { echo "  got:      $1"; echo "  expected: $2"; false; }; }
has() { grep -qF -- "$2" <<<"$1" || { echo "  not in: $1"; false; }; }
lacks() { ! grep -qF -- "$2" <<<"$1" || { echo "  in: $1"; false; }; }
app_id_of() { sed -n 's/^set(VAULTRY_APP_ID \(.*\))$/\1/p' "$1/CMakeLists.txt"; }
# What desktop-file-validate finds wrong with a menu entry. Its one hint, that Security might be joined
# by System or Settings, is left: the entry belongs under Utility alone. desktop-file-utils before 0.27
# (Debian 12 has 0.26) predates the key SingleMainWindow of the entry format 1.5.
entry_problems() {
    desktop-file-validate --no-hints "$1" 2>&1 | grep -v 'contains key "SingleMainWindow" in group "Desktop Entry"'
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
