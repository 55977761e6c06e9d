// The Convert view: a device name or an address in any notation (D100, 1064, 0x1064, 404197,
// 4x4197, X17) turned into every other, by the gateway itself, so the page and the gateway can
// never disagree on where a device lives.
"use strict";

// Function codes as engineers write them: two digits, decimal (03, 06, 16).
const functionCodes = (codes) => (codes || []).map((n) => pad(n)).join(", ");

const CONVERT_COLUMNS = [
  ...["device", "table", "address", "decimal", "reference", "width"].map(field),
  ["read", (e) => functionCodes(e.read)],
  ["write", (e) => functionCodes(e.write)],
];

function convert() {
  const text = $("convert-input").value.trim();
  if (!text) {
    return showMessage($("convert-message"), ["Type a device name or an address first."], true);
  }
  const numbers = $("convert-numbers").value;
  if (!send({type: "lookup", text, numbers})) {
    showMessage($("convert-message"), [NOT_CONNECTED], true);
  }
}

// Answers come in the order asked, over the one socket: the last one is for the last question.
function onLookup(m) {
  const entries = m.entries || [];
  fillRows($("convert-result"), entries, CONVERT_COLUMNS);
  // An ambiguous bare number's error lists each reading on a line of its own.
  showMessage($("convert-message"), m.error ? [m.error] : [m.note], Boolean(m.error));
}

function setupConvert() {
  // A form, so that Enter in the box converts as the button does.
  $("convert-form").addEventListener("submit", (e) => { e.preventDefault(); convert(); });
  // Another reading of the same text is one choice away.
  $("convert-numbers").addEventListener("change", () => {
    if ($("convert-input").value.trim()) convert();
  });
}
