#!/usr/bin/python3
"""The web page in headless Chromium: what only a browser can show. The core itself is tested
natively; here the compiled page must agree with tavorin-cli in both directions, refuse bad
input in words, stay offline, and fit a phone and a desktop screen.

Environment: TAVORIN_PAGE (tavorin.html), TAVORIN_CLI (tavorin-cli), TAVORIN_SHOTS (a folder
for the screenshots)."""

import json
import os
import pathlib
import subprocess
import tempfile
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

PAGE = pathlib.Path(os.environ["TAVORIN_PAGE"]).resolve()
CLI = os.environ["TAVORIN_CLI"]
SHOTS = pathlib.Path(os.environ.get("TAVORIN_SHOTS", "."))
CIPHERS = ["Blowfish", "DES", "Gost", "Skipjack", "Twofish"]
KEY = "Schlüssel €"


def start_browser(dark=False, extra=()):
    options = Options()
    for arg in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1280,800", "--disable-background-networking", "--no-first-run", *extra]:
        options.add_argument(arg)
    if dark:
        options.add_argument("--force-dark-mode")
    options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.get(PAGE.as_uri())
    return driver


def cli(*args, text, key=KEY):
    env = dict(os.environ, TAVORIN_TEST_KEY=key)
    return subprocess.run([CLI, *args, "--key-env", "TAVORIN_TEST_KEY"], input=text.encode(), env=env,
                          capture_output=True, timeout=60)


class Page:
    """Drives the form as a person would, but sets long fields directly."""

    def __init__(self, driver):
        self.d = driver

    def run(self, mode, text, key=KEY, cipher="Blowfish", passes="1", encoding="windows-1252", again=None):
        self.d.execute_script("""
            const [mode, text, key, again, cipher, passes, encoding] = arguments;
            document.getElementById('clear').click();
            document.getElementById('mode-' + mode).click();
            const pick = (id, label) => {
              const list = document.getElementById(id);
              const o = [...list.options].find(o => o.text === label);
              list.value = o ? o.value : 'other';
              list.dispatchEvent(new Event('change'));
            };
            pick('cipher', cipher);
            pick('passes', passes);
            document.getElementById('passes-other').value = passes;
            document.getElementById('encoding').value = encoding;
            document.getElementById('key').value = key;
            document.getElementById('key-again').value = again;
            document.getElementById('message').value = text;
            document.getElementById('run').click();
        """, mode, text, key, key if again is None else again, cipher, str(passes), encoding)
        WebDriverWait(self.d, 60).until(lambda d: d.execute_script(
            "return document.getElementById('form').getAttribute('aria-busy') !== 'true'"
            " && document.getElementById('status').textContent !== ''"))
        status = self.d.find_element("id", "status")
        return (status.text, "error" in status.get_attribute("class"),
                self.d.execute_script("return document.getElementById('message').value"))


