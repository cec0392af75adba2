#!/usr/bin/env bash
# Voltrex II: set up, build, run, test, install or package on a Debian machine.
#   ./voltrex.sh run      install what is missing, build, start the program on the
#                         simulated instrument in ./run (sample configuration placed there)
#   ./voltrex.sh test     install what is missing; check the format, the layering
#                         and clang-tidy; build with warnings as errors, run the
#                         whole test suite; build the core (no Qt) under
#                         AddressSanitizer and UBSan and run its tests
#   ./voltrex.sh asan     the same tests under AddressSanitizer and UBSan
#   ./voltrex.sh install [PREFIX]
#                         build and install into PREFIX (default ~/.local): the
#                         programs, the launcher, the menu entries and icons
#   ./voltrex.sh package  build the Debian package with dpkg-buildpackage (the
#                         test suite runs during the build) and check it and
#                         the source package with lintian; the .deb lands in
#                         build/package/
# Installing packages needs root: run as root, or as a user who may use sudo.
# Nothing else needs root, except an install into a folder only root may write.
set -euo pipefail

# The package lists, one place each. A name that differs between the Debian
# releases (12 "bookworm", 13 "trixie") is never written here: it is chosen
# by release_packages below, from what this machine's apt offers.
#
# What building and running the programs needs: the results window draws its
# charts with Qt Charts (whose CMake files need Qt's OpenGL ones, which
# Debian 12's package forgets to depend on; on 13 qt6-base-dev provides the
# name) and exports them as SVG. The benchmarks of bench/ use Google Benchmark
# and the X client library. The status page server voltrex2-remote uses Qt
# HttpServer (whose CMake files need Qt WebSockets', which Debian 12's package
# forgets to depend on) and libqrencode. The results window prints a pack's
# report through Qt Print Support (its headers are in qt6-base-dev; its
# library has one name on 12 and 13).
packages=(cmake make g++ pkg-config libgtest-dev libgmock-dev qt6-base-dev
    qt6-charts-dev libqt6opengl6-dev qt6-svg-dev libbenchmark-dev libxcb1-dev
    qt6-httpserver-dev qt6-websockets-dev libqrencode-dev libqt6sql6-sqlite
    libqt6printsupport6)
# What the tests need besides: the German locale's package, the validators of
# the menu entries and the AppStream description, a private D-Bus for the
# sleep inhibitor's tests and an X server for the broken-display test
# (xvfb-run needs xauth, which xvfb only recommends), and poppler-utils'
# pdfinfo and pdftotext to read back the pack report's PDF. The status page's
# browser check (remote/check page, on demand) needs chromium besides, which
# the suite does not: it is not installed here.
test_packages=(locales desktop-file-utils appstream dbus xvfb xauth poppler-utils)
# What the checks of "test" need besides: Python for the layering check, and
# the formatter and clang-tidy (release_packages).
check_packages=(python3)
# What building and checking the Debian package needs besides.
package_packages=(build-essential dpkg-dev debhelper fakeroot lintian)

# The formatting rule is clang-format 14's with .clang-format. Debian 13 has
# no clang-format-14; its clang-format-19 writes the tree the same way (the
# tree avoids the few constructs on which the two disagree), so each release
# checks with the one it has. clang-tidy likewise: 14 where the release has
# it, else 19. clang-tidy parses the release's own C++ library: clang-tidy 19
# on Debian 12 stops at GCC 12's headers (std::stable_sort's deprecated
# get_temporary_buffer), and 20 to 22 bring checks the tree does not pass yet
# (the CERT checks moved into bugprone, throwing static initialisers).
format_versions=(14 19)
tidy_versions=(14 19)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# say_root WHAT: before a step that needs root, says how it will get it; stops
# when it cannot (WHAT is the command to run as root by hand).
say_root() {
    [ "$(id -u)" -ne 0 ] || return 0
    if command -v sudo >/dev/null; then
        echo "(with sudo: sudo may ask for your password)"
    else
        echo "That needs root, and sudo is not installed: run as root: $1; then run this again." >&2
        exit 1
    fi
}

# installed PACKAGE: true when PACKAGE is installed, or is a virtual package
# that an installed package provides (Debian 13's qt6-base-dev provides
# libqt6opengl6-dev, which has no package of its own there).
installed() {
    dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q "install ok installed" && return 0
    dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null | awk -F'|' -v name="$1" '
        $1 ~ /^ii/ {
            n = split($2, provided, /, */)
            for (i = 1; i <= n; i++) {
                split(provided[i], words, /[ :]/)
                if (words[1] == name) found = 1
            }
        }
        END { exit !found }'
}

updated=false
update_lists() {
    "$updated" && return 0
    as_root apt-get update
    updated=true
}

