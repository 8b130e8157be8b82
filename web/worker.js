// The worker: the compiled core (TavorinModule, defined just above) runs here, so that long
// work never holds up the page. One job at a time: {id, op, cipher, passes, utf8, key, text,
// workers} where text is a string, or the bytes of a file (UTF-8, or else Windows-1252).
// The same script is each of the helpers that the page starts beside it where the browser
// offers more than one core: {helper: port}; each deciphers the pieces of a pass sent to it.
"use strict";

const LONG_TEXT = 2 * 1024 * 1024; // bytes: longer results are held by the page, not shown
const SPLIT_FROM = 512 * 1024; // bytes of a pass: shorter ones are deciphered here alone
const STEP = 1024 * 1024; // bytes deciphered between two looks at the progress
const DIGEST_SHARE = 16; // the digest of a pass costs about what deciphering 1/16 of it does
let lastProgress = 0;
let warming = false;
const progress = (pass, passes, percent) => {
  const now = performance.now();
  if (warming) {
    return;
  }
  if (percent === 100 || now - lastProgress >= 50) {
    lastProgress = now;
    postMessage({ type: "progress", pass, passes, percent });
  }
};
const WARM_BYTES = 64 * 1024;
// Starts the module and runs each cipher once over a little data while the page waits for the
// user: the browser then has the hot code compiled in full before the first job, not during it.
const start = () =>
  TavorinModule({ onProgress: progress }).then((module) => {
    warming = true;
    try {
      warm(module);
    } catch {
      // a module that cannot warm up still runs the jobs
    }
    warming = false;
    return module;
  });
let ready = start(); // helpers too, so that they are ready before the first decryption
ready.catch(() => {}); // told to the job that waits for it
let helpers = []; // the ports of the helpers
let pieces = 0; // pieces sent to the helpers, for their answers
// A buffer for each helper, which carries its pieces there and back and is kept, wiped, for the
// next pass: no fresh memory for the browser to map in each time.
const spare = [];
const waiting = new Map();

// Copies a string into the module's memory as UTF-8; the module wipes it after the call.
// Room for one byte per character first, which holds the usual ASCII text whole; the rest
// of a text with wider characters follows in a larger block, and the first is wiped.
function place(module, text) {
  if (text instanceof Uint8Array) {
    const at = module._malloc(text.length + 1);
    if (!at) {
      throw new RangeError("out of memory");
    }
    module.HEAPU8.set(text, at);
    return { at, size: text.length };
  }
  let room = text.length + 1;
  let at = module._malloc(room);
  if (!at) {
    throw new RangeError("out of memory");
  }
  let { read, written } = new TextEncoder().encodeInto(text, module.HEAPU8.subarray(at, at + room));
  if (read < text.length) {
    const wider = written + (text.length - read) * 3 + 1;
    const to = module._malloc(wider);
    if (!to) {
      module.HEAPU8.fill(0, at, at + written);
      module._free(at);
      throw new RangeError("out of memory");
    }
    const heap = module.HEAPU8;
    heap.copyWithin(to, at, at + written);
    heap.fill(0, at, at + written);
    module._free(at);
    at = to;
    room = wider;
    written += new TextEncoder().encodeInto(text.substring(read), heap.subarray(at + written, at + room)).written;
  }
  return { at, size: written };
}

// Grows the module's memory once to what a job of `bytes` of text will hold at a time, instead
// of step by step while it runs: the block is let go at once, and its room stays.
function reserve(module, bytes) {
  const at = module._malloc(bytes);
  if (at) {
    module._free(at);
  }
}

// Seals a little data with every cipher, writes its envelope, finds it again and deciphers it.
function warm(module) {
  const data = new Uint8Array(WARM_BYTES);
  for (let cipher = 0, status = 0; status === 0; ++cipher) {
    const placed = place(module, data);
    status = withKey(module, "warm", (key, keySize) => module._tv_seal(cipher, key, keySize, 1, 0, placed.at, placed.size));
    module._free(placed.at);
    if (status !== 0) {
      break;
    }
    const digest = place(module, "0".repeat(64));
    module._tv_seal_finish(digest.at);
    module._free(digest.at);
    const envelope = module.HEAPU8.slice(module._tv_text(), module._tv_text() + module._tv_text_size());
    module._tv_release();
    const found = place(module, envelope);
    module._tv_open_find(found.at, found.size, 1);
    module._free(found.at);
    module._tv_release();
    const piece = place(module, data);
    withKey(module, "warm", (key, keySize) => module._tv_decipher_piece(cipher, key, keySize, piece.at, piece.size));
    module._free(piece.at);
  }
  module._tv_release();
}

// Calls work(...args, key at, key size) with the key placed; the module wipes it.
function withKey(module, key, work) {
  const placed = place(module, key);
  try {
    return work(placed.at, placed.size);
  } finally {
    module._free(placed.at);
  }
}

