// ZENTRIQ console: the page zentriq-gateway serves with --web.
// Everything the gateway sends is put on the page with textContent, never as HTML: values come
// from a PLC and item names from other people's typed text.
"use strict";

const TRAFFIC_ROWS = 500;           // rows in the traffic table, and entries held while paused
const TAGLIST_MAX_BYTES = 1024 * 1024;
const RECONNECT_MS = 2000;
const REDRAW_MS = 250;              // the chart is redrawn at most four times a second
const VIEWS = ["line", "traffic", "watch", "trends"];
const COLORS = ["#1d5fd1", "#d9480f", "#2b8a3e", "#ae3ec9", "#e67700", "#0c8599", "#c2255c",
  "#5f3dc4", "#74b816", "#495057"];

const $ = (id) => document.getElementById(id);
const none = (v) => v === null || v === undefined;

const state = {
  socket: null,
  hello: {trend_minutes: 10, most_items: 100},  // until the gateway's hello says otherwise
  paused: false,
  held: [],                 // traffic entries that arrived while paused, oldest first
  watchDirty: false,        // the user changed the item list and has not had it accepted yet
  awaitingWatch: false,     // a list was sent; the next "watch" message answers it
  // The gateway's refusal and notes come with every "watch" message; the page's own complaint
  // (a file too big, an interval too short) stays until the next try.
  watch: {error: "", notes: [], own: ""},
  trend: {series: [], data: [[]], hidden: new Set(), chart: null, stale: false},
};

// ---- Small helpers -------------------------------------------------------------------------
function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

// Only touching text that changed keeps a selection the user is copying from alive.
function setText(node, text) {
  const s = none(text) ? "" : String(text);
  if (node.textContent !== s) node.textContent = s;
}

const seconds = (ms) => (ms / 1000).toFixed(1) + " s";
const pad = (n, width = 2) => String(n).padStart(width, "0");
const splitItems = (text) => text.split(/[\s,]+/).filter((s) => s !== "");

function duration(s) {
  if (none(s)) return "–";
  s = Math.floor(s);
  if (s < 60) return s + " s";
  if (s < 3600) return Math.floor(s / 60) + " min " + pad(s % 60) + " s";
  if (s < 86400) return Math.floor(s / 3600) + " h " + pad(Math.floor(s / 60) % 60) + " min";
  return Math.floor(s / 86400) + " d " + Math.floor(s / 3600) % 24 + " h";
}

// Local wall-clock time with milliseconds (ISO text or ms since epoch).
function clock(when) {
  const d = new Date(when);
  if (isNaN(d)) return String(when || "");
  return [d.getHours(), d.getMinutes(), d.getSeconds()].map((n) => pad(n)).join(":") + "." +
    pad(d.getMilliseconds(), 3);
}

// Fills a tbody from a list, reusing rows so once-a-second updates do not flicker or steal a
// selection. columns: [[cell class, item => text], ...]; decorate sets row classes and data.
function fillRows(tbody, items, columns, decorate) {
  items.forEach((item, i) => {
    let tr = tbody.rows[i];
    if (!tr) {
      tr = tbody.insertRow();
      for (const [cls] of columns) tr.appendChild(el("td", cls));
    }
    columns.forEach(([, text], c) => setText(tr.cells[c], text(item)));
    if (decorate) decorate(tr, item);
  });
  while (tbody.rows.length > items.length) tbody.deleteRow(-1);
  tbody.closest("table").classList.toggle("is-empty", items.length === 0);
}

// A table column that shows one field as it came, in a cell of the field's name.
const field = (key) => [key, (item) => item[key]];

// Sets each [data-key] child of a box from values[key].
function fillFigures(box, values) {
  for (const node of box.querySelectorAll("[data-key]")) setText(node, values[node.dataset.key]);
}

function showView(name) {
  if (!VIEWS.includes(name)) name = "line";
  for (const v of VIEWS) {
    $("view-" + v).hidden = v !== name;
    $("tab-" + v).setAttribute("aria-selected", String(v === name));
  }
  history.replaceState(null, "", "#" + name);  // a reload comes back to the same view
  if (name === "trends") trendShown();
}

