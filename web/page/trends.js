// The Trends view: the values of the watched items over the last minutes, drawn with uPlot, one
// series per item, each shown or hidden by its checkbox.
"use strict";

const REDRAW_MS = 250;  // the chart is redrawn at most four times a second
const COLORS = ["#1d5fd1", "#d9480f", "#2b8a3e", "#ae3ec9", "#e67700", "#0c8599", "#c2255c",
  "#5f3dc4", "#74b816", "#495057"];

const trend = {series: [], data: [[]], hidden: new Set(), chart: null, stale: false};

const toNumber = (v) => (none(v) || v === "" ? null : Number(v));

function onTrend(m) {
  const t = trend;
  const values = m.values || [];
  t.series = m.series || [];
  // uPlot wants seconds on a time axis; the gateway sends milliseconds.
  t.data = [(m.t || []).map((ms) => ms / 1000),
    ...t.series.map((_, i) => (values[i] || []).map(toNumber))];
  buildSeriesList();
  rebuildChart();
}

function onSample(m) {
  const t = trend;
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
  const t = trend;
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
  const t = trend;
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

// 24-hour clock on the time axis, with seconds once the ticks are closer than a minute and
// milliseconds once they are closer than a second (a trend's first seconds), so no two read alike.
const hhmm = uPlot.fmtDate("{HH}:{mm}");
const hhmmss = uPlot.fmtDate("{HH}:{mm}:{ss}");
const hhmmssfff = uPlot.fmtDate("{HH}:{mm}:{ss}.{fff}");
const timeLabels = (u, splits, axis, space, incr) =>
  splits.map((s) => (incr < 1 ? hhmmssfff : incr < 60 ? hhmmss : hhmm)(new Date(s * 1000)));

// The chart is only built while its view is shown: uPlot needs a real width to lay out.
function rebuildChart() {
  const t = trend;
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
  if (!trend.chart) rebuildChart();
  else trend.chart.setSize(chartSize());
}

function redrawTrend() {
  const t = trend;
  if (!t.stale || !t.chart || !trendVisible()) return;
  t.stale = false;
  t.chart.setData(t.data);
  updateTrendNote();
}

function updateTrendNote() {
  const h = state.hello;
  setText($("trend-note"), "last " + h.trend_minutes + " minutes, up to " + h.most_items +
    " items · " + trend.data[0].length + " points");
}

function setupTrends() {
  window.addEventListener("resize", () => trend.chart && trendVisible() && trendShown());
  setInterval(redrawTrend, REDRAW_MS);
  updateTrendNote();
}
