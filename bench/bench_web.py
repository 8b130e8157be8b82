#!/usr/bin/python3
"""The web page against tavorin-cli, in the same run: Blowfish and Twofish, 1 MiB and 16 MiB,
encrypt and decrypt. The page's time is measured in its worker, from receiving the text to the
result; the command line's is the whole process, on one CPU (taskset). The median of five
runs each. Then the decryption passes alone, on every worker the page starts against one.
Fails when the page takes more than 1.5 times as long, when every worker is less than 1.6 times
as fast as one (on 2 cores or more), or when its file is larger than 400 KiB.

usage: bench_web.py PAGE TAVORIN_CLI"""

import os
import pathlib
import random
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

TARGET_RATIO = 1.5
TARGET_SPLIT = 1.6
TARGET_PAGE_BYTES = 400 * 1024
RUNS = 5
KEY = "correct horse battery staple"


def native(cli, args, source, dest):
    env = dict(os.environ, BENCH_KEY=KEY)
    times = []
    for _ in range(RUNS):
        dest.unlink(missing_ok=True)
        started = time.perf_counter()
        subprocess.run(["taskset", "-c", "0", cli, *args, "--key-env", "BENCH_KEY", "-i", source, "-o", dest],
                       env=env, check=True, capture_output=True)
        times.append(time.perf_counter() - started)
    return statistics.median(times) * 1000


def page_run(driver, mode, cipher, path, workers=""):
    """Opens the file in the page as a person would, then runs the job; the worker's
    milliseconds, and those of the decryption passes alone (on at most `workers` workers)."""
    driver.execute_script("document.body.dataset.workers = arguments[0];", workers)
    times, passes = [], []
    for _ in range(RUNS):
        driver.execute_script("""
            const [mode, cipher, key] = arguments;
            document.getElementById('clear').click();
            document.getElementById('mode-' + mode).click();
            const list = document.getElementById('cipher');
            list.value = [...list.options].find(o => o.text === cipher).value;
            document.getElementById('passes').value = '1';
            document.getElementById('key').value = key;
            document.getElementById('key-again').value = key;""", mode, cipher, KEY)
        driver.find_element("id", "file").send_keys(str(path))
        WebDriverWait(driver, 120).until(
            lambda d: d.find_element("id", "status").text.startswith("Opened"))
        driver.execute_script("delete document.body.dataset.milliseconds; document.getElementById('run').click();")
        WebDriverWait(driver, 600).until(
            lambda d: d.execute_script("return document.body.dataset.milliseconds !== undefined"))
        status = driver.find_element("id", "status")
        if "error" in status.get_attribute("class"):
            raise SystemExit(f"bench_web: the page refused: {status.text}")
        times.append(float(driver.execute_script("return document.body.dataset.milliseconds")))
        passes.append(float(driver.execute_script("return document.body.dataset.passMilliseconds") or "nan"))
    return statistics.median(times), statistics.median(passes)


def main():
    page, cli = pathlib.Path(sys.argv[1]).resolve(), sys.argv[2]
    options = Options()
    for arg in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"]:
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.get(page.as_uri())
    failed = False
    size = page.stat().st_size
    print(f"page file: {size / 1024:.0f} KiB (target at most {TARGET_PAGE_BYTES // 1024} KiB)")
    failed |= size > TARGET_PAGE_BYTES
    print(f"{'cipher':<9}{'size':>7}  {'operation':<8}{'page ms':>10}{'native ms':>11}{'ratio':>7}")
    split = []
    with tempfile.TemporaryDirectory() as folder:
        folder = pathlib.Path(folder)
        rng = random.Random(1)
        for mib in (1, 16):
            message = folder / f"message-{mib}.txt"
            message.write_bytes(bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz .,\n") for _ in range(mib << 20)))
            for cipher in ("Blowfish", "Twofish"):
                envelope = folder / f"{cipher}-{mib}.env"
                opened = folder / f"{cipher}-{mib}.txt"
                rows = [("encrypt", page_run(driver, "encrypt", cipher, message)[0],
                         native(cli, ["encrypt", "-c", cipher], message, envelope))]
                rows.append(("decrypt", page_run(driver, "decrypt", cipher, envelope)[0],
                             native(cli, ["decrypt", "-c", cipher], envelope, opened)))
                for operation, page_ms, native_ms in rows:
                    ratio = page_ms / native_ms
                    failed |= ratio > TARGET_RATIO
                    print(f"{cipher:<9}{mib:>4} MiB  {operation:<8}{page_ms:>10.1f}{native_ms:>11.1f}{ratio:>7.2f}")
                if mib == 16:
                    split.append((cipher, page_run(driver, "decrypt", cipher, envelope)[1],
                                  page_run(driver, "decrypt", cipher, envelope, "1")[1]))
        cores = driver.execute_script("return navigator.hardwareConcurrency")
        print(f"\ndecryption passes alone, 16 MiB: every worker ({cores} cores) against one")
        print(f"{'cipher':<9}{'every ms':>10}{'one ms':>9}{'speed-up':>10}")
        for cipher, every, one in split:
            speedup = one / every
            failed |= cores >= 2 and speedup < TARGET_SPLIT
            print(f"{cipher:<9}{every:>10.1f}{one:>9.1f}{speedup:>10.2f}")
    driver.quit()
    print(f"target: page at most {TARGET_RATIO} times native; every worker at least {TARGET_SPLIT} times "
          "as fast as one where the browser offers 2 cores or more")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