// ---- Connection ----------------------------------------------------------------------------
function connect() {
  const scheme = location.protocol === "https:" ? "wss://" : "ws://";
  const ws = new WebSocket(scheme + location.host + "/ws");
  state.socket = ws;
  ws.onopen = () => setConnected(true);
  ws.onmessage = (ev) => receive(ev.data);
  // An error is always followed by close, so the retrying lives here only.
  ws.onclose = () => {
    if (state.socket === ws) state.socket = null;
    setConnected(false);
    setTimeout(connect, RECONNECT_MS);
  };
}

function setConnected(on) {
  setText($("status"), on ? "connected" : "disconnected");
  $("status").classList.toggle("connected", on);
  document.body.classList.toggle("offline", !on);  // old figures stay, dimmed
}

function receive(text) {
  let msg = null;
  try { msg = JSON.parse(text); } catch (e) { console.warn("console: not JSON", e); }
  const handler = msg && handlers[msg.type];
  if (handler) handler(msg);
}

function send(msg) {
  const ws = state.socket;
  if (!ws || ws.readyState !== WebSocket.OPEN) {
    pageError("Not connected to the gateway: nothing was sent.");
    return false;
  }
  ws.send(JSON.stringify(msg));
  return true;
}

// ---- Line ----------------------------------------------------------------------------------
function onHello(m) {
  state.hello = Object.assign({}, state.hello, m);
  setText($("version"), m.version ? "gateway " + m.version : "");
  $("read-only").hidden = !m.read_only;
  // The backlog comes again on every connection: start afresh rather than show it twice.
  $("traffic").replaceChildren();
  state.held = [];
  updateTrafficCount();
  updateTrendNote();
}

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

// ---- Traffic -------------------------------------------------------------------------------
function onTraffic(m) {
  const entries = m.entries || [];
  if (!state.paused) return addTraffic(entries);
  state.held.push(...entries);
  if (state.held.length > TRAFFIC_ROWS) state.held.splice(0, state.held.length - TRAFFIC_ROWS);
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
  state.paused = !state.paused;
  $("traffic-pause").textContent = state.paused ? "Resume" : "Pause";
  $("traffic-pause").setAttribute("aria-pressed", String(state.paused));
  if (!state.paused) addTraffic(state.held.splice(0));
  updateTrafficCount();
}

function updateTrafficCount() {
  const rows = $("traffic").rows;
  let shown = 0;
  for (const tr of rows) if (!tr.hidden) shown++;
  let text = rows.length + " requests";
  if (shown !== rows.length) text += ", " + shown + " shown";
  if (state.paused) text += " · paused, " + state.held.length + " new held";
  setText($("traffic-count"), text);
  $("traffic").closest("table").classList.toggle("is-empty", rows.length === 0);
}

// ---- Watch ---------------------------------------------------------------------------------
const WATCH_COLUMNS = [
  ...["device", "name", "table", "address", "reference", "value", "hex"].map(field),
  ["age", (v) => (none(v.age_ms) ? "never" : seconds(v.age_ms))],
  field("note"), field("error"),
];

function onWatch(m) {
  if (state.awaitingWatch) {
    state.awaitingWatch = false;
    // Refused: the typed text stays for the user to correct; the list in force is unchanged.
    if (!m.error) state.watchDirty = false;
  }
  syncWatchForm(m);
  Object.assign(state.watch, {error: m.error || "", notes: m.notes || []});
  showWatchMessage();
  fillRows($("watch-table"), m.values || [], WATCH_COLUMNS, decorateWatchRow);
  setText($("watch-scanned"), m.scanned_at ? "Last scan " + clock(m.scanned_at) : "");
}

// The form follows the list in force (another console may have changed it) unless the user
// is in it or has typed something not yet accepted. Text that already says the same list is
// left as typed.
function syncWatchForm(m) {
  const items = m.items || [];
  const area = $("watch-items");
  const interval = $("watch-interval");
  if (state.watchDirty) return;
  if (document.activeElement !== area && splitItems(area.value).join("\n") !== items.join("\n"))
    area.value = items.join(" ");
  if (document.activeElement !== interval && m.interval_ms > 0)
    interval.value = String(m.interval_ms / 1000);
}

function decorateWatchRow(tr, v) {
  // A value that changed since the last scan blinks, so a toggling bit is seen at a glance.
  const cell = tr.querySelector("td.value");
  if (tr.dataset.device === v.device && tr.dataset.value !== v.value) {
    cell.classList.remove("changed");
    void cell.offsetWidth;  // restarts the animation
    cell.classList.add("changed");
  }
  tr.dataset.device = v.device || "";
  tr.dataset.value = v.value || "";
  tr.classList.toggle("bad", Boolean(v.error));
}

