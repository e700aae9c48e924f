#!/usr/bin/env bash
# Set-up's package step and the Wine choice on machines that cannot have 32-bit Wine, with stand-ins for
# apt-get, dpkg, dpkg-query, npm and the two probes of scripts/exec32.sh, so that nothing on this
# machine is touched. Cases:
#   a mirror whose i386 index fails: set-up ends well, installs everything else, says why in one line,
#     and the choice is x86_64 because 32-bit Wine is not installed; TAVREL_WINDOWS=i686 then fails
#   the mirror healed: a second run installs 32-bit Wine and the choice goes back to i686; a third
#     run installs nothing
#   a machine that cannot execute 32-bit code: no i386 architecture, nothing 32-bit asked for
set -euo pipefail
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/bin"
# The stand-ins keep the machine's state in files: installed packages, foreign architectures.
cat > "$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >> "$STATE/log"
case " $* " in
  *" update "*)
    echo "Hit:1 file:/srv/stand-in/debian bookworm InRelease"
    if grep -qx i386 "$STATE/arches" 2>/dev/null; then
      echo "Err:2 file:/srv/stand-in/debian-security bookworm-security/main i386 Packages"
      echo "  File has unexpected size (1234 != 5678). Mirror sync in progress?"
      echo "W: Failed to fetch file:/srv/stand-in/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1234 != 5678). Mirror sync in progress?" >&2
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
      [ -f "$STATE/healed" ] || exit 100
    fi ;;
  *" install "*)
    for p in "$@"; do
      case $p in
        *:i386)
          if [ ! -f "$STATE/healed" ]; then
            echo "Some packages could not be installed."
            echo "E: Unable to correct problems, you have held broken packages." >&2
            exit 100
          fi ;;
      esac
    done
    for p in "$@"; do case $p in -*) ;; install) ;; *) echo "$p" >> "$STATE/installed" ;; esac; done ;;
esac
exit 0
STUB
cat > "$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
p=${*: -1}
if grep -qxF -- "$p" "$STATE/installed" 2>/dev/null; then printf 'install ok installed'; exit 0; fi
exit 1
STUB
cat > "$work/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
echo "dpkg $*" >> "$STATE/log"
case $1 in
  --print-foreign-architectures) cat "$STATE/arches" 2>/dev/null || true ;;
  --add-architecture) echo "$2" >> "$STATE/arches" ;;
esac
STUB
printf '#!/bin/sh\nexit 0\n' > "$work/bin/npm"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/node"
# The 32-bit Wine loader starts once the stand-in apt-get has installed wine32:i386.
printf '#!/bin/sh\ngrep -qx wine32:i386 "$STATE/installed" 2>/dev/null\n' > "$work/bin/wine32-loader"
chmod +x "$work/bin"/*

export PATH=$work/bin:$PATH TAVREL_WINE32_LOADER=$work/bin/wine32-loader
wanted=$(sed -n '/^PACKAGES=(/,/^)/p' "$source/scripts/setup.sh" | sed '1d;$d')

# A fresh machine of its own: apt sources, no packages, no foreign architecture.
new_machine() {
  export STATE=$work/state-$1 TAVREL_APT_ETC=$work/etc-$1 TAVREL_EXEC32_PROBE=$2
  mkdir -p "$STATE" "$TAVREL_APT_ETC/sources.list.d"
  printf 'Types: deb\nURIs: file:/srv/stand-in/debian\nSuites: bookworm\nComponents: main\n' \
    > "$TAVREL_APT_ETC/sources.list.d/debian.sources"
}
run_setup() {
  : > "$STATE/log"
  bash "$source/scripts/setup.sh" > "$STATE/out" 2>&1 || { cat "$STATE/out"; fail "set-up failed: $1"; }
}
choice() { (unset TAVREL_WINDOWS TAVREL_WINDOWS_WHY; source "$source/scripts/windows-target.sh" && echo "$TAVREL_WINDOWS: $TAVREL_WINDOWS_WHY"); }

# A machine that runs 32-bit code, behind a mirror whose i386 index fails.
new_machine lagging true
run_setup "i386 index failing"
for p in $wanted; do grep -qxF "$p" "$STATE/installed" || fail "set-up did not install $p"; done
grep -qx 'dpkg --add-architecture i386' "$STATE/log" || fail "no i386 architecture added"
[ "$(grep -c 'package index' "$STATE/out")" = 1 ] || { cat "$STATE/out"; fail "the failed index is not told in one line"; }
grep -q 'Mirror sync in progress' "$STATE/out" || fail "the failed index's reason is not told"
line=$(grep 'not installed' "$STATE/out") || { cat "$STATE/out"; fail "no line says 32-bit Wine is missing"; }
case $line in *wine32:i386*"held broken packages"*) ;; *) fail "the line names neither the package nor apt's error: $line" ;; esac
[ "$(choice)" = "x86_64: 32-bit Wine is not installed (package wine32:i386)" ] || fail "choice without 32-bit Wine: $(choice)"
if (TAVREL_WINDOWS=i686; source "$source/scripts/windows-target.sh") 2> "$STATE/err"; then
  fail "TAVREL_WINDOWS=i686 was taken without 32-bit Wine"
fi
grep -q 'wine32:i386' "$STATE/err" || fail "the forced i686 error does not name what is missing: $(cat "$STATE/err")"

# The mirror heals: the next run installs 32-bit Wine, and the choice is i686 again without being told.
touch "$STATE/healed"
run_setup "mirror healed"
grep -qx 'wine32:i386' "$STATE/installed" || fail "32-bit Wine not installed once the mirror healed"
[ "$(choice)" = "i686: this machine runs 32-bit programs under Wine" ] || fail "choice with 32-bit Wine: $(choice)"
run_setup "everything present"
if grep -q 'apt-get' "$STATE/log"; then fail "a run with everything present asked apt: $(cat "$STATE/log")"; fi

# A machine that cannot execute 32-bit code: nothing 32-bit is asked for.
new_machine no32 false
run_setup "no 32-bit execution"
if grep -q 'add-architecture\|:i386' "$STATE/log"; then fail "32-bit packages asked for: $(cat "$STATE/log")"; fi
grep -q 'cannot execute 32-bit' "$STATE/out" || fail "set-up does not say why there is no 32-bit Wine"
[ "$(choice)" = "x86_64: this machine cannot execute 32-bit x86 code" ] || fail "choice without 32-bit execution: $(choice)"
echo "set-up and Wine choice: all cases passed"
