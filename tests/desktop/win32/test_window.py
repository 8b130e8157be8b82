#!/usr/bin/env python3
"""tavorin.exe under wine, used as a person uses it: a key and a message typed, Encrypt, Copy
Text, the envelope on the clipboard opened by tavorin-cli.exe, pasted back and decrypted; a
message box answered by a click; Quit. Needs an X display (DISPLAY), xdotool and xclip.
TAVORIN_WINE_RUN, TAVORIN_WINDOW and TAVORIN_CLI name the wine runner and the two programs."""

import os
import re
import subprocess
import sys
import tempfile
import time

WINE = os.environ['TAVORIN_WINE_RUN']
WINDOW = os.environ['TAVORIN_WINDOW']
CLI = os.environ['TAVORIN_CLI']
KEY = 'correct horse'
MESSAGE = 'Meet me at ten, by the old mill.\nBring the map.'


def xdotool(*args):
    return subprocess.run(['xdotool', *args], check=True, capture_output=True, text=True).stdout.split()


def clipboard():
    return subprocess.run(['xclip', '-o', '-selection', 'clipboard'], capture_output=True, text=True).stdout


def clear_clipboard():
    # xclip stays to serve the selection until another program takes it: not on our output.
    subprocess.run(['xclip', '-selection', 'clipboard'], input=b'', stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def copied(pattern):
    """The clipboard's text once it matches the pattern (wine hands it to X a moment later)."""
    deadline = time.time() + 10
    while True:
        text = clipboard()
        if re.fullmatch(pattern, text) or time.time() > deadline:
            return text
        time.sleep(0.2)


def wait_for(name, timeout=60):
    """The id of the visible window of this exact title."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', f'^{name}$'], capture_output=True,
                               text=True).stdout.split()
        if found:
            return found[0]
        time.sleep(0.2)
    sys.exit(f'test_window: no window "{name}"')


def click(window, x, y):
    xdotool('mousemove', '--window', window, str(x), str(y), 'click', '1')
    time.sleep(0.3)


def type_text(text):
    xdotool('type', '--delay', '15', text)
    time.sleep(0.3)


def main():
    program = subprocess.Popen([WINE, WINDOW], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        main_window = wait_for('Tavorin  BETA')
        time.sleep(2)
        # The places are the form's (the X window is its client area): the key field, the
        # message area, the label-buttons.
        key_field, message_area = (300, 113), (300, 250)
        encrypt, decrypt, copy, clear = (68, 80), (68, 144), (62, 205), (62, 272)
        click(main_window, *key_field)
        type_text(KEY)
        click(main_window, *message_area)
        type_text(MESSAGE)
        click(main_window, *encrypt)
        time.sleep(1)
        clear_clipboard()
        click(main_window, *copy)
        envelope = copied(r'[0-9A-F]{2}( [0-9A-F]{2})*')
        assert re.fullmatch(r'[0-9A-F]{2}( [0-9A-F]{2})*', envelope), repr(envelope[:80])

        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, 'key.txt'), 'w') as f:
                f.write(KEY)
            with open(os.path.join(folder, 'message.env'), 'w') as f:
                f.write(envelope)
            opened = subprocess.run([WINE, CLI, 'decrypt', '--key-file', 'key.txt', '-i', 'message.env'], cwd=folder,
                                    capture_output=True, timeout=60)
        # The window's lines end in CR LF, which the clipboard of X gives as LF.
        assert opened.returncode == 0, opened.stderr
        assert opened.stdout.replace(b'\r\n', b'\n').decode() == MESSAGE, opened.stdout

        click(main_window, *clear)  # the message and the key
        click(main_window, *key_field)
        type_text(KEY)
        click(main_window, *message_area)
        xdotool('key', 'ctrl+v')
        time.sleep(0.5)
        click(main_window, *decrypt)
        time.sleep(1)
        clear_clipboard()
        click(main_window, *copy)
        assert copied(re.escape(MESSAGE)) == MESSAGE, repr(clipboard())

        # Encrypt without a key: the box, answered with a click on its OK.
        click(main_window, *clear)
        click(main_window, *message_area)
        type_text('x')
        click(main_window, *encrypt)
        box = wait_for('Tavorin', timeout=20)
        geometry = dict(line.split('=') for line in xdotool('getwindowgeometry', '--shell', box))
        click(box, int(geometry['WIDTH']) // 2, int(geometry['HEIGHT']) - 22)
        deadline = time.time() + 10
        while subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', '^Tavorin$'],
                             capture_output=True).returncode == 0:
            assert time.time() < deadline, 'the box stayed'
            time.sleep(0.2)

        click(main_window, 72, 368)  # Quit
        program.wait(timeout=30)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    print('test_window: the window encrypted, copied, pasted and decrypted as a person uses it')


if __name__ == '__main__':
    main()