function showWatchMessage() {
  const {error, notes, own} = state.watch;
  const box = $("watch-message");
  box.replaceChildren();
  for (const text of [own, error]) if (text) box.appendChild(el("p", "error", text));
  if (notes.length) {
    const list = box.appendChild(el("ul"));
    for (const note of notes) list.appendChild(el("li", "", note));
  }
  box.hidden = !box.firstChild;
}

function pageError(text) {
  state.watch.own = text;
  showWatchMessage();
}

function readInterval() {
  const s = Number($("watch-interval").value);
  if (Number.isFinite(s) && s >= 0.1) return Math.round(s * 1000);
  pageError("The interval must be a number of seconds, at least 0.1.");
  return null;
}

function applyWatch() {
  const interval_ms = readInterval();
  if (interval_ms === null) return;
  pageError("");
  const items = splitItems($("watch-items").value);
  if (send({type: "watch", items, interval_ms})) state.awaitingWatch = true;
}

function loadTagList() {
  const input = $("watch-file");
  const file = input.files[0];
  input.value = "";  // choosing the same file again, after editing it, must load it again
  if (!file) return;
  if (file.size > TAGLIST_MAX_BYTES) {
    return pageError(file.name + " is " + (file.size / 1048576).toFixed(1) +
      " MB; a tag list may be at most 1 MB.");
  }
  const interval_ms = readInterval();
  if (interval_ms === null) return;
  const reader = new FileReader();
  reader.onload = () => {
    pageError("");
    // The tag list is now what is watched: the server's list replaces whatever was typed.
    if (send({type: "taglist", text: String(reader.result), interval_ms})) {
      state.watchDirty = false;
      state.awaitingWatch = true;
    }
  };
  reader.onerror = () => pageError("Could not read " + file.name + ".");
  reader.readAsText(file);
}

// ---- Trends --------------------------------------------------------------------------------
const toNumber = (v) => (none(v) || v === "" ? null : Number(v));

function onTrend(m) {
  const t = state.trend;
  const values = m.values || [];
  t.series = m.series || [];
  // uPlot wants seconds on a time axis; the gateway sends milliseconds.
  t.data = [(m.t || []).map((ms) => ms / 1000),
    ...t.series.map((_, i) => (values[i] || []).map(toNumber))];
  buildSeriesList();
  rebuildChart();
}

function onSample(m) {
  const t = state.trend;
  // A sample of another width is from before a list change; the "trend" that follows brings
  // the new series.
  if (!Array.isArray(m.values) || !t.series.length || m.values.length !== t.series.length) return;
  t.data[0].push(m.t / 1000);
  m.values.forEach((v, i) => t.data[i + 1].push(toNumber(v)));
  const xs = t.data[0];
  const cutoff = xs[xs.length - 1] - state.hello.trend_minutes * 60;
  const old = xs.findIndex((x) => x >= cutoff);  // the newest is never older than itself
  if (old > 0) for (const column of t.data) column.splice(0, old);
  t.stale = true;
}

function buildSeriesList() {
  const t = state.trend;
  $("trend-series").replaceChildren(...t.series.map((name, i) => {
    const check = el("input");
    check.type = "checkbox";
    check.checked = !t.hidden.has(name);
    check.dataset.series = name;
    check.addEventListener("change", () => setSeriesShown(i, check.checked));
    const swatch = el("span", "swatch");
    swatch.style.background = COLORS[i % COLORS.length];
    const label = el("label");
    label.append(check, swatch, el("span", "name", name), el("span", "at"));
    return label;
  }));
  $("trend-empty").hidden = t.series.length > 0;
  updateTrendNote();
}

function setSeriesShown(i, shown) {
  const t = state.trend;
  if (shown) t.hidden.delete(t.series[i]);
  else t.hidden.add(t.series[i]);
  if (t.chart) t.chart.setSeries(i + 1, {show: shown});
}

const trendVisible = () => !$("view-trends").hidden;

function chartSize() {
  const box = $("trend-chart");
  return {width: Math.max(200, box.clientWidth - 10), height: Math.max(180, box.clientHeight - 10)};
}

