// The Traffic view: every request through the gateway, newest first, with a pause that holds new
// entries aside and a filter on client or request.
"use strict";

const TRAFFIC_ROWS = 500;  // rows in the traffic table, and entries held while paused

const traffic = {
  paused: false,
  held: [],  // entries that arrived while paused, oldest first
};

// The backlog comes again on every connection: start afresh rather than show it twice.
function trafficRestart() {
  $("traffic").replaceChildren();
  traffic.held = [];
  updateTrafficCount();
}

function onTraffic(m) {
  const entries = m.entries || [];
  if (!traffic.paused) return addTraffic(entries);
  traffic.held.push(...entries);
  if (traffic.held.length > TRAFFIC_ROWS) traffic.held.splice(0, traffic.held.length - TRAFFIC_ROWS);
  updateTrafficCount();
}

// entries are oldest first; the table is newest first.
function addTraffic(entries) {
  const filter = trafficFilter();
  const fragment = document.createDocumentFragment();
  const recent = entries.slice(-TRAFFIC_ROWS);
  for (let i = recent.length - 1; i >= 0; i--) fragment.appendChild(trafficRow(recent[i], filter));
  const tbody = $("traffic");
  tbody.prepend(fragment);
  while (tbody.rows.length > TRAFFIC_ROWS) tbody.deleteRow(-1);
  updateTrafficCount();
}

function trafficRow(e, filter) {
  const tr = el("tr", "traffic-row");
  const at = el("td", "at", clock(e.at));
  at.title = e.at || "";  // the full UTC stamp
  tr.appendChild(at);
  for (const key of ["client", "unit", "what", "outcome", "ms"]) {
    tr.appendChild(el("td", key, e[key] ?? ""));
  }
  tr.classList.toggle("bad", e.outcome !== "ok");
  tr.classList.toggle("own", e.client === "console");
  // A write from a console page ("console 127.0.0.1:PORT") stands out from the scans.
  tr.classList.toggle("write", /^console ./.test(e.client || ""));
  tr.hidden = !trafficMatches(tr, filter);
  return tr;
}

const trafficFilter = () => $("traffic-filter").value.trim().toLowerCase();

function trafficMatches(tr, filter) {
  const text = tr.cells[1].textContent + "\n" + tr.cells[3].textContent;  // client and request
  return !filter || text.toLowerCase().includes(filter);
}

function applyTrafficFilter() {
  const filter = trafficFilter();
  for (const tr of $("traffic").rows) tr.hidden = !trafficMatches(tr, filter);
  updateTrafficCount();
}

function togglePause() {
  traffic.paused = !traffic.paused;
  $("traffic-pause").textContent = traffic.paused ? "Resume" : "Pause";
  $("traffic-pause").setAttribute("aria-pressed", String(traffic.paused));
  if (!traffic.paused) addTraffic(traffic.held.splice(0));
  updateTrafficCount();
}

function updateTrafficCount() {
  const rows = $("traffic").rows;
  let shown = 0;
  for (const tr of rows) if (!tr.hidden) shown++;
  let text = rows.length + " requests";
  if (shown !== rows.length) text += ", " + shown + " shown";
  if (traffic.paused) text += " · paused, " + traffic.held.length + " new held";
  setText($("traffic-count"), text);
  $("traffic").closest("table").classList.toggle("is-empty", rows.length === 0);
}

function setupTraffic() {
  $("traffic-pause").addEventListener("click", togglePause);
  // change as well as input: a field cleared from a script fires only change.
  $("traffic-filter").addEventListener("input", applyTrafficFilter);
  $("traffic-filter").addEventListener("change", applyTrafficFilter);
  updateTrafficCount();
}
