// The page: reads the form, hands one job at a time to the worker (the compiled core) and
// shows its answer. Keys, and messages in Windows-1252, are normalised to NFC here, as the
// command line does, since the core in the page has no Unicode tables of its own.
"use strict";

const CIPHERS = ["Blowfish", "DES", "Gost", "Skipjack", "Twofish"];
const FIND = -1;
const OTHER = "other";
const SHOW_LIMIT = 2 * 1024 * 1024; // bytes: longer files and results are held, not shown

const $ = (id) => document.getElementById(id);
const form = $("form");
const cipher = $("cipher");
const passes = $("passes");
const passesOther = $("passes-other");
const encoding = $("encoding");
const key = $("key");
const keyAgain = $("key-again");
const message = $("message");
const heldNote = $("held");
const run = $("run");
const progress = $("progress");
const statusLine = $("status");

const workerSource = URL.createObjectURL(new Blob([$("worker-source").textContent], { type: "text/javascript" }));
const worker = new Worker(workerSource);
// Helpers beside it, one for each further core, decipher the pieces of a pass that it hands
// them (each starts its module at once, so that it is ready by the first decryption).
const helpers = [];
for (let i = 1; i < Math.min(navigator.hardwareConcurrency || 1, 8); ++i) {
  const channel = new MessageChannel();
  const helper = new Worker(workerSource, { name: "helper" });
  helper.postMessage({ helper: channel.port2 }, [channel.port2]);
  helpers.push(channel.port1);
}
worker.postMessage({ helpers }, helpers);
let jobs = 0;
let busy = false;
// {bytes, name, shown, utf8}: a file as its bytes (shown in the message area when it is short, until
// it is edited), or a result too long to show, as UTF-8.
let held = null;
let savedName = "message.txt";

const decrypting = () => $("mode-decrypt").checked;

function option(list, value, text) {
  const o = document.createElement("option");
  o.value = String(value);
  o.textContent = text;
  list.append(o);
}

// The lists: "Find it" heads both on Decrypt.
function fillLists() {
  const find = decrypting();
  const chosenCipher = cipher.value;
  const chosenPasses = passes.value;
  cipher.replaceChildren();
  passes.replaceChildren();
  if (find) {
    option(cipher, FIND, "Find it");
    option(passes, FIND, "Find it");
  }
  CIPHERS.forEach((name, i) => option(cipher, i, name));
  for (let n = 1; n <= 10; ++n) {
    option(passes, n, String(n));
  }
  option(passes, OTHER, "More\u2026");
  const keep = (list, value, fallback) => {
    list.value = [...list.options].some((o) => o.value === value) ? value : fallback;
  };
  keep(cipher, find && chosenCipher === "0" ? String(FIND) : chosenCipher, find ? String(FIND) : "0");
  keep(passes, find && chosenPasses === "1" ? String(FIND) : chosenPasses, find ? String(FIND) : "1");
  showOther();
}

function showOther() {
  $("passes-other-label").hidden = passes.value !== OTHER;
}

function setMode() {
  const find = decrypting();
  run.textContent = find ? "Decrypt" : "Encrypt";
  $("key-again-label").hidden = find;
  fillLists();
}

function say(text, error = false) {
  statusLine.textContent = text;
  statusLine.classList.toggle("error", error);
}

function mib(chars) {
  return (chars / 1048576).toFixed(1) + " MiB";
}

// The text the next job works on: the message area's, or the bytes held.
function currentText() {
  return held ? held.bytes : message.value;
}

// A file's text, to show: UTF-8, or else what such a file holds, Windows-1252 (every byte has
// its character there, so nothing is replaced).
function fileText(bytes) {
  try {
    return { text: new TextDecoder("utf-8", { fatal: true, ignoreBOM: true }).decode(bytes), utf8: true };
  } catch {
    return { text: new TextDecoder("windows-1252").decode(bytes), utf8: false };
  }
}

function isEmpty(text) {
  return text.length === 0;
}

// Shows a text, or holds bytes: a file's, which go to the worker as they are (the message area
// would change its line ends), shown when short; or a result's, as UTF-8, too long to show.
function setText(text, name, file = null) {
  if (held) {
    held.bytes.fill(0);
  }
  if (text instanceof Uint8Array) {
    const shown = file !== null && text.length <= SHOW_LIMIT;
    held = { bytes: text, name, shown, utf8: file === null || file.utf8 };
    message.value = shown ? file.text : "";
    message.readOnly = !shown;
    heldNote.hidden = shown;
    heldNote.textContent = `${name} (${mib(text.length)}) is too long to show here. Encrypt, Decrypt and ` +
      "Save as file work on it; Clear removes it.";
  } else {
    held = null;
    message.readOnly = false;
    heldNote.hidden = true;
    message.value = text;
  }
}

function passCount() {
  if (passes.value === OTHER) {
    const n = Number(passesOther.value);
    return Number.isInteger(n) && n >= 1 && n <= 32767 ? n : null;
  }
  return Number(passes.value);
}

function setBusy(on) {
  busy = on;
  for (const b of [run, $("clear"), $("open")]) {
    b.disabled = on;
  }
  progress.hidden = !on;
  progress.value = 0;
  form.setAttribute("aria-busy", String(on));
}

