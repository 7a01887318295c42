#!/usr/bin/env bash
# scripts/install and scripts/uninstall in a temporary home, installing from the tree built for the
# tests (no second build). Usage: tst_install.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build_dir=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

source "$(dirname "$0")/checks.sh"
png_width() { od -An -tu1 -j16 -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'; }
sums() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
app_id=$(app_id_of "$source_dir")

# Each home is a fresh temporary HOME with XDG_DATA_HOME below it; the old layout's build folder
# is a temporary one too, so no real vault is ever read or written.
in_home() {
    local home=$1
    shift
    HOME=$home XDG_DATA_HOME=$home/data VAULTRY_INSTALL_FROM=$build_dir VAULTRY_BUILD_DIR=$home/old-build "$@"
}

# --- A first install: program folder, fresh vault, menu entry, icons, link.
home=$tmp/first
data=$home/data
program=$data/vaultry
check "first install succeeds" in_home "$home" "$source_dir/scripts/install" >/dev/null
for file in vaultry newvault; do
    check "$file installed and executable" test -x "$program/$file"
done
for file in Skin/Office2010.cjstyles Skin/NormalBlue.ini Icons/00032.ico Icons/00023.ico Icons/vaultry.png; do
    check "$file installed" test -s "$program/$file"
done
check "fresh vault is the owner's alone" same "$(stat -c %a "$program/DB.xml")" 600
check "program folder is the owner's alone" same "$(stat -c %a "$program")" 700
entry=$data/applications/$app_id.desktop
check "menu entry is clean" same "$(entry_problems "$entry")" ""
check "menu entry starts the installed program" same "$(grep '^Exec=' "$entry")" "Exec=$program/vaultry"
for key in "Icon=$app_id" "Name=Quorvane密码箱" "Categories=Utility;Security;" "StartupWMClass=vaultry" \
    "SingleMainWindow=true"; do
    check "menu entry has $key" grep -qxF "$key" "$entry"
done
for size in 16 32 48 64 128 256; do
    check "icon ${size}x${size}" same "$(png_width "$data/icons/hicolor/${size}x${size}/apps/$app_id.png")" "$size"
done
check "scalable icon" grep -q "<svg" "$data/icons/hicolor/scalable/apps/$app_id.svg"
check "link to the program" same "$(readlink -f "$home/.local/bin/vaultry")" "$(readlink -f "$program/vaultry")"

# A home whose path has a blank: the launcher must get the program's path as one word.
blank="$tmp/with blank"
check "install into a path with a blank" in_home "$blank" "$source_dir/scripts/install" >/dev/null
check "menu entry quotes such a path" same "$(grep '^Exec=' "$blank/data/applications/$app_id.desktop")" \
    "Exec=\"$blank/data/vaultry/vaultry\""
check "menu entry with a quoted path is clean" same "$(entry_problems "$blank/data/applications/$app_id.desktop")" ""

# --- Again: the program files are brought up to date; the vault and the backups are not touched.
printf 'not really a vault' >"$program/DB.xml"
mkdir -p "$program/Backup"
printf 'a' >"$program/Backup/DB-20250101-120000.xml"
printf 'b' >"$program/Backup/notes.txt"
rm "$program/Skin/NormalBlue.ini"
before=$(sums "$program/Backup"; sha256sum <"$program/DB.xml")
check "second install succeeds" in_home "$home" "$source_dir/scripts/install" >/dev/null
check "vault and backups untouched" same "$(sums "$program/Backup"; sha256sum <"$program/DB.xml")" "$before"
check "missing program file restored" test -s "$program/Skin/NormalBlue.ini"

# --- Uninstall: the program goes, the data stays.
check "uninstall succeeds" in_home "$home" "$source_dir/scripts/uninstall" >/dev/null
for gone in "$program/vaultry" "$program/newvault" "$program/Skin" "$program/Icons" "$entry" \
    "$data/icons/hicolor/48x48/apps/$app_id.png" "$data/icons/hicolor/scalable/apps/$app_id.svg" \
    "$home/.local/bin/vaultry"; do
    check "uninstall removes ${gone#"$home"/}" test ! -e "$gone" -a ! -L "$gone"
done
check "uninstall keeps vault and backups" same "$(sums "$program/Backup"; sha256sum <"$program/DB.xml")" "$before"

# --- A vault of the old layout (beside the built program) is copied in, never moved; one the home
# has already is kept.
for case in "empty home" "home with a vault"; do
    home=$tmp/old-$RANDOM
    mkdir -p "$home/old-build/bin" "$home/data/vaultry"
    printf 'old vault' >"$home/old-build/bin/DB.xml"
    expected="old vault"
    if [ "$case" = "home with a vault" ]; then
        printf 'home vault' >"$home/data/vaultry/DB.xml"
        expected="home vault"
    fi
    said=$(in_home "$home" "$source_dir/scripts/install")
    check "$case: vault in the home" same "$(cat "$home/data/vaultry/DB.xml")" "$expected"
    check "$case: old vault still there" same "$(cat "$home/old-build/bin/DB.xml")" "old vault"
    if [ "$case" = "empty home" ]; then
        check "$case: the copy is told" grep -q "copied your vault" <<<"$said"
        check "$case: the copy is the owner's alone" same "$(stat -c %a "$home/data/vaultry/DB.xml")" 600
    fi
done

# --- The menu entry and icons an earlier install named vaultry go, by install and by uninstall; an
# entry of that name that starts another program stays.
for step in install uninstall; do
    for owner in ours other; do
        home=$tmp/earlier-$step-$owner
        data=$home/data
        in_home "$home" "$source_dir/scripts/install" >/dev/null
        exec_line="Exec=$data/vaultry/vaultry"
        [ "$owner" = other ] && exec_line="Exec=/opt/other/vaultry"
        printf '[Desktop Entry]\nType=Application\nName=Vaultry\n%s\n' "$exec_line" >"$data/applications/vaultry.desktop"
        cp "$data/icons/hicolor/48x48/apps/$app_id.png" "$data/icons/hicolor/48x48/apps/vaultry.png"
        in_home "$home" "$source_dir/scripts/$step" >/dev/null
        if [ "$owner" = ours ]; then
            check "$step removes the earlier entry" test ! -e "$data/applications/vaultry.desktop"
            check "$step removes the earlier icon" test ! -e "$data/icons/hicolor/48x48/apps/vaultry.png"
        else
            check "$step keeps another program's entry" test -e "$data/applications/vaultry.desktop"
        fi
    done
done

finish
