#!/usr/bin/env bash
# The Debian package: built from the build folder, its desktop entry, metadata and contents
# checked, installed into and removed from a private dpkg root, then the installed program run
# from a read-only tree with HOME and the XDG folders in a temporary home: a document saved in the
# watched folder gets its snapshot, and the day log is written, both in the XDG folders.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/ostrevan-package-XXXXXX")
pid=""
cleanup() {
    if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
# Waits up to 20 s for a shell condition.
wait_for() {
    for _ in $(seq 200); do
        if eval "$1"; then return 0; fi
        sleep 0.1
    done
    fail "timed out waiting for: $1"
}

echo "== building the package"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" || {
    cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/ostrevan_*.deb)
echo "$deb"

echo "== contents"
root="$work/root"
dpkg-deb -x "$deb" "$root"
for file in usr/bin/ostrevan usr/share/ostrevan/Language/GUI.ini \
            usr/share/ostrevan/Language/HELP/index.htm usr/share/ostrevan/Settings.ini \
            usr/share/applications/org.example.ostrevan.desktop \
            usr/share/metainfo/org.example.ostrevan.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/org.example.ostrevan.svg \
            usr/share/icons/hicolor/48x48/apps/org.example.ostrevan.png \
            usr/share/icons/hicolor/256x256/apps/org.example.ostrevan.png \
            usr/share/man/man1/ostrevan.1.gz usr/share/doc/ostrevan/copyright; do
    [ -f "$root/$file" ] || fail "missing $file"
done
file "$root/usr/share/icons/hicolor/48x48/apps/org.example.ostrevan.png" | grep -q "48 x 48" ||
    fail "48x48 icon has another size"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6network6 libqt6svg6; do
    grep -q "$library" <<< "$depends" || fail "Depends lacks $library"
done

echo "== validators"
desktop-file-validate "$root/usr/share/applications/org.example.ostrevan.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.ostrevan.metainfo.xml"
lintian --fail-on error "$deb"

echo "== install and remove with dpkg"
admin="$work/dpkg"
mkdir -p "$admin/var/lib/dpkg/info" "$admin/var/lib/dpkg/updates"
touch "$admin/var/lib/dpkg/status"
# No dependency is installed in the private root: only the package's own files are checked.
dpkg --root="$admin" --force-not-root --force-depends --force-script-chrootless -i "$deb" > "$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; fail "dpkg -i"; }
[ -x "$admin/usr/bin/ostrevan" ] || fail "dpkg did not install the program"
dpkg --root="$admin" --force-not-root --force-script-chrootless -r ostrevan > "$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; fail "dpkg -r"; }
left=$(find "$admin/usr" -mindepth 1 2>/dev/null | head -5 || true)
[ -z "$left" ] || fail "left after removal: $left"

echo "== the installed program in a temporary home"
home="$work/home"
mkdir -p "$home/config" "$home/run"
chmod 700 "$home/run"
# The desktop names the documents folder; the first start watches it.
printf 'XDG_DOCUMENTS_DIR="$HOME/Papers"\n' > "$home/config/user-dirs.dirs"
listing_before=$(cd "$root" && find . -printf '%p %s %T@\n' | sort)
run_env=(env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/config"
         XDG_DATA_HOME="$home/data" XDG_STATE_HOME="$home/state" XDG_RUNTIME_DIR="$home/run"
         QT_QPA_PLATFORM=offscreen)
program="$root/usr/bin/ostrevan"
# Read-only install tree where a private mount namespace is allowed; else the listing check below.
if unshare -m true 2> /dev/null; then
    "${run_env[@]}" unshare -m sh -c \
        'mount --bind "$0" "$0" && mount -o remount,bind,ro "$0" && exec "$1"' \
        "$root" "$program" &
    echo "(install tree mounted read-only)"
else
    "${run_env[@]}" "$program" &
fi
pid=$!
settings="$home/config/ostrevan/Settings.ini"
wait_for "[ -f '$settings' ]"
grep -q "^SOURCE=$home/Papers" "$settings" || fail "watched folder: $(grep SOURCE "$settings")"
grep -q "^DESTINATION=$home/data/ostrevan/store" "$settings" || fail "store in $settings"
wait_for "ls '$home'/state/ostrevan/Logs/*.log > /dev/null 2>&1"
# Watching has started (log code 2) before the document arrives.
wait_for "grep -q ';2;' '$home'/state/ostrevan/Logs/*.log"
printf 'first draft' > "$home/letter.txt"
mv "$home/letter.txt" "$home/Papers/letter.txt"
wait_for "[ \"\$(cat '$home/data/ostrevan/store/letter.txt/SnapShot.1' 2>/dev/null)\" = 'first draft' ]"
kill -TERM "$pid"
wait "$pid" || fail "the program ended with $?"
pid=""
grep -q ';13;' "$home"/state/ostrevan/Logs/*.log || fail "no close record in the day log"
listing_after=$(cd "$root" && find . -printf '%p %s %T@\n' | sort)
[ "$listing_before" = "$listing_after" ] || fail "the program wrote into its install tree"
echo "== package checks passed"
