#include "remote/StatusPage.h"

namespace voltrex::remote {

const char* const PageHtml = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="referrer" content="no-referrer">
<title>Voltrex II</title>
<style>
body { margin: 0; background: #111; color: #eee; font: 16px/1.35 system-ui, sans-serif; }
header { padding: 10px 14px; background: #1d2a22; display: flex; justify-content: space-between; align-items: baseline; }
h1 { font-size: 18px; margin: 0; }
#banner { padding: 10px 14px; font-weight: 600; }
#banner.running { background: #14532d; }
#banner.idle { background: #374151; }
#banner.gone, #banner.stale { background: #7f1d1d; }
main { padding: 8px 10px 20px; max-width: 760px; margin: auto; }
img { width: 100%; height: auto; image-rendering: pixelated; border: 1px solid #333; background: #000; }
dl { display: grid; grid-template-columns: repeat(2, 1fr); gap: 6px 14px; margin: 10px 2px; }
dt { color: #9ca3af; font-size: 13px; }
dd { margin: 0 0 4px; font-size: 22px; font-variant-numeric: tabular-nums; }
.line { font: 12px/1.3 ui-monospace, monospace; color: #cbd5e1; overflow-wrap: anywhere; margin: 4px 2px; }
#ending { margin: 12px 2px; padding: 8px 10px; border-radius: 6px; background: #1f2937; white-space: pre-line; }
#ending.failure { background: #7f1d1d; }
#age { color: #9ca3af; font-size: 13px; }
</style>
</head>
<body>
<header><h1>Voltrex II</h1><span id="age">waiting for the first state</span></header>
<div id="banner" class="gone">Looking for the charger program&hellip;</div>
<main>
<img id="graph" src="graph.png" alt="The voltage graph of the running test">
<p class="line" id="title"></p>
<p class="line" id="status"></p>
<dl>
<dt>Test</dt><dt>Elapsed</dt><dd id="test">&ndash;</dd><dd id="elapsed">&ndash;</dd>
<dt>Voltage</dt><dt>Per cell</dt><dd id="volts">&ndash;</dd><dd id="perCell">&ndash;</dd>
<dt>Charge</dt><dt>Energy</dt><dd id="mAh">&ndash;</dd><dd id="mWh">&ndash;</dd>
</dl>
<div id="ending" hidden></div>
</main>
<script src="remote.js"></script>
</body>
</html>
)html";

const char* const PageScript = R"js('use strict';
// Read-only: this page asks for the state and the graph, nothing else.
const field = (id) => document.getElementById(id);
let graphUpdated = -1;

function ago(seconds) {
  if (seconds < 2) return 'just now';
  if (seconds < 120) return Math.round(seconds) + ' s ago';
  if (seconds < 7200) return Math.round(seconds / 60) + ' min ago';
  return Math.round(seconds / 3600) + ' h ago';
}

function show(state) {
  const banner = field('banner');
  if (!state.programRunning) {
    banner.className = 'gone';
    banner.textContent = 'The charger program is not running.';
  } else if (state.running && state.ageSeconds > 10) {
    banner.className = 'stale';
    banner.textContent = 'No news from the running test for ' + ago(state.ageSeconds).replace(' ago', '') + '.';
  } else if (state.running) {
    banner.className = 'running';
    let what = state.test;
    if (state.cycle) what += ', cycle ' + state.cycle + ' of ' + state.of + ' (' + state.phase.toLowerCase() + ')';
    banner.textContent = what + ' running';
  } else {
    banner.className = 'idle';
    banner.textContent = 'No test running.';
  }
  field('age').textContent = state.ageSeconds === undefined ? '' : 'updated ' + ago(state.ageSeconds);
  if (state.test === undefined) return;
  field('title').textContent = state.title || '';
  field('status').textContent = state.status || '';
  field('test').textContent = state.test + (state.settings ? ' \u00b7 ' + state.settings.cells + ' ' + state.settings.cellType : '');
  field('elapsed').textContent = state.elapsedText;
  field('volts').textContent = state.volts.toFixed(2) + ' V';
  field('perCell').textContent = state.voltsPerCell.toFixed(3) + ' V';
  field('mAh').textContent = Math.round(state.mAh) + ' mAh';
  field('mWh').textContent = Math.round(state.mWh) + ' mWh';
  const ending = field('ending');
  if (state.lastEnding) {
    ending.hidden = false;
    ending.className = state.lastEnding.failure ? 'failure' : '';
    ending.textContent = state.lastEnding.summary + '\n' + state.lastEnding.body;
  }
  if (state.graphUpdated !== graphUpdated) {
    graphUpdated = state.graphUpdated;
    field('graph').src = 'graph.png?at=' + graphUpdated;
  }
}

async function refresh() {
  try {
    const answer = await fetch('state.json', { cache: 'no-store' });
    if (answer.ok) show(await answer.json());
  } catch (error) {
    field('banner').className = 'gone';
    field('banner').textContent = 'The status server does not answer.';
  }
}

refresh();
setInterval(refresh, 2000);
)js";

}  // namespace voltrex::remote
