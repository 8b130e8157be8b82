// The worker: the compiled core (TavorinModule, defined just above) runs here, so that long
// work never holds up the page. One job at a time: {id, op, cipher, passes, utf8, key, text} where text is a string, or
// the bytes of a file (UTF-8, or else Windows-1252).
"use strict";

const LONG_TEXT = 2 * 1024 * 1024; // bytes: longer results are held by the page, not shown
let lastProgress = 0;
const start = () => TavorinModule({
  onProgress(pass, passes, percent) {
    const now = performance.now();
    if (percent === 100 || now - lastProgress >= 50) {
      lastProgress = now;
      postMessage({ type: "progress", pass, passes, percent });
    }
  },
});
let ready = start();
ready.catch(() => {}); // told to the job that waits for it

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

function call(module, job, text) {
  const key = place(module, job.key);
  let placed = null;
  try {
    placed = place(module, text);
    const work = job.op === "encrypt" ? module._tv_encrypt : module._tv_decrypt;
    return work(job.cipher, key.at, key.size, job.passes, job.utf8 ? 1 : 0, placed.at, placed.size);
  } finally {
    module._free(key.at);
    if (placed) {
      module._free(placed.at);
    }
  }
}

function run(module, job) {
  let status = call(module, job, job.text);
  if (status !== 0 && module._tv_composable() && job.text instanceof Uint8Array) {
    // Letters written as letter + combining mark are composed first, as typed messages are;
    // a file's bytes go in as they are until a character needs it.
    module._tv_release();
    status = call(module, job, new TextDecoder("utf-8", { ignoreBOM: true }).decode(job.text).normalize("NFC"));
  }
  if (job.text instanceof Uint8Array && job.op === "encrypt") {
    job.text.fill(0); // a message; envelopes are no secret
  }
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

self.onmessage = async (event) => {
  const job = event.data;
  let module = null;
  try {
    module = await ready;
  } catch (e) {
    const words = "This browser could not start the page's WebAssembly (Chrome 97, Firefox 102 and Safari 16 can): ";
    postMessage({ type: "done", id: job.id, ...failed(words, e), milliseconds: 0 });
    return;
  }
  const started = performance.now();
  let answer;
  try {
    answer = run(module, job);
  } catch (e) {
    answer = failed("The browser could not finish: ", e);
  }
  answer.milliseconds = performance.now() - started;
  postMessage({ type: "done", id: job.id, ...answer }, answer.bytes ? [answer.bytes.buffer] : []);
};
