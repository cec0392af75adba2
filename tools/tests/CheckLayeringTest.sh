#!/bin/sh
# tools/check-layering on a small tree of its own: each include against the
# arrows is named with its file and line, the allowed ones are not, and the
# real tree passes.
set -eu
script=$1
source_tree=$2
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
put() { mkdir -p "$tree/$(dirname "$1")"; printf '%s\n' "$2" >"$tree/$1"; }
put platform/Up.h '#pragma once
#include "instrument/Instrument.h"'
put instrument/Inside.cpp '#include "io/PortIo.h"
#include "io/parport/ParportTable.h"
#include "platform/Clock.h"'
put graph/Window.cpp '#include <QWidget>'
put app/Window.cpp '#include <QWidget>
#include "platform/Clock.h"'
put app/tests/Up.cpp '#include "../Window.h"'
put simulator/Board.cpp '#include "instrument/PortBits.h"'
put simulator/tests/BoardTest.cpp '#include "instrument/PortBits.h"
#include "testsupport/SimulatedPort.h"'
put results/Files.cpp '#include "testsupport/TempFolder.h"
#include "platform/Clock.h"'
put newfolder/New.cpp '#include "platform/Clock.h"'
put calibrate/Fit.cpp '#include <QString>
#include "instrument/Instrument.h"'
put calibrate/wizard/Page.cpp '#include <QWizard>
#include "app/MessageBoxes.h"
#include "calibrate/Fit.h"'

status=0
"$script" "$tree" >"$tree/out" 2>&1 || status=$?
fail() { echo "FAIL: $*"; cat "$tree/out"; exit 1; }
[ "$status" -eq 1 ] || fail "exit status $status, not 1"
for expected in 'platform/Up.h:2: #include "instrument/Instrument.h": platform may not include instrument' \
    'instrument/Inside.cpp:2: #include "io/parport/ParportTable.h": instrument may not include io' \
    'graph/Window.cpp:1: #include <QWidget>: only app/ and results/ and bench/ and calibrate/wizard/ and remote/ include Qt' \
    'calibrate/Fit.cpp:1: #include <QString>: only app/ and results/ and bench/ and calibrate/wizard/ and remote/ include Qt' \
    'app/tests/Up.cpp:1: #include "../Window.h" climbs out of its folder' \
    'simulator/Board.cpp:1: #include "instrument/PortBits.h": simulator may not include instrument' \
    'results/Files.cpp:1: #include "testsupport/TempFolder.h": results may not include testfiles' \
    'newfolder/New.cpp: folder newfolder/ has no place in the layering'; do
    grep -qF "$expected" "$tree/out" || fail "not reported: $expected"
done
[ "$(grep -c ': ' "$tree/out")" -eq 9 ] || fail "not exactly the 8 faults and the count reported"
"$script" "$source_tree" || fail "the source tree has includes against the layering"
echo "check-layering: all cases pass"
