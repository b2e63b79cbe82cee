#!/usr/bin/python3
"""The dashboard in a real headless Chromium, against dashboard_host (the remote layer over a fake
show): the cards and their states, Start reaching the operator table with the token, a wrong token
refused with a message, a screen gone turning its card "gone", and the program's language.

    dashboard_test.py <dashboard_host>                      the test
    dashboard_test.py <dashboard_host> --shots <directory>  screenshots, desktop and phone width,
                                                            English and German
"""
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

HOST_PROGRAM = None
TOKEN = "c0ffee00c0ffee00c0ffee00c0ffee00"
WAIT_S = 20


class DashboardHost:
    """The host process: its port, what it printed, commands on its standard input."""

    def __init__(self, *args):
        self.process = subprocess.Popen([HOST_PROGRAM, "--token", TOKEN, *args],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        self.ran = []
        first = self.process.stdout.readline().split()
        assert first[0] == "port", first
        self.port = int(first[1])
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            line = line.strip()
            if line.startswith("ran "):
                self.ran.append(line[4:])
            self.lines.put(line)

    def command(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        deadline = time.monotonic() + WAIT_S
        while time.monotonic() < deadline:
            try:
                if self.lines.get(timeout=1) == "did " + line.split()[0]:
                    return
            except queue.Empty:
                pass
        raise AssertionError("the host did not take: " + line)

    def wait_ran(self, count):
        deadline = time.monotonic() + WAIT_S
        while len(self.ran) < count and time.monotonic() < deadline:
            time.sleep(0.05)
        return self.ran

    def close(self):
        """The host's exit code: a sanitizer's report at its end fails the test too."""
        self.process.stdin.close()
        try:
            self.process.wait(timeout=WAIT_S)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        return self.process.returncode


def chromium(width, height, profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", f"--window-size={width},{height}",
                     f"--user-data-dir={profile}", "--lang=en-US"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class DashboardTest(unittest.TestCase):
    def setUp(self):
        if not shutil.which("chromedriver") or not os.path.exists("/usr/bin/chromium"):
            self.skipTest("chromium and chromium-driver are not installed (scripts/setup)")
        self.profile = tempfile.mkdtemp(prefix="dashboard-test-")
        self.host = None
        self.browser = None

    def tearDown(self):
        if self.browser:
            self.browser.quit()
        shutil.rmtree(self.profile, ignore_errors=True)
        if self.host:
            self.assertEqual(self.host.close(), 0, "the host did not end cleanly")

    def open(self, *host_args):
        self.host = DashboardHost(*host_args)
        self.browser = chromium(1280, 900, self.profile)
        self.browser.get(f"http://127.0.0.1:{self.host.port}/")
        self.wait = WebDriverWait(self.browser, WAIT_S)
        self.wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#cards .card")) == 3)

    def cards(self):
        # One script: a card drawn anew between two lookups would be stale.
        return [tuple(card) for card in self.browser.execute_script(
            "return [...document.querySelectorAll('#cards .card')].map(c => [c.dataset.id, "
            "c.dataset.health, c.querySelector('.name').innerText]);")]

    def card(self, screen):
        """The card's health and its health and whole texts, read in one script (see cards)."""
        return card_of(self.browser, screen)

    def card_health(self, screen):
        return self.card(screen)[0]

    def use_token(self, token):
        field = self.browser.find_element(By.ID, "token")
        field.clear()
        field.send_keys(token)
        self.browser.find_element(By.ID, "token-save").click()

    def message_after_start(self):
        message = self.browser.find_element(By.ID, "message")
        self.browser.execute_script("arguments[0].textContent = ''", message)
        self.browser.find_element(By.ID, "op-start").click()
        self.wait.until(lambda b: message.text != "")
        return message.text

    def test_cards_show_the_screens_and_start_needs_the_right_token(self):
        self.open()
        self.assertEqual(self.cards(), [("master", "ok", "Master"), ("slave-1", "ok", "Wall"),
                                        ("slave-2", "starting", "Door")])
        self.assertIn("media file door.avi not found", self.card("slave-2")[2])

        self.assertIn("Enter the token", self.message_after_start())
        self.use_token("0" * 32)
        self.assertIn("Wrong token", self.message_after_start())
        self.assertEqual(self.host.ran, [])

        self.use_token(TOKEN)
        self.assertIn("Done", self.message_after_start())
        self.assertEqual(self.host.wait_ran(1), ["start"])

        self.host.command("health slave-2 gone")
        self.wait.until(lambda b: self.card_health("slave-2") == "gone")
        self.assertEqual(self.card_health("slave-1"), "ok")

    def test_the_page_follows_the_programs_language(self):
        self.open("--language", "de")
        self.wait.until(lambda b: b.find_element(By.ID, "op-stop").text == "Stopp")
        self.host.command("health slave-1 gone")
        self.wait.until(lambda b: self.card_health("slave-1") == "gone")
        self.assertEqual(self.card("slave-1")[1], "weg")
        self.host.command("language en")
        self.host.command("segment 3")
        self.wait.until(lambda b: b.find_element(By.ID, "op-stop").text == "Stop")


def card_of(browser, screen):
    """(health, health text, whole text) of a screen's card, or Nones while it is not drawn: one
    script, since the page draws its cards anew several times a second and an element looked up
    in one call may be gone by the next."""
    found = browser.execute_script(
        "const c = document.querySelector(`#cards .card[data-id=\"${arguments[0]}\"]`);"
        "return c ? [c.dataset.health, c.querySelector('.health').innerText, c.innerText] : null;",
        screen)
    return tuple(found) if found else (None, None, None)


def screenshots(directory):
    os.makedirs(directory, exist_ok=True)
    for language in ("en", "de"):
        for label, width, height in (("desktop", 1280, 1000), ("phone", 390, 1900)):
            profile = tempfile.mkdtemp(prefix="dashboard-shots-")
            host = DashboardHost("--language", language, "--screens", "4")
            browser = chromium(width, height, profile)
            try:
                browser.get(f"http://127.0.0.1:{host.port}/")
                WebDriverWait(browser, WAIT_S).until(
                    lambda b: len(b.find_elements(By.CSS_SELECTOR, "#cards .card")) == 4)
                host.command("health slave-3 not responding")
                WebDriverWait(browser, WAIT_S).until(
                    lambda b: card_of(b, "slave-3")[0] == "not responding")
                path = os.path.join(directory, f"dashboard-{label}-{language}.png")
                browser.save_screenshot(path)
                print(path)
            finally:
                browser.quit()
                host.close()
                shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    HOST_PROGRAM = sys.argv[1]
    if len(sys.argv) > 3 and sys.argv[2] == "--shots":
        screenshots(sys.argv[3])
    else:
        unittest.main(argv=[sys.argv[0], "-v"])
