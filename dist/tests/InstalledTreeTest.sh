#!/bin/sh
# Checks of the installed tree, one case per call (see CMakeLists.txt beside
# this script for the VOLTREX_* variables):
#
#   install          install the build into $VOLTREX_PREFIX (the fixture)
#   layout           what lies where; nothing but programs in bin/
#   runpath          the programs load the real port's library by default
#   launcher         the launcher's folders, configuration and library path
#   desktop_entries  the menu entries validate and name the launcher
#   metainfo         the AppStream description validates
#
# Exit status 0: passed; 1: failed (the output says what); 77: skipped.
set -eu

prefix=$VOLTREX_PREFIX
bindir=$prefix/$VOLTREX_BINDIR
iodir=$prefix/$VOLTREX_IODIR
launcher=$prefix/$VOLTREX_LAUNCHER
failures=0

fail() {
    printf 'FAIL: %s\n' "$*"
    failures=$((failures + 1))
}

check() { # check DESCRIPTION COMMAND...: fails with DESCRIPTION unless COMMAND succeeds
    description=$1
    shift
    "$@" || fail "$description"
}

finish() {
    if [ "$failures" -ne 0 ]; then
        printf '%d check(s) failed\n' "$failures"
        exit 1
    fi
    exit 0
}

skip() {
    printf 'SKIPPED: %s\n' "$*"
    exit 77
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/voltrex-installed-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# A root process may fall back to direct port I/O: a test must never write to
# the ports of the machine it runs on. Without CAP_SYS_RAWIO in its bounding
# set, a root process gets no port access, as a user without the lp group.
without_port_access() {
    if [ "$(id -u)" -ne 0 ]; then
        "$@"
    elif setpriv --bounding-set=-sys_rawio true 2>/dev/null; then
        setpriv --bounding-set=-sys_rawio "$@"
    else
        echo "cannot drop CAP_SYS_RAWIO (setpriv failed) to run $1 as root" >&2
        return 99
    fi
}

# The first RUNPATH entry of an ELF file, with $ORIGIN resolved; empty if the
# file has none (a DT_RPATH, which LD_LIBRARY_PATH could not override, does
# not count).
runpath() {
    entry=$(readelf -d "$1" | sed -n 's/.*(RUNPATH).*Library runpath: \[\([^]:]*\).*/\1/p')
    [ -n "$entry" ] || return 0
    origin=$(dirname "$1")
    # shellcheck disable=SC2016 # a literal $ORIGIN
    case $entry in
    '$ORIGIN'*) entry=$origin${entry#\$ORIGIN} ;;
    '${ORIGIN}'*) entry=$origin${entry#\$\{ORIGIN\}} ;;
    esac
    CDPATH='' cd -- "$entry" 2>/dev/null && pwd -P
}

# The library a portcheck output says it loaded, as a canonical path.
loaded_library() {
    loaded=$(sed -n 's/^Port library: //p' "$1")
    [ -n "$loaded" ] || return 0
    echo "$(CDPATH='' cd -- "$(dirname -- "$loaded")" 2>/dev/null && pwd -P)/$(basename -- "$loaded")"
}

png_size() { # width x height from the PNG header
    od -An -j16 -N8 -tu1 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

case ${1:-} in
install)
    rm -rf "$prefix"
    "$VOLTREX_CMAKE" --install "$VOLTREX_BUILD" --prefix "$prefix" >"$scratch/install.log" 2>&1 || {
        cat "$scratch/install.log"
        exit 1
    }
    ;;

layout)
    # Programs only in bin/: a shared library there is loaded by nothing and
    # a shared object by name (a PIE program is ELF "DYN" too, but it has no
    # SONAME).
    for file in "$bindir"/*; do
        case $file in
        *.so | *.so.*) fail "a library lies in bin/: $file" ;;
        esac
        if readelf -d "$file" 2>/dev/null | grep -q '(SONAME)'; then
            fail "a shared library lies in bin/: $file"
        fi
    done
    check "voltrex2-portcheck is not installed in bin/" test -x "$bindir/voltrex2-portcheck"
    check "the real port's library is not $iodir/parport/libio.so" cmp -s "$VOLTREX_PARPORT_IO" "$iodir/parport/libio.so"
    check "the simulated library is not $iodir/simulated/libio.so" cmp -s "$VOLTREX_SIMULATED_IO" "$iodir/simulated/libio.so"
    check "the sample configuration is not in $VOLTREX_SAMPLEDIR" cmp -s "$VOLTREX_SAMPLE" "$prefix/$VOLTREX_SAMPLEDIR/Voltrex2.ini"
    check "the launcher is not executable" test -x "$launcher"
    check "no manual page voltrex2-portcheck(1)" test -s "$prefix/$VOLTREX_MANDIR/man1/voltrex2-portcheck.1"
    if [ "$VOLTREX_WITH_APP" = 1 ]; then
        check "voltrex2 is not installed in bin/" test -x "$bindir/voltrex2"
        check "voltrex2-results is not installed in bin/" test -x "$bindir/voltrex2-results"
        check "no manual page voltrex2(1)" test -s "$prefix/$VOLTREX_MANDIR/man1/voltrex2.1"
        check "no manual page voltrex2-results(1)" test -s "$prefix/$VOLTREX_MANDIR/man1/voltrex2-results.1"
        check "voltrex2-calibrate is not installed in bin/" test -x "$bindir/voltrex2-calibrate"
        check "no manual page voltrex2-calibrate(1)" test -s "$prefix/$VOLTREX_MANDIR/man1/voltrex2-calibrate.1"
        # The status page's user unit goes under the prefix like the rest
        # (it once went to /usr/local whatever the prefix: as root, into the
        # machine; as a user, the install failed).
        if [ -x "$bindir/voltrex2-remote" ]; then
            check "voltrex2-remote's user unit is not under the prefix" test -s "$prefix/lib/systemd/user/voltrex2-remote.service"
        fi
        icons=$prefix/$VOLTREX_DATADIR/icons/hicolor
        for size in 16 24 32 48 64 128 256; do
            icon=$icons/${size}x$size/apps/voltrex2.png
            if [ ! -f "$icon" ]; then
                fail "no icon $icon"
            elif [ "$(png_size "$icon")" != "${size}x$size" ]; then
                fail "$icon is $(png_size "$icon") pixels"
            fi
        done
        check "no scalable icon" grep -q '<svg' "$icons/scalable/apps/voltrex2.svg"
    fi
    finish
    ;;

runpath)
    programs=voltrex2-portcheck
    [ "$VOLTREX_WITH_APP" = 1 ] && programs="voltrex2 $programs"
    parport=$(CDPATH='' cd -- "$iodir/parport" && pwd -P)
    for program in $programs; do
        if readelf -d "$bindir/$program" | grep -q '(RPATH)'; then
            fail "$program has a DT_RPATH, which would come before LD_LIBRARY_PATH"
        fi
        found=$(runpath "$bindir/$program")
        [ "$found" = "$parport" ] || fail "the RUNPATH of $program leads to \"$found\", not to $parport"
    done
    if [ "$VOLTREX_SANITIZED" = 1 ]; then
        echo "not run under AddressSanitizer: the installed portcheck's default library"
        finish
    fi
    # The hardware check run as a user would, outside any build tree: it must
    # say that it loaded the real port's library. There is no port at FFF8,
    # so it fails (1) or cannot start (2).
    mkdir "$scratch/run"
    cp "$VOLTREX_SAMPLE" "$scratch/run/Voltrex2.ini"
    status=0
    (cd "$scratch/run" && unset LD_LIBRARY_PATH &&
        without_port_access "$bindir/voltrex2-portcheck" FFF8 >output 2>&1) || status=$?
    cat "$scratch/run/output"
    case $status in
    1 | 2) ;;
    *) fail "the installed portcheck exited with $status, not 1 or 2" ;;
    esac
    loaded=$(loaded_library "$scratch/run/output")
    check "the installed portcheck loaded \"$loaded\", not $parport/libio.so" \
        test "$loaded" = "$parport/libio.so"
    finish
    ;;

launcher)
    data=$scratch/data
    simulated=$data/voltrex2/simulated
    simulatedio=$(CDPATH='' cd -- "$iodir/simulated" && pwd -P)
    parport=$(CDPATH='' cd -- "$iodir/parport" && pwd -P)

    # The simulated mode: the simulated library first on the library path.
    # A pack setting placed beforehand (fast port accesses) stays.
    mkdir -p "$simulated"
    echo "AccessMicroseconds = 0" >"$simulated/Voltrex2Sim.ini"
    status=0
    XDG_DATA_HOME=$data "$launcher" simulated voltrex2-portcheck >"$scratch/simulated" 2>&1 || status=$?
    check "the simulated portcheck exited with $status" test "$status" -eq 0
    loaded=$(loaded_library "$scratch/simulated")
    check "the simulated mode loaded \"$loaded\", not $simulatedio/libio.so" \
        test "$loaded" = "$simulatedio/libio.so"
    check "the simulated board did not answer" grep -qx "The board answers as it should." "$scratch/simulated"
    check "the sample configuration was not placed in $simulated" cmp -s "$VOLTREX_SAMPLE" "$simulated/Voltrex2.ini"
    check "the launcher changed Voltrex2Sim.ini" grep -qx "AccessMicroseconds = 0" "$simulated/Voltrex2Sim.ini"

    # An edited configuration is the user's: the next start uses it as it is
    # (here the port moved to 0x278, where the simulated board does not
    # answer).
    sed 's/^378$/278/' "$VOLTREX_SAMPLE" >"$simulated/Voltrex2.ini"
    check "the sample's port is not 378" grep -qx 278 "$simulated/Voltrex2.ini"
    cp "$simulated/Voltrex2.ini" "$scratch/edited"
    status=0
    XDG_DATA_HOME=$data "$launcher" simulated voltrex2-portcheck >"$scratch/edited.out" 2>&1 || status=$?
    check "the launcher replaced an edited configuration" cmp -s "$scratch/edited" "$simulated/Voltrex2.ini"
    check "the edited configuration was not used (exit $status)" test "$status" -eq 1
    check "the edited port was not checked" grep -q "^Port 0x278 cannot be used: the simulated charger answers at 0x378" "$scratch/edited.out"
    # An empty or dangling configuration is the user's too.
    : >"$simulated/Voltrex2.ini"
    XDG_DATA_HOME=$data "$launcher" simulated voltrex2-portcheck >/dev/null 2>&1 || true
    check "the launcher replaced an empty configuration" test ! -s "$simulated/Voltrex2.ini"

    # The hardware mode adds nothing to the library path: the real port's
    # library, in a folder of its own, created for the user alone; HOME
    # stands in for an unset or relative XDG_DATA_HOME.
    if [ "$VOLTREX_SANITIZED" = 1 ]; then
        echo "not run under AddressSanitizer: the hardware mode's default library"
    else
        mkdir "$scratch/home"
        status=0
        (unset LD_LIBRARY_PATH && HOME=$scratch/home XDG_DATA_HOME=relative/data \
            without_port_access "$launcher" hardware voltrex2-portcheck FFF8 \
            >"$scratch/hardware" 2>&1) || status=$?
        cat "$scratch/hardware"
        case $status in
        1 | 2) ;;
        *) fail "the hardware mode's portcheck exited with $status, not 1 or 2" ;;
        esac
        loaded=$(loaded_library "$scratch/hardware")
        check "the hardware mode loaded \"$loaded\", not $parport/libio.so" \
            test "$loaded" = "$parport/libio.so"
        folder=$scratch/home/.local/share/voltrex2/hardware
        check "the sample configuration was not placed in $folder" cmp -s "$VOLTREX_SAMPLE" "$folder/Voltrex2.ini"
        check "a relative XDG_DATA_HOME was used" test ! -e "$scratch/relative"
        mode=$(stat -c %A "$folder")
        check "$folder is $mode, not drwx------" test "$mode" = drwx------
        check "the configuration is not the user's to edit" test -w "$folder/Voltrex2.ini"
    fi

    # The results window is started the same way, in the folder (asked
    # for its version, which needs no display).
    if [ "$VOLTREX_WITH_APP" = 1 ]; then
        status=0
        XDG_DATA_HOME=$data "$launcher" simulated voltrex2-results --version >"$scratch/results" 2>&1 || status=$?
        cat "$scratch/results"
        check "the launched results window exited with $status" test "$status" -eq 0
        check "the launcher did not start voltrex2-results" grep -qx "voltrex2-results 1.0" "$scratch/results"
    fi

    # Wrong calls start nothing.
    for call in "" "demo" "hardware sh" "hardware ../bin/voltrex2" "hardware voltrex2-missing"; do
        status=0
        # shellcheck disable=SC2086 # the words of a call
        XDG_DATA_HOME=$scratch/wrong "$launcher" $call >/dev/null 2>&1 || status=$?
        case $call in
        *missing) expected=127 ;;
        *) expected=2 ;;
        esac
        check "\"voltrex2-launch $call\" exited with $status, not $expected" test "$status" -eq "$expected"
    done
    check "a wrong call created a folder" test ! -e "$scratch/wrong"
    finish
    ;;

desktop_entries)
    command -v desktop-file-validate >/dev/null || skip "desktop-file-validate is not installed (package desktop-file-utils)"
    applications=$prefix/$VOLTREX_DATADIR/applications
    for entry in voltrex2:hardware voltrex2-simulated:simulated; do
        file=$applications/${entry%%:*}.desktop
        if [ ! -f "$file" ]; then
            fail "no menu entry $file"
            continue
        fi
        desktop-file-validate "$file" || fail "$file does not validate"
        # Exec names the launcher by its absolute path in this prefix.
        check "$file does not start \"$launcher ${entry#*:}\"" grep -qx "Exec=$launcher ${entry#*:}" "$file"
        # The launcher gives each entry's window the entry's name as its
        # WM_CLASS instance, so that docks group it under its own entry.
        check "$file does not claim the windows named ${entry%%:*}" grep -qx "StartupWMClass=${entry%%:*}" "$file"
    done
    check "the hardware entry is not named \"Voltrex II\"" grep -qx "Name=Voltrex II" "$applications/voltrex2.desktop"
    check "the simulated entry does not say so" grep -qx "Name=Voltrex II (simulated charger)" "$applications/voltrex2-simulated.desktop"
    # The results window opens the hardware folder, its action the simulated one.
    results=$applications/voltrex2-results.desktop
    if [ ! -f "$results" ]; then
        fail "no menu entry $results"
    else
        desktop-file-validate "$results" || fail "$results does not validate"
        check "the results entry is not named \"Voltrex II Results\"" grep -qx "Name=Voltrex II Results" "$results"
        check "$results does not start \"$launcher hardware voltrex2-results\"" \
            grep -qx "Exec=$launcher hardware voltrex2-results" "$results"
        check "$results has no action for the simulated folder" \
            grep -qx "Exec=$launcher simulated voltrex2-results" "$results"
    fi
    # So does the calibration assistant.
    calibrate=$applications/voltrex2-calibrate.desktop
    if [ ! -f "$calibrate" ]; then
        fail "no menu entry $calibrate"
    else
        desktop-file-validate "$calibrate" || fail "$calibrate does not validate"
        check "$calibrate does not start \"$launcher hardware voltrex2-calibrate\"" \
            grep -qx "Exec=$launcher hardware voltrex2-calibrate" "$calibrate"
        check "$calibrate has no action for the simulated folder" \
            grep -qx "Exec=$launcher simulated voltrex2-calibrate" "$calibrate"
    fi
    finish
    ;;

metainfo)
    command -v appstreamcli >/dev/null || skip "appstreamcli is not installed (package appstream)"
    metainfo=$prefix/$VOLTREX_DATADIR/metainfo/io.github.voltrex2.voltrex2.metainfo.xml
    [ -f "$metainfo" ] || { fail "no $metainfo"; finish; }
    appstreamcli validate --no-net --pedantic "$metainfo" || fail "$metainfo does not validate"
    for entry in voltrex2 voltrex2-simulated voltrex2-results voltrex2-calibrate; do
        check "the metainfo does not launch $entry.desktop" \
            grep -q "<launchable type=\"desktop-id\">$entry.desktop</launchable>" "$metainfo"
    done
    finish
    ;;

*)
    echo "usage: $0 install|layout|runpath|launcher|desktop_entries|metainfo" >&2
    exit 2
    ;;
esac
