// The Watch view: the list of devices the gateway scans for every console, typed or from a CSV
// tag list, and their values after each scan.
"use strict";

const TAGLIST_MAX_BYTES = 1024 * 1024;

const watch = {
  dirty: false,      // the user changed the item list and has not had it accepted yet
  awaiting: false,   // a list was sent; the next "watch" message answers it
  // The gateway's refusal and notes come with every "watch" message; the page's own complaint
  // (a file too big, an interval too short) stays until the next try.
  error: "", notes: [], own: "",
};

const WATCH_COLUMNS = [
  ...["device", "name", "table", "address", "reference", "value", "hex"].map(field),
  ["age", (v) => (none(v.age_ms) ? "never" : seconds(v.age_ms))],
  field("note"), field("error"),
];

function onWatch(m) {
  if (watch.awaiting) {
    watch.awaiting = false;
    // Refused: the typed text stays for the user to correct; the list in force is unchanged.
    if (!m.error) watch.dirty = false;
  }
  syncWatchForm(m);
  Object.assign(watch, {error: m.error || "", notes: m.notes || []});
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
  if (watch.dirty) return;
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
  const box = $("watch-message");
  box.replaceChildren();
  for (const text of [watch.own, watch.error]) if (text) box.appendChild(el("p", "error", text));
  if (watch.notes.length) {
    const list = box.appendChild(el("ul"));
    for (const note of watch.notes) list.appendChild(el("li", "", note));
  }
  box.hidden = !box.firstChild;
}

function watchError(text) {
  watch.own = text;
  showWatchMessage();
}

function readInterval() {
  const s = Number($("watch-interval").value);
  if (Number.isFinite(s) && s >= 0.1) return Math.round(s * 1000);
  watchError("The interval must be a number of seconds, at least 0.1.");
  return null;
}

function applyWatch() {
  const interval_ms = readInterval();
  if (interval_ms === null) return;
  const items = splitItems($("watch-items").value);
  const sent = send({type: "watch", items, interval_ms});
  watchError(sent ? "" : NOT_CONNECTED);
  if (sent) watch.awaiting = true;
}

function loadTagList() {
  const input = $("watch-file");
  const file = input.files[0];
  input.value = "";  // choosing the same file again, after editing it, must load it again
  if (!file) return;
  if (file.size > TAGLIST_MAX_BYTES) {
    return watchError(file.name + " is " + (file.size / 1048576).toFixed(1) +
      " MB; a tag list may be at most 1 MB.");
  }
  const interval_ms = readInterval();
  if (interval_ms === null) return;
  const reader = new FileReader();
  reader.onload = () => {
    const sent = send({type: "taglist", text: String(reader.result), interval_ms});
    watchError(sent ? "" : NOT_CONNECTED);
    // The tag list is now what is watched: the server's list replaces whatever was typed.
    if (sent) {
      watch.dirty = false;
      watch.awaiting = true;
    }
  };
  reader.onerror = () => watchError("Could not read " + file.name + ".");
  reader.readAsText(file);
}

function setupWatch() {
  const edited = () => { watch.dirty = true; };
  $("watch-items").addEventListener("input", edited);
  $("watch-interval").addEventListener("input", edited);
  $("watch-items").addEventListener("keydown", (e) => {
    if (e.key === "Enter" && (e.ctrlKey || e.metaKey)) { e.preventDefault(); applyWatch(); }
  });
  $("watch-apply").addEventListener("click", applyWatch);
  $("watch-file").addEventListener("change", loadTagList);
}