// The digest of the module's bytes the core has mapped for it, by the browser's SHA-256, as
// 64 lower-case hexadecimal characters.
async function digest(module) {
  const at = module._tv_mapped();
  const bytes = new Uint8Array(await crypto.subtle.digest("SHA-256", module.HEAPU8.subarray(at, at + module._tv_mapped_size())));
  return Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join("");
}

function seal(module, job, text) {
  reserve(module, 6 * text.length + (1 << 20));
  const placed = place(module, text);
  try {
    return withKey(module, job.key, (key, keySize) =>
      module._tv_seal(job.cipher, key, keySize, job.passes, job.utf8 ? 1 : 0, placed.at, placed.size));
  } finally {
    module._free(placed.at);
  }
}

async function encrypt(module, job) {
  let status = seal(module, job, job.text);
  if (status !== 0 && module._tv_composable() && job.text instanceof Uint8Array) {
    // Letters written as letter + combining mark are composed first, as typed messages are;
    // a file's bytes go in as they are until a character needs it.
    module._tv_release();
    status = seal(module, job, new TextDecoder("utf-8", { ignoreBOM: true }).decode(job.text).normalize("NFC"));
  }
  if (job.text instanceof Uint8Array) {
    job.text.fill(0); // a message; envelopes are no secret
  }
  if (status !== 0) {
    return status;
  }
  if (!self.crypto || !crypto.subtle) {
    return module._tv_seal_finish(0); // the module takes it
  }
  const hex = await digest(module);
  const placed = place(module, hex);
  try {
    return module._tv_seal_finish(placed.at);
  } finally {
    module._free(placed.at);
  }
}

// Sends a piece to a helper; resolves with its bytes deciphered.
function send(port, message) {
  const id = ++pieces;
  return new Promise((resolve, reject) => {
    waiting.set(id, { resolve, reject });
    port.postMessage({ ...message, id }, [message.data.buffer]);
  });
}

// One pass of `size` bytes: this worker deciphers the first piece in place while each helper
// deciphers one of the others, sent with the ciphertext block before it; `before` runs once
// they are sent, while the ciphertext is whole. `digesting`: before takes the digest, here
// (the browser's SHA-256 runs on the thread that asks), and this worker's piece is smaller by
// about as many bytes as the helpers decipher in that time.
async function pass(module, job, size, before, digesting) {
  const block = module._tv_block_size();
  const workers = size >= SPLIT_FROM ? Math.min(helpers.length + 1, job.workers) : 1;
  const own = size / workers - (digesting ? size / DIGEST_SHARE : 0);
  const first = workers > 1 ? Math.max(Math.floor(own / block), 1) * block : size;
  const piece = Math.floor((size - first) / Math.max(workers - 1, 1) / block) * block;
  const sent = [];
  const base = module._tv_bytes();
  for (let k = 1; k < workers; ++k) {
    const from = first + (k - 1) * piece;
    const to = k + 1 === workers ? size : from + piece;
    const length = to - from + block;
    const kept = spare[k - 1];
    spare[k - 1] = null;
    const data = kept && kept.byteLength >= length ? new Uint8Array(kept, 0, length) : new Uint8Array(length);
    data.set(module.HEAPU8.subarray(base + from - block, base + to));
    const chain = data.slice(0, block);
    sent.push({ from, to, chain, answer: send(helpers[k - 1], { cipher: module._tv_cipher_index(), key: job.key, data }) });
  }
  before();
  for (let done = 0; done < first; done += STEP) {
    module._tv_decipher(done, Math.min(STEP, first - done), 0);
    progress(module._tv_passes_done() + 1, job.passes, Math.floor((100 * done) / first));
  }
  for (const [k, s] of sent.entries()) {
    let data = null;
    try {
      data = await s.answer;
    } catch {
      // The helper could not: its piece is deciphered here, chained from the block kept.
      const chain = place(module, s.chain);
      try {
        module._tv_decipher(s.from, s.to - s.from, chain.at);
      } finally {
        module._free(chain.at);
      }
      continue;
    }
    module.HEAPU8.set(data.subarray(block), module._tv_bytes() + s.from);
    data.fill(0);
    spare[k] = data.buffer;
  }
  module._tv_open_passed();
}

// Finds the envelope in the text; `assume`: its digest is taken here, not in the module.
function find(module, text, assume) {
  reserve(module, 2 * text.length + (1 << 20));
  const placed = place(module, text);
  try {
    return module._tv_open_find(placed.at, placed.size, assume ? 1 : 0);
  } finally {
    module._free(placed.at);
  }
}

