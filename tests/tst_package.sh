#!/usr/bin/env bash
# The Debian package, made by scripts/package from the tree built for the tests (no second build),
# then read back: its files, their modes, its control fields, the menu entry and AppStream data, and
# the packaged program's first start in a temporary home. Usage: tst_package.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build_dir=$2
tmp=$(mktemp -d)
program_pid=
trap '[ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null; rm -rf "$tmp"' EXIT

source "$(dirname "$0")/checks.sh"

app_id=$(app_id_of "$source_dir")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
arch=$(dpkg --print-architecture)

deb=$("$source_dir/scripts/package" --from "$build_dir" --output "$tmp/out")
check "scripts/package succeeds" same "$deb" "$tmp/out/vaultry_${version}_${arch}.deb"
if [ ! -s "$deb" ]; then
    echo "$passed passed, $failed failed"
    exit 1
fi

# --- Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
check "package name" same "$(field Package)" vaultry
check "version" same "$(field Version)" "$version"
check "architecture" same "$(field Architecture)" "$arch"
depends=$(field Depends)
for needed in libc6 libsqlcipher0 libqt6core6 libqt6gui6 libqt6widgets6 libmdb3 fonts-noto-cjk \
    qt6-translations-l10n qt6-qpa-plugins; do
    check "Depends names $needed" has "$depends" "$needed"
done
check "keepassxc is no dependency" lacks "$depends" keepassxc
check "keepassxc is suggested" has "$(field Suggests)" keepassxc
check "description present" has "$(dpkg-deb -I "$deb")" "Description: personal password book"

lintian_said=$(lintian --fail-on error "$deb" 2>&1 | grep -v "running with root privileges")
check "lintian finds no error" same "$(grep '^E:' <<<"$lintian_said")" ""

# --- Files and modes, as dpkg will place them.
listing=$(dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }')
mode_of() { awk -v path="./$1" '$3 == path { print $1 }' <<<"$listing"; }
for program in vaultry newvault importvault exportvault protectvault; do
    check "usr/bin/$program is a program" same "$(mode_of "usr/bin/$program")" "-rwxr-xr-x"
done
files=(usr/share/vaultry/Skin/Office2010.cjstyles usr/share/vaultry/Skin/NormalBlue.ini
    usr/share/vaultry/Icons/00032.ico usr/share/vaultry/Icons/00023.ico usr/share/vaultry/Icons/vaultry.png
    usr/share/vaultry/Icons/background.png "usr/share/applications/$app_id.desktop"
    "usr/share/icons/hicolor/scalable/apps/$app_id.svg" "usr/share/metainfo/$app_id.metainfo.xml"
    usr/share/doc/vaultry/copyright usr/share/doc/vaultry/changelog.gz)
for size in 16 32 48 64 128 256; do
    files+=("usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for page in vaultry newvault importvault exportvault protectvault; do
    files+=("usr/share/man/man1/$page.1.gz")
done
for file in "${files[@]}"; do
    check "$file is a plain file" same "$(mode_of "$file")" "-rw-r--r--"
done
check "everything is root's" same "$(awk '$2 != "root/root"' <<<"$listing")" ""
check "folders are 755" same "$(awk '/^d/ && $1 != "drwxr-xr-x"' <<<"$listing")" ""
check "nothing outside /usr" same "$(awk '$3 !~ /^\.\/(usr\/.*)?$/' <<<"$listing")" ""
check "no vault in the package" lacks "$listing" DB.xml

# --- What the desktop and the software centre read.
x=$tmp/x
dpkg-deb -x "$deb" "$x"
entry=$x/usr/share/applications/$app_id.desktop
check "menu entry is clean" same "$(entry_problems "$entry")" ""
for key in "Exec=vaultry" "Icon=$app_id" "SingleMainWindow=true" "Name=Quorvane密码箱"; do
    check "menu entry has $key" grep -qxF "$key" "$entry"
done
metainfo=$x/usr/share/metainfo/$app_id.metainfo.xml
check "AppStream data is valid" appstreamcli validate --no-net "$metainfo" >/dev/null
for element in "<id>$app_id</id>" "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" \
    "<release version=\"$version\"" '<name xml:lang="zh_CN">' '<summary xml:lang="zh_CN">' '<content_rating'; do
    check "AppStream data has $element" grep -qF "$element" "$metainfo"
done
check "copyright file is machine-readable" grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" \
    "$x/usr/share/doc/vaultry/copyright"
check "programs are stripped" same "$(readelf -S "$x"/usr/bin/* | grep -c debug_info)" 0

# --- The packaged program, started from the unpacked tree with no Skin/ beside it, makes its vault in
# the data home of a temporary HOME and waits at the login.
home=$tmp/home
HOME=$home XDG_DATA_HOME='' QT_QPA_PLATFORM=offscreen "$x/usr/bin/vaultry" >/dev/null 2>&1 &
program_pid=$!
vault=$home/.local/share/vaultry/DB.xml
# A loaded machine may take its time; a program that ended stops the wait.
for _ in $(seq 300); do
    [ -s "$vault" ] || ! kill -0 "$program_pid" 2>/dev/null && break
    sleep 0.1
done
sleep 0.5
check "the program waits at the login" kill -0 "$program_pid"
kill "$program_pid" 2>/dev/null
wait "$program_pid" 2>/dev/null
program_pid=
check "first start made the vault, the owner's alone" same "$(stat -c %a "$vault" 2>&1)" 600
check "the vault's folder is the owner's alone" same "$(stat -c %a "$(dirname "$vault")" 2>&1)" 700

finish