# first_of PACKAGE...: the first of the packages, in the order given, that is
# installed or that apt offers; nothing when this release has none of them.
first_of() {
    apt-cache policy "$@" 2>/dev/null | awk -v order="$*" '
        /^[^ ]/ { name = $1; sub(/:$/, "", name) }
        /^  (Installed|Candidate): / && $2 != "(none)" { offered[name] = 1 }
        END {
            n = split(order, names, " ")
            for (i = 1; i <= n; i++) if (names[i] in offered) { print names[i]; exit }
        }'
}

# release_packages WHAT: the names of WHAT (format, tidy) on this release,
# resolved here and nowhere else. A fresh machine whose apt has no package
# lists yet gets them first.
release_packages() {
    local candidates=() v chosen
    case $1 in
    format) for v in "${format_versions[@]}"; do candidates+=("clang-format-$v"); done ;;
    tidy) for v in "${tidy_versions[@]}"; do candidates+=("clang-tidy-$v"); done ;;
    esac
    chosen=$(first_of "${candidates[@]}")
    if [ -z "$chosen" ] && ! "$updated"; then
        say_root "apt-get update" >&2
        update_lists >&2
        chosen=$(first_of "${candidates[@]}")
    fi
    if [ -z "$chosen" ]; then
        echo "This Debian release offers none of ${candidates[*]}." >&2
        exit 1
    fi
    echo "$chosen"
}

# install_missing WHY PACKAGE...: installs the packages that are missing,
# saying first which and why.
install_missing() {
    local why=$1 missing=() p
    shift
    for p in "$@"; do
        installed "$p" || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "Installing the Debian packages $why: ${missing[*]}"
    say_root "apt-get install ${missing[*]}"
    update_lists
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# The tests check that a German desktop locale does not change numbers.
german_locale() {
    locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
    echo "Generating the locale de_DE.UTF-8 (locale-gen), which the tests use to check that"
    echo "a German desktop does not change numbers."
    say_root "enable de_DE.UTF-8 UTF-8 in /etc/locale.gen, then locale-gen"
    as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
}

set_up_tests() {
    install_missing "that building the program needs" "${packages[@]}"
    install_missing "that the tests need" "${test_packages[@]}"
    german_locale
}

# The C and C++ files the repository tracks.
tracked_sources() {
    git ls-files -- '*.c' '*.cpp' '*.h'
}

# Every tracked source as clang-format would write it.
check_format() {
    echo "Checking the format ($clang_format, .clang-format)"
    local off
    off=$(tracked_sources | xargs -P "$jobs" -n 40 "$clang_format" --dry-run -Werror 2>&1 |
        sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' |
        sort -u || true)
    if [ -n "$off" ]; then
        echo "Not formatted ($clang_format -i FILE... formats them):" >&2
        printf '  %s\n' $off >&2
        return 1
    fi
}

# clang-tidy with .clang-tidy on the sources without Qt, from the compile
# commands of build/ci, in batches: one source includes up to eight of a
# target's, as the sanitizer build compiles them. Most of clang-tidy's time is
# its checks walking the standard headers' declarations, once per batch
# instead of once per source (62 instead of 97 CPU seconds); a finding in any
# of a batch's sources is reported at its own line.
check_tidy() {
    echo "Running $clang_tidy (.clang-tidy) on the sources without Qt, the tests excepted"
    local log status=0
    log=$(mktemp)
    # The sources of build/ci compiled without Qt's headers, but the tests:
    # parsing them with GoogleTest's headers would take two thirds of the
    # run's time (the README gives the command that checks them on demand).
    # The batches are written inside the tree, where clang-tidy finds
    # .clang-tidy.
    rm -rf build/ci/tidy
    mkdir -p build/ci/tidy
    python3 -c '
import json, os, re
root = os.getcwd()
targets = {}
for entry in json.load(open("build/ci/compile_commands.json")):
    path = os.path.relpath(entry["file"])
    if ("qt6" in entry["command"] or path.startswith(("..", "build/"))
            or "/tests/" in path):
        continue
    target = re.search(r"CMakeFiles/([^ /]+)\.dir/", entry["command"]).group(1)
    targets.setdefault(target, []).append(entry)
batches = []
for target, entries in sorted(targets.items()):
    for first in range(0, len(entries), 8):
        members = entries[first:first + 8]
        batch = os.path.join(root, "build/ci/tidy", "%s_%d.cpp" % (target, first // 8))
        with open(batch, "w") as out:
            for member in members:
                out.write("#include \"%s\"  // NOLINT(bugprone-suspicious-include)\n"
                          % os.path.join(member["directory"], member["file"]))
        command = re.sub(r" -c \S+", " -c " + batch, members[0]["command"])
        batches.append({"directory": members[0]["directory"], "command": command,
                        "file": batch})
        print(batch)
json.dump(batches, open("build/ci/tidy/compile_commands.json", "w"), indent=1)' |
        xargs -P "$jobs" -n 1 "$clang_tidy" -p build/ci/tidy --quiet --warnings-as-errors='*' \
            >"$log" 2>&1 || status=$?
    # Only the findings: not clang-tidy's counts of what it left out.
    grep -v -e '^[0-9]* warnings* \(and [0-9]* errors* \)\?generated' "$log" >&2 || true
    rm -f "$log"
    return "$status"
}

# The sanitizer build compiles the core a second time. It runs beside the
# rest of the suite at the lowest priority, so that it takes only the time
# the cores would otherwise be idle (the build's waits for a precompiled
# header or a link, the window tests' waits) and never slows what is timed:
# the window tests' checks that no action holds the thread. Its output goes
# to build/asan-core.log, shown when it fails.
sanitizer_build=
background_sanitizer_build() {
    echo "Building the core under the sanitizers beside the rest (build/asan-core.log)"
    # A session of its own, so that a failure of the rest stops its
    # compilers too.
    setsid nice -n 19 cmake --build --preset asan-core -j "$jobs" >build/asan-core.log 2>&1 &
    sanitizer_build=$!
    trap 'kill -- "-$sanitizer_build" 2>/dev/null || true' EXIT
}
finish_sanitizer_build() {
    echo "Waiting for the sanitizer build"
    if ! wait "$sanitizer_build"; then
        cat build/asan-core.log >&2
        echo "The sanitizer build (asan-core) failed: its log is above and in build/asan-core.log" >&2
        exit 1
    fi
    trap - EXIT
    tail -1 build/asan-core.log
}

jobs=$(nproc 2>/dev/null || echo 2)

# Sourced (by the tests of tools/tests), the functions are all it defines.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
cd "$(dirname "$0")"

# The program, both port libraries, the hardware check and the results
# window; the tests are built by "test".
build_program() {
    cmake --preset default
    cmake --build --preset default -j "$jobs" --target voltrex2 io_simulated io_parport voltrex_portcheck voltrex2-results
}

case "${1:-}" in
run)
    install_missing "that building the program needs" "${packages[@]}"
    build_program
    mkdir -p run
    # Never overwrite a configuration the user has edited.
    [ -e run/Voltrex2.ini ] || cp config/sample/Voltrex2.ini run/Voltrex2.ini
    cd run
    exec ../build/default/bin/voltrex2
    ;;
test)
    set_up_tests
    clang_format=$(release_packages format)
    clang_tidy=$(release_packages tidy)
    install_missing "that the checks need" "${check_packages[@]}" "$clang_format" "$clang_tidy"
    check_format
    echo "Checking the includes against the layering (tools/check-layering)"
    tools/check-layering
    cmake --preset ci
    cmake --preset asan-core
    background_sanitizer_build
    cmake --build --preset ci -j "$jobs"
    ctest --preset ci -j "$jobs"
    check_tidy
    finish_sanitizer_build
    ctest --preset asan-core -j "$jobs"
    ;;
asan)
    set_up_tests
    cmake --preset asan
    cmake --build --preset asan -j "$jobs"
    ctest --preset asan -j "$jobs"
    ;;
