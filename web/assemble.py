#!/usr/bin/env python3
"""Assembles tavorin.html: the markup with its style, its script and the worker (the
prelude, the compiled module and worker.js) inline, under a Content-Security-Policy that allows
exactly that style and that script by their SHA-256, and nothing from anywhere else.
Writes tavorin.html.sha256 beside it, in the format sha256sum checks. Fails when the page
grows past MAX_PAGE_BYTES: it is opened on phones, often over a slow line."""

import argparse
import base64
import hashlib
import pathlib
import re

MAX_PAGE_BYTES = 400 * 1024


def csp_hash(text):
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode()).digest()).decode() + "'"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sources", required=True, type=pathlib.Path)
    parser.add_argument("--module", required=True, type=pathlib.Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", required=True, type=pathlib.Path)
    args = parser.parse_args()

    read = lambda name: (args.sources / name).read_text(encoding="utf-8")
    style = read("style.css")
    script = read("page.js")
    worker = "\n".join([read("worker-prelude.js"), args.module.read_text(encoding="utf-8"), read("worker.js")])
    # The worker rides in a script element the browser never runs; the page makes a blob of
    # it. Nothing in it may end that element early.
    for name, text in (("worker", worker), ("page.js", script), ("style.css", style)):
        if re.search(r"</(script|style)|<!--", text, re.IGNORECASE):
            raise SystemExit(f"assemble.py: {name} holds text that would end its element early")

    policy = "; ".join([
        "default-src 'none'",
        f"script-src {csp_hash(script)} 'wasm-unsafe-eval'",
        "worker-src blob:",
        f"style-src {csp_hash(style)}",
        "img-src data:",
        "connect-src 'none'",
        "base-uri 'none'",
        "form-action 'none'",
    ])
    page = read("page.html")
    for key, value in (("CSP", policy), ("VERSION", args.version), ("STYLE", style), ("SCRIPT", script),
                       ("WORKER", worker)):
        marker = "{{" + key + "}}"
        if page.count(marker) != 1:
            raise SystemExit(f"assemble.py: page.html must hold {marker} once")
        page = page.replace(marker, value)

    data = page.encode("utf-8")
    if len(data) > MAX_PAGE_BYTES:
        raise SystemExit(f"assemble.py: the page has {len(data)} bytes, more than {MAX_PAGE_BYTES}")
    args.out.write_bytes(data)
    digest = hashlib.sha256(data).hexdigest()
    args.out.with_name(args.out.name + ".sha256").write_text(f"{digest}  {args.out.name}\n")


if __name__ == "__main__":
    main()