// Opens the envelope. The browser's SHA-256 takes the digest while the passes run; when it
// does not match, or the opening ends before a pass, all that is let go, and the module finds
// the envelope again, taking the digest itself.
async function decrypt(module, job, assume = Boolean(self.crypto && crypto.subtle)) {
  let status = find(module, job.text, assume);
  const unchecked = status === 0 && module._tv_unchecked() === 1;
  let matches = null;
  const check = () => {
    if (unchecked && matches === null) {
      const expected = module.UTF8ToString(module._tv_expected(), 64);
      module._tv_map();
      matches = digest(module).then((hex) => hex === expected, () => false); // the bytes are copied at once
      module._tv_mapped_taken();
    }
  };
  if (status === 0) {
    status = withKey(module, job.key, (key, keySize) =>
      module._tv_open_cipher(job.cipher, key, keySize, job.passes, job.utf8 ? 1 : 0));
  }
  const started = performance.now();
  for (let size; status === 0 && (size = module._tv_open_pass()) > 0;) {
    await pass(module, job, size, check, unchecked && matches === null);
    progress(module._tv_passes_done(), job.passes, 100);
  }
  job.passMilliseconds = performance.now() - started;
  if (unchecked && (matches === null || !(await matches))) {
    module._tv_release();
    return decrypt(module, job, false);
  }
  return module._tv_status();
}

async function run(module, job) {
  const status = await (job.op === "encrypt" ? encrypt(module, job) : decrypt(module, job));
  const at = module._tv_text();
  const size = module._tv_text_size();
  // A result too long to show leaves as bytes, which the page saves without converting.
  const long = status === 0 && size > LONG_TEXT;
  const answer = {
    status,
    text: status === 0 && !long ? new TextDecoder().decode(module.HEAPU8.subarray(at, at + size)) : "",
    bytes: long ? module.HEAPU8.slice(at, at + size) : null,
    detail: module.UTF8ToString(module._tv_detail()),
    warning: module.UTF8ToString(module._tv_warning()),
    cipher: module.UTF8ToString(module._tv_cipher()),
    passes: module._tv_passes(),
    readsUtf8: module._tv_reads_utf8() === 1,
    passMilliseconds: job.passMilliseconds,
  };
  module._tv_release();
  return answer;
}

// The answer when the module cannot run here, or cannot run on after an abort.
function failed(words, e) {
  ready = start(); // the next job gets a new module
  ready.catch(() => {});
  return { status: 5, text: "", bytes: null, detail: words + e, cipher: "", passes: 0 };
}

// A helper's piece: deciphered in its own module, wiped there once copied out.
async function decipherPiece(port, message) {
  let module;
  try {
    module = await ready;
  } catch (e) {
    port.postMessage({ id: message.id, error: String(e) });
    return;
  }
  let placed = null;
  try {
    placed = place(module, message.data);
    const status = withKey(module, message.key, (key, keySize) =>
      module._tv_decipher_piece(message.cipher, key, keySize, placed.at, placed.size));
    if (status !== 0) {
      throw new Error(module.UTF8ToString(module._tv_detail()));
    }
    const data = message.data; // the buffer goes back with the piece deciphered
    data.set(module.HEAPU8.subarray(placed.at, placed.at + placed.size));
    port.postMessage({ id: message.id, data }, [data.buffer]);
  } catch (e) {
    port.postMessage({ id: message.id, error: String(e) });
  } finally {
    if (placed) {
      module.HEAPU8.fill(0, placed.at, placed.at + placed.size);
      module._free(placed.at);
    }
  }
}

self.onmessage = async (event) => {
  if (event.data.helper) {
    // A helper: its pieces come through the port from the worker that runs the jobs.
    const port = event.data.helper;
    port.onmessage = (e) => decipherPiece(port, e.data);
    return;
  }
  if (event.data.helpers) {
    helpers = event.data.helpers;
    for (const port of helpers) {
      port.onmessage = (e) => {
        const w = waiting.get(e.data.id);
        waiting.delete(e.data.id);
        if (e.data.data) {
          w.resolve(e.data.data);
        } else {
          w.reject(new Error(e.data.error));
        }
      };
    }
    return;
  }
  const job = event.data;
  job.workers = job.workers || Infinity;
  let module = null;
  try {
    module = await ready;
  } catch (e) {
    const words = "This browser could not start the page's WebAssembly (Chrome 97, Firefox 102 and Safari 16.4 can): ";
    postMessage({ type: "done", id: job.id, ...failed(words, e), milliseconds: 0 });
    return;
  }
  const started = performance.now();
  let answer;
  try {
    answer = await run(module, job);
  } catch (e) {
    answer = failed("The browser could not finish: ", e);
  }
  answer.milliseconds = performance.now() - started;
  postMessage({ type: "done", id: job.id, ...answer }, answer.bytes ? [answer.bytes.buffer] : []);
};
// The worker needs nothing from any network. Without these the module would first ask
// fetch for its inline WebAssembly (a data: URL, which the page's policy refuses) and then
// decode it itself; now it decodes it at once, and nothing here can send anything.
self.fetch = undefined;
self.XMLHttpRequest = undefined;