class Browser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.driver = start_browser()
        cls.page = Page(cls.driver)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()

    def test_envelopes_cross_with_the_command_line_both_ways(self):
        messages = ["x", "Grüße, 12 € — “quoted” œ", "A" * 1000 + "end"]
        for i, cipher in enumerate(CIPHERS):
            passes = str(1 + i % 3)
            message = messages[i % len(messages)]
            with self.subTest(cipher=cipher, passes=passes):
                status, error, envelope = self.page.run("encrypt", message, cipher=cipher, passes=passes)
                self.assertFalse(error, status)
                # Said, not refused: the characters of the key the cipher does not read.
                self.assertEqual("DES uses only the first 8 characters of the key" in status, cipher == "DES")
                opened = cli("decrypt", "-c", cipher, "-p", passes, text=envelope)
                self.assertEqual(opened.returncode, 0, opened.stderr)
                self.assertEqual(opened.stdout.decode(), message)

                made = cli("encrypt", "-c", cipher, "-p", passes, text=message)
                self.assertEqual(made.returncode, 0, made.stderr)
                # Every other one is found, and said.
                find = i % 2 == 1
                status, error, text = self.page.run("decrypt", made.stdout.decode(),
                                                    cipher="Find it" if find else cipher,
                                                    passes="Find it" if find else passes)
                self.assertFalse(error, status)
                self.assertEqual(text, message)
                self.assertIn(f"{cipher}, {passes} pass", status)

    def test_envelope_found_in_a_pasted_mail(self):
        made = cli("encrypt", "-c", "Skipjack", "-p", "2", text="meet at noon")
        pairs = made.stdout.decode().split()
        lines = [" ".join(pairs[k:k + 20]) for k in range(0, len(pairs), 20)]
        mail = "Hi Ann,\n\nhere it is:\n\n" + "\n".join("> " + line for line in lines) + "\n\nBest,\nBo\n"
        status, error, text = self.page.run("decrypt", mail, cipher="Find it", passes="Find it")
        self.assertFalse(error, status)
        self.assertEqual(text, "meet at noon")

    def test_utf8_and_many_passes(self):
        message = "Ελληνικά, 中文, emoji 🙂"
        status, error, _ = self.page.run("encrypt", message)
        self.assertTrue(error)
        self.assertIn("U+0395", status)  # named, not replaced
        status, error, envelope = self.page.run("encrypt", message, cipher="Twofish", passes="40", encoding="utf-8")
        self.assertFalse(error, status)
        opened = cli("decrypt", "-c", "Twofish", "-p", "40", "--encoding", "utf-8", text=envelope)
        self.assertEqual(opened.stdout.decode(), message)
        status, error, text = self.page.run("decrypt", envelope, cipher="Twofish", passes="40", encoding="utf-8")
        self.assertEqual(text, message, status)
        # Long enough for every worker to take a piece of each pass; one worker finds the same.
        long = "Ω" * 400000 + "end"
        made = cli("encrypt", "-c", "Twofish", "-p", "2", "--encoding", "utf-8", text=long).stdout.decode()
        for workers in ["", "1"]:
            self.driver.execute_script("document.body.dataset.workers = arguments[0];", workers)
            status, error, text = self.page.run("decrypt", made, cipher="Find it", passes="Find it", encoding="utf-8")
            self.assertEqual((error, text == long, "2 passes" in status), (False, True, True), status)

    def test_files_go_through_as_their_bytes(self):
        # A byte-order mark that stays out of the message, a letter + combining mark that is
        # composed only once Windows-1252 needs it; bytes that are no UTF-8 are Windows-1252's,
        # refused under UTF-8; line ends the message area would change, in a file short enough
        # to show.
        body = "Cafe\u0301 " + "x" * (3 << 20)
        with tempfile.TemporaryDirectory() as folder:
            def open_held(name, data, mode, encoding="windows-1252"):
                path = pathlib.Path(folder, name)
                path.write_bytes(data)
                self.page.run(mode, "")
                self.driver.execute_script(f"document.getElementById('encoding').value = '{encoding}';")
                self.driver.find_element("id", "file").send_keys(str(path))
                WebDriverWait(self.driver, 60).until(lambda d: d.execute_script("return held !== null"))
                self.driver.execute_script("document.getElementById('run').click();")
                WebDriverWait(self.driver, 60).until(lambda d: d.execute_script(
                    "return document.getElementById('form').getAttribute('aria-busy') !== 'true'"))
                return (self.driver.find_element("id", "status").text, self.driver.execute_script(
                    "return held ? new TextDecoder().decode(held.bytes) : document.getElementById('message').value"))

            status, envelope = open_held("message.txt", b"\xef\xbb\xbf" + body.encode(), "encrypt")
            opened = cli("decrypt", "-c", "Blowfish", "-p", "1", text=envelope)
            self.assertEqual(opened.stdout.decode(), "Café " + "x" * (3 << 20), status)
            status, message = open_held("envelope.txt", envelope.encode(), "decrypt")
            self.assertEqual(message, "Café " + "x" * (3 << 20), status)
            for latin in [b"caf\xe9" * (1 << 20), b"Gr\xfc\xdfe\r\n\x81\x00\rend"]:
                status, envelope = open_held("latin.txt", latin, "encrypt")
                opened = cli("decrypt", "-c", "Blowfish", "-p", "1", text=envelope)
                self.assertEqual(opened.stdout, latin.decode("latin-1").encode(), status)
                status, _ = open_held("latin.txt", latin, "encrypt", "utf-8")
                self.assertIn("0xE9 at offset 3" if len(latin) > 99 else "0xFC at offset 2", status)

        # A message that reads as UTF-8, opened as Windows-1252: the hint of tavorin-cli.
        made = cli("encrypt", "--encoding", "utf-8", text="Grüße")
        status, error, text = self.page.run("decrypt", made.stdout.decode(), cipher="Find it", passes="Find it")
        self.assertEqual((error, text), (False, "Grüße".encode().decode("cp1252")))
        self.assertIn("reads as UTF-8", status)

    def test_bad_input_is_refused_in_words_and_changes_nothing(self):
        _, _, envelope = self.page.run("encrypt", "secret words", cipher="Gost")
        status, error, text = self.page.run("decrypt", envelope, key="wrong", cipher="Gost")
        self.assertTrue(error)
        self.assertIn("wrong key", status)
        self.assertEqual(text, envelope)

        at = 3 * 70  # a digit of the ciphertext's pairs
        damaged = envelope[:at] + ("0" if envelope[at] != "0" else "1") + envelope[at + 1:]
        status, error, text = self.page.run("decrypt", damaged, cipher="Gost")
        self.assertTrue(error)
        self.assertIn("damaged", status)
        self.assertEqual(text, damaged)

        for text in ["no envelope here", ""]:
            status, error, _ = self.page.run("decrypt", text, cipher="Gost")
            self.assertTrue(error, text)

        status, error, _ = self.page.run("encrypt", "text", again="other key")
        self.assertTrue(error)
        self.assertIn("differ", status)

    def test_a_module_that_cannot_start_is_told_not_waited_for(self):
        driver = start_browser(extra=["--js-flags=--wasm-max-mem-pages=1"])  # no memory for it
        try:
            status, error, _ = Page(driver).run("encrypt", "hello")
            self.assertTrue(error)
            self.assertIn("could not start", status)
        finally:
            driver.quit()

    def test_loaded_from_a_file_it_sends_nothing_anywhere(self):
        self.page.run("encrypt", "offline")
        requests = []
        for entry in self.driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message["method"] == "Network.requestWillBeSent":
                requests.append(message["params"]["request"]["url"])
        self.assertTrue(requests)
        for url in requests:
            self.assertRegex(url, r"^(file:|blob:|data:)", url)
        severe = [e for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]
        self.assertEqual(severe, [])  # policy violations are reported here

    def test_layout_fits_desktop_and_phone(self):
        for name, width, height, dark in [("desktop", 1280, 800, False), ("phone", 390, 844, False),
                                          ("phone-dark", 390, 844, True), ("narrow", 360, 740, False)]:
            with self.subTest(name):
                driver = start_browser(dark) if dark else self.driver
                try:
                    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                        "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 500})
                    Page(driver).run("encrypt", "Layout check")
                    boxes = driver.execute_script("""
                        const inner = window.innerWidth;
                        const out = {scroll: document.documentElement.scrollWidth, inner, bad: []};
                        for (const e of document.querySelectorAll('button, input, select, textarea, label')) {
                          const r = e.getBoundingClientRect();
                          if (r.width === 0 && r.height === 0) continue;  // not shown
                          const control = !(e.tagName === 'INPUT' && e.type === 'radio') && e.tagName !== 'LABEL';
                          const named = e.tagName === 'LABEL' || e.labels?.length || e.getAttribute('aria-label')
                            || e.textContent.trim();
                          if (r.left < 0 || r.right > inner) out.bad.push(e.id + ' outside');
                          if (control && (r.height < 44 || r.width < 44)) out.bad.push(e.id + ' small');
                          if (!named) out.bad.push(e.id + ' unnamed');
                        }
                        return out;""")
                    self.assertLessEqual(boxes["scroll"], boxes["inner"])
                    self.assertEqual(boxes["bad"], [])
                    driver.save_screenshot(str(SHOTS / f"tavorin-{name}.png"))
                finally:
                    if driver is not self.driver:
                        driver.quit()
                    else:
                        driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def test_keyboard_alone_reaches_every_control(self):
        self.driver.refresh()
        expected = set(self.driver.execute_script("""
            return [...document.querySelectorAll('button, input, select, textarea')]
              .filter(e => e.getBoundingClientRect().width > 0 && !(e.type === 'radio' && !e.checked))
              .map(e => e.id);"""))
        reached = set()
        body = self.driver.find_element("tag name", "body")
        body.click()
        for _ in range(3 * len(expected)):
            self.driver.switch_to.active_element.send_keys(Keys.TAB)
            reached.add(self.driver.switch_to.active_element.get_attribute("id"))
        self.assertEqual(expected - reached, set())

if __name__ == "__main__":
    unittest.main(verbosity=2)
