#!/usr/bin/env bash
# Voltrex II: set up, build, run or test on a Debian machine.
#   ./voltrex.sh run    install what is missing, build, start the program on the
#                       simulated instrument in ./run (sample configuration placed there)
#   ./voltrex.sh test   install what is missing, build with warnings as errors,
#                       run the whole test suite
#   ./voltrex.sh asan   the same tests under AddressSanitizer and UBSan
# Installing packages needs root: run as root, or as a user who may use sudo.
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake make g++ pkg-config libgtest-dev libgmock-dev qt6-base-dev locales)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    fi
    # The tests check that a German desktop locale does not change numbers.
    if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
        as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
        as_root locale-gen >/dev/null
    fi
}

jobs=$(nproc 2>/dev/null || echo 2)

case "${1:-}" in
run)
    install_missing
    cmake --preset default
    # The program, both port libraries and the hardware check; the tests are
    # built by "test".
    cmake --build --preset default -j "$jobs" --target voltrex2 io_parport voltrex_portcheck
    mkdir -p run
    # Never overwrite a configuration the user has edited.
    [ -e run/Voltrex2.ini ] || cp config/sample/Voltrex2.ini run/Voltrex2.ini
    cd run
    exec ../build/default/bin/voltrex2
    ;;
test)
    install_missing
    cmake --preset ci
    cmake --build --preset ci -j "$jobs"
    ctest --preset ci -j "$jobs"
    ;;
asan)
    install_missing
    cmake --preset asan
    cmake --build --preset asan -j "$jobs"
    ctest --preset asan -j "$jobs"
    ;;
*)
    echo "usage: $0 run|test|asan" >&2
    exit 2
    ;;
esac