// Bits get a scale of their own, drawn as steps: on a register's scale a 0/1 line lies flat
// along zero. Decided from the buffer when the list changes.
const isBits = (column) =>
  column.some((v) => v !== null) && column.every((v) => v === null || v === 0 || v === 1);

// 24-hour clock on the time axis, with seconds once the ticks are closer than a minute.
const hhmm = uPlot.fmtDate("{HH}:{mm}");
const hhmmss = uPlot.fmtDate("{HH}:{mm}:{ss}");
const timeLabels = (u, splits, axis, space, incr) =>
  splits.map((s) => (incr < 60 ? hhmmss : hhmm)(new Date(s * 1000)));

// The chart is only built while its view is shown: uPlot needs a real width to lay out.
function rebuildChart() {
  const t = state.trend;
  if (t.chart) t.chart.destroy();
  t.chart = null;
  t.stale = false;
  if (!trendVisible() || t.series.length === 0) return;
  const bits = t.series.map((_, i) => isBits(t.data[i + 1]));
  const axes = [{values: timeLabels}];
  if (bits.includes(false)) axes.push({scale: "y", size: 64});
  if (bits.includes(true)) {
    axes.push({scale: "bit", side: 1, size: 36, grid: {show: false},
      values: (u, splits) => splits.map((v) => (Number.isInteger(v) ? String(v) : ""))});
  }
  t.chart = new uPlot(Object.assign(chartSize(), {
    legend: {show: false},
    cursor: {drag: {x: false, y: false}},
    scales: {x: {time: true}},
    axes,
    series: [{}, ...t.series.map((name, i) => ({
      label: name, stroke: COLORS[i % COLORS.length], width: 1.5, show: !t.hidden.has(name),
      scale: bits[i] ? "bit" : "y", paths: bits[i] ? uPlot.paths.stepped({align: 1}) : undefined,
    }))],
    hooks: {setCursor: [showCursorValues]},
  }), t.data, $("trend-chart"));
}

// Values under the cursor go beside each checkbox: uPlot's own legend would be a table of up
// to a hundred rows.
function showCursorValues(u) {
  const i = u.cursor.idx;
  $("trend-series").querySelectorAll(".at").forEach((span, s) => {
    const v = none(i) ? null : u.data[s + 1][i];
    setText(span, none(v) ? "" : String(+v.toPrecision(6)));
  });
  setText($("trend-cursor"), none(i) ? "Point at the chart for values." :
    clock(u.data[0][i] * 1000));
}

function trendShown() {
  if (!state.trend.chart) rebuildChart();
  else state.trend.chart.setSize(chartSize());
}

function redrawTrend() {
  const t = state.trend;
  if (!t.stale || !t.chart || !trendVisible()) return;
  t.stale = false;
  t.chart.setData(t.data);
  updateTrendNote();
}

function updateTrendNote() {
  const h = state.hello;
  setText($("trend-note"), "last " + h.trend_minutes + " minutes, up to " + h.most_items +
    " items · " + state.trend.data[0].length + " points");
}

// One handler per message type the gateway sends; any other type is ignored.
const handlers = {
  hello: onHello, line: onLine, traffic: onTraffic,
  watch: onWatch, trend: onTrend, sample: onSample,
};

// ---- Start ---------------------------------------------------------------------------------
function start() {
  for (const v of VIEWS) $("tab-" + v).addEventListener("click", () => showView(v));
  $("traffic-pause").addEventListener("click", togglePause);
  // change as well as input: a field cleared from a script fires only change.
  $("traffic-filter").addEventListener("input", applyTrafficFilter);
  $("traffic-filter").addEventListener("change", applyTrafficFilter);
  const edited = () => { state.watchDirty = true; };
  $("watch-items").addEventListener("input", edited);
  $("watch-interval").addEventListener("input", edited);
  $("watch-items").addEventListener("keydown", (e) => {
    if (e.key === "Enter" && (e.ctrlKey || e.metaKey)) { e.preventDefault(); applyWatch(); }
  });
  $("watch-apply").addEventListener("click", applyWatch);
  $("watch-file").addEventListener("change", loadTagList);
  window.addEventListener("resize", () => state.trend.chart && trendVisible() && trendShown());
  setInterval(redrawTrend, REDRAW_MS);
  showView(location.hash.slice(1));
  updateTrafficCount();
  updateTrendNote();
  connect();
}

start();
