// ZENTRIQ console: the page zentriq-gateway serves with --web. This file holds what every view
// shares: small helpers, the page's state, the socket to the gateway, the tabs and the table of
// message handlers; each view's own part is in its file (line.js, traffic.js, watch.js,
// write.js, trends.js, convert.js), loaded after this one.
// Everything the gateway sends is put on the page with textContent, never as HTML: values come
// from a PLC and item names from other people's typed text.
"use strict";

const RECONNECT_MS = 2000;
const VIEWS = ["line", "traffic", "watch", "trends", "convert"];

const $ = (id) => document.getElementById(id);
const none = (v) => v === null || v === undefined;

const state = {
  socket: null,
  // Until the gateway's hello says otherwise; the token there is what a write must carry.
  hello: {trend_minutes: 10, most_items: 100, writes: false, token: ""},
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

// A message box: its lines as paragraphs, the first in red when it is an error; hidden when empty.
function showMessage(box, lines, isError) {
  box.replaceChildren();
  lines.filter(Boolean).forEach((text, i) => {
    box.appendChild(el("p", isError && i === 0 ? "error" : "", text));
  });
  box.hidden = !box.firstChild;
}

// ---- Tabs ----------------------------------------------------------------------------------
function showView(name) {
  if (!VIEWS.includes(name)) name = "line";
  for (const v of VIEWS) {
    $("view-" + v).hidden = v !== name;
    $("tab-" + v).setAttribute("aria-selected", String(v === name));
  }
  history.replaceState(null, "", "#" + name);  // a reload comes back to the same view
  if (name === "trends") trendShown();
  if (name === "convert") $("convert-input").focus();
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

// Sends a message to the gateway; false (and nothing sent) while not connected, for the caller
// to say so where the user is looking.
function send(msg) {
  const ws = state.socket;
  if (!ws || ws.readyState !== WebSocket.OPEN) return false;
  ws.send(JSON.stringify(msg));
  return true;
}

const NOT_CONNECTED = "Not connected to the gateway: nothing was sent.";

function onHello(m) {
  state.hello = Object.assign({}, state.hello, m);
  setText($("version"), m.version ? "gateway " + m.version : "");
  $("read-only").hidden = !m.read_only;
  trafficRestart();
  writesOffered(Boolean(m.writes));
  updateTrendNote();
}

// One handler per message type the gateway sends; any other type is ignored. Filled at start,
// once every view's script has loaded.
let handlers = {};

// ---- Start ---------------------------------------------------------------------------------
function start() {
  handlers = {
    hello: onHello, line: onLine, traffic: onTraffic, watch: onWatch,
    trend: onTrend, sample: onSample, lookup: onLookup,
  };
  for (const v of VIEWS) $("tab-" + v).addEventListener("click", () => showView(v));
  setupTraffic();
  setupWatch();
  setupWrite();
  setupTrends();
  setupConvert();
  showView(location.hash.slice(1));
  connect();
}

// The views' scripts come after this one: start once all of them are in.
document.addEventListener("DOMContentLoaded", start);
