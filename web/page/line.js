// The Line view: the serial line's state, its counters and answer times, the stations asked and
// the Modbus clients connected, redrawn from each "line" message (once a second).
"use strict";

const STATION_COLUMNS = [
  field("station"),
  ["state", (s) => (s.answering ? "answering" : "failing")],
  field("problem"),
  ["probe", (s) => (none(s.probe_in_ms) ? "" : seconds(s.probe_in_ms))],
];
const CLIENT_COLUMNS = [field("peer"), field("requests"), ["connected", (c) => duration(c.connected_s)]];

function onLine(m) {
  setText($("header-connection"), m.connection);
  setText($("line-connection"), m.connection);
  for (const badge of [$("line-state"), $("header-state")]) {
    setText(badge, m.up ? "up" : "down");
    badge.className = "badge " + (m.up ? "up" : "down");
  }
  setText($("line-problem"), m.problem);
  setText($("line-uptime"), duration(m.uptime_s));
  setText($("line-counters"), m.counters_text);
  fillFigures($("line-figures"), {
    requests: m.requests, retries: m.retries, timeouts: m.timeouts,
    busy: none(m.line_busy_percent) ? "–" : m.line_busy_percent + " %",
    exceptions: Object.entries(m.exceptions || {}).sort().map(([code, n]) => code + " ×" + n)
      .join(", ") || "none",
  });
  const a = m.answer_ms || {};
  const ms = (v) => (none(v) ? "–" : v + " ms");
  fillFigures($("answer-times"),
    {p50: ms(a.p50), p90: ms(a.p90), p99: ms(a.p99), max: ms(a.max), count: a.count});
  fillRows($("stations"), m.stations || [], STATION_COLUMNS,
    (tr, s) => tr.classList.toggle("bad", !s.answering));
  fillRows($("clients"), m.clients || [], CLIENT_COLUMNS);
}
