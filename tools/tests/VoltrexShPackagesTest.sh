#!/bin/bash
# voltrex.sh's package checks against fake dpkg-query, apt-cache and apt-get:
# a virtual package that an installed package provides counts as installed
# (so a second run installs nothing), and the names that differ between
# Debian releases are chosen from what apt offers, in the order of preference.
set -eu
script=$1
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

# The installed packages, "abbreviated status|Provides" as dpkg-query gives
# them; the second field of a line is the package's name.
cat >"$fake/status" <<'EOF'
ii |qt6-base-dev|libqt6opengl6-dev (= 6.8.2+dfsg-9), qt6-base-abi (= 6.8.2)
ii |g++|
rc |old-tool|libold-dev
ii |xvfb|xserver
EOF
cat >"$fake/dpkg-query" <<'EOF'
#!/bin/sh
# dpkg-query -W -f=FORMAT [PACKAGE]
format=$2
package=${3:-}
status=$(dirname "$0")/status
if [ -n "$package" ]; then
    line=$(grep "^.. |$package|" "$status") || { echo "no packages found matching $package" >&2; exit 1; }
    case $line in ii*) echo "install ok installed" ;; *) echo "deinstall ok config-files" ;; esac
    exit 0
fi
[ "$format" = '-f=${db:Status-Abbrev}|${Provides}\n' ] || exit 3
sed 's/^\(...\)|[^|]*|/\1|/' "$status"
EOF
# apt-cache policy NAME...: the packages of the file "offered" (empty: no
# package lists yet); the installed ones are known from dpkg's status.
cat >"$fake/apt-cache" <<'EOF'
#!/bin/sh
[ "$1" = policy ] || exit 3
shift
for name; do
    if grep -qx "$name" "$(dirname "$0")/offered"; then
        printf '%s:\n  Installed: (none)\n  Candidate: 1.0\n  Version table:\n' "$name"
    fi
done
EOF
printf '#!/bin/sh\necho "apt-get $*" >>"$(dirname "$0")/calls"\n[ "$1" != update ] || cp "$(dirname "$0")/after-update" "$(dirname "$0")/offered"\n' >"$fake/apt-get"
printf '#!/bin/sh\n"$@"\n' >"$fake/sudo"
chmod +x "$fake"/dpkg-query "$fake"/apt-cache "$fake"/apt-get "$fake"/sudo
touch "$fake/calls" "$fake/after-update"
PATH=$fake:$PATH
# shellcheck source=/dev/null
. "$script"
set +e

# name                 installed?
while read -r name expected; do
    if installed "$name"; then actual=yes; else actual=no; fi
    [ "$actual" = "$expected" ] || fail "installed $name: $actual, not $expected"
done <<'EOF'
qt6-base-dev yes
libqt6opengl6-dev yes
qt6-base-abi yes
g++ yes
libqt6opengl6 no
qt6-base no
libold-dev no
old-tool no
xserver yes
xauth no
EOF

install_missing "to test" qt6-base-dev libqt6opengl6-dev g++ >"$fake/out" 2>&1
[ ! -s "$fake/calls" ] || fail "a second run called apt-get: $(cat "$fake/calls")"
[ ! -s "$fake/out" ] || fail "a second run said: $(cat "$fake/out")"
install_missing "to test" libqt6opengl6-dev xauth libold-dev >"$fake/out" 2>&1
[ "$(cat "$fake/calls")" = "apt-get update
apt-get install -y --no-install-recommends xauth libold-dev" ] ||
    fail "installed otherwise than xauth and libold-dev: $(cat "$fake/calls")"

# release   what offered                                            chosen
while read -r what offered expected; do
    tr , '\n' <<<"$offered" >"$fake/offered"
    actual=$(release_packages "$what" 2>/dev/null)
    [ "$actual" = "${expected#-}" ] || fail "$what among $offered: \"$actual\", not \"$expected\""
done <<'EOF'
format clang-format-14,clang-format-15,clang-format-19    clang-format-14
format clang-format-17,clang-format-19,clang-format-22    clang-format-19
format clang-format-22                                    -
tidy   clang-tidy-14,clang-tidy-16,clang-tidy-19          clang-tidy-14
tidy   clang-tidy-17,clang-tidy-19,clang-tidy-22          clang-tidy-19
tidy   clang-tidy-16,clang-tidy-22                        -
tidy   clang-tidy-13                                      -
EOF

# A fresh machine's apt has no package lists: they are fetched once, then the
# names resolved.
: >"$fake/offered"
: >"$fake/calls"
updated=false
echo clang-tidy-19 >"$fake/after-update"
actual=$(release_packages tidy 2>/dev/null)
[ "$actual" = clang-tidy-19 ] || fail "without package lists: \"$actual\""
[ "$(cat "$fake/calls")" = "apt-get update" ] || fail "without package lists: $(cat "$fake/calls")"
echo "voltrex.sh package checks: all passed"