install)
    prefix=${2:-$HOME/.local}
    install_missing "that building the program needs" "${packages[@]}"
    build_program
    if mkdir -p "$prefix" 2>/dev/null && [ -w "$prefix" ]; then
        cmake --install build/default --prefix "$prefix"
    else
        echo "Only root may write to $prefix: installing with root rights."
        say_root "cmake --install build/default --prefix $prefix"
        as_root cmake --install build/default --prefix "$prefix"
    fi
    echo "Installed into $prefix: the menu entries \"Voltrex II\" (the parallel port) and"
    echo "\"Voltrex II (simulated charger)\" keep their files in ~/.local/share/voltrex2/;"
    echo "\"Voltrex II Results\" shows them."
    ;;
package)
    install_missing "that building the program needs" "${packages[@]}"
    install_missing "that the tests need" "${test_packages[@]}"
    install_missing "that building the Debian package needs" "${package_packages[@]}"
    version=$(dpkg-parsechangelog -S Version)
    out=build/package
    source=$out/voltrex2-$version
    # The package is built from a copy of the tree, so that the build's files
    # (obj-*/, debian/voltrex2/, ...) stay out of the working tree.
    rm -rf "$out"
    mkdir -p "$source"
    tar --exclude=./build --exclude=./run --exclude=./.git --exclude=./.cache -cf - . |
        tar -C "$source" -xf -
    # The source package (a native one: the tree as a tarball) and the binary
    # one, both checked by lintian. The package follows the current Policy,
    # which Debian 12's lintian is too old to know: it would call the
    # Standards-Version newer than any.
    (cd "$source" && dpkg-buildpackage -us -uc -j"$jobs")
    lintian --display-info --pedantic --suppress-tags newer-standards-version \
        --fail-on error,warning "$out"/voltrex2_"$version"_*.changes
    ls "$out"/*.deb
    ;;
*)
    echo "usage: $0 run|test|asan|install [PREFIX]|package" >&2
    exit 2
    ;;
esac