function start() {
  if (busy) {
    return;
  }
  const find = decrypting();
  const count = passCount();
  if (count === null) {
    say("The number of passes must be from 1 to 32767.", true);
    passesOther.focus();
    return;
  }
  const typed = key.value.normalize("NFC");
  if (typed === "") {
    say("Type the key.", true);
    key.focus();
    return;
  }
  if (!find && keyAgain.value.normalize("NFC") !== typed) {
    say("The two keys differ: type the same key in both fields.", true);
    keyAgain.focus();
    return;
  }
  const utf8 = encoding.value === "utf-8";
  let text = currentText();
  if (!find && !utf8 && !held) {
    text = text.normalize("NFC"); // the worker composes a held file's letters when it must
  }
  if (isEmpty(text) && find) {
    say("Paste an envelope into the message area, or open a file that holds one.", true);
    message.focus();
    return;
  }
  setBusy(true);
  say(find ? "Decrypting\u2026" : "Encrypting\u2026");
  worker.postMessage({
    id: ++jobs,
    op: find ? "decrypt" : "encrypt",
    cipher: Number(cipher.value),
    passes: count === FIND ? 0 : count,
    utf8,
    key: typed,
    text,
    workers: Number(document.body.dataset.workers) || 0, // tests and benchmarks: at most this many
  });
}

worker.onmessage = (event) => {
  const m = event.data;
  if (m.type === "progress") {
    progress.value = m.percent;
    if (m.passes > 1) {
      progress.setAttribute("aria-valuetext", `pass ${m.pass} of ${m.passes}, ${m.percent}%`);
    }
    return;
  }
  setBusy(false);
  document.body.dataset.milliseconds = String(m.milliseconds);
  document.body.dataset.passMilliseconds = String(m.passMilliseconds || 0);
  if (m.status !== 0) {
    say(m.detail, true);
    return;
  }
  const decrypted = m.detail.startsWith("Decrypted");
  savedName = decrypted ? "message.txt" : "envelope.txt";
  setText(m.bytes || m.text, decrypted ? "The message" : "The envelope");
  // A key longer than the cipher reads: said, not refused (the command line's words).
  say(m.detail + (held ? ": save it as a file." : ".") + (m.readsUtf8 ?
    " It reads as UTF-8: if its letters look wrong, choose the encoding UTF-8, paste the envelope again and decrypt it." : "") +
    (m.warning ? ` Note: ${m.warning}.` : ""));
};

worker.onerror = () => {
  setBusy(false);
  say("The page could not start its worker: this browser is too old or blocks it.", true);
};

async function copy() {
  const text = currentText();
  if (isEmpty(text)) {
    say("There is nothing to copy.", true);
    return;
  }
  try {
    const decoder = () => new TextDecoder(held.utf8 ? "utf-8" : "windows-1252");
    await navigator.clipboard.writeText(held ? decoder().decode(text) : text);
  } catch {
    if (held) {
      // The message area does not hold it, so there is nothing to select and copy.
      say("The browser did not let the page copy: save it as a file instead.", true);
      return;
    }
    message.select();
    if (!document.execCommand("copy")) {
      say("The browser did not let the page copy: select the text and copy it yourself.", true);
      return;
    }
  }
  say("Copied.");
}

function clear() {
  setText("", "");
  say("");
  message.focus();
}

function save() {
  const text = currentText();
  if (isEmpty(text)) {
    say("There is nothing to save.", true);
    return;
  }
  const url = URL.createObjectURL(new Blob([text], { type: "text/plain;charset=utf-8" }));
  const a = document.createElement("a");
  a.href = url;
  a.download = savedName;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// A file stays as its bytes (without a byte-order mark), which go to the worker as they are:
// no text is made of them and converted back.
async function open(file) {
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch {
    say(`${file.name} cannot be read.`, true);
    return;
  }
  savedName = file.name;
  const mark = bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf;
  const kept = mark ? bytes.subarray(3) : bytes;
  const read = fileText(kept);
  setText(kept, file.name, read);
  say(`Opened ${file.name}` + (read.utf8 ? "." :
    ": it is not UTF-8 text, so it is read as Windows-1252 (choose that encoding to encrypt it)."));
}

form.addEventListener("submit", (e) => {
  e.preventDefault();
  start();
});
for (const r of document.querySelectorAll("input[name=mode]")) {
  r.addEventListener("change", setMode);
}
passes.addEventListener("change", showOther);
message.addEventListener("input", () => {
  if (held && held.shown) {
    held.bytes.fill(0); // edited: the text typed is the message now
    held = null;
  }
});
$("show-key").addEventListener("click", (e) => {
  const show = key.type === "password";
  key.type = keyAgain.type = show ? "text" : "password";
  e.currentTarget.setAttribute("aria-pressed", String(show));
  e.currentTarget.textContent = show ? "Hide" : "Show";
});
$("copy").addEventListener("click", copy);
$("clear").addEventListener("click", clear);
$("save").addEventListener("click", save);
$("open").addEventListener("click", () => $("file").click());
$("file").addEventListener("change", (e) => {
  if (e.target.files.length) {
    open(e.target.files[0]);
  }
  e.target.value = "";
});
setMode();
