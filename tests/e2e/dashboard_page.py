#!/usr/bin/python3
"""The dashboard of a real Master in headless Chromium, for the end-to-end test, driven by lines on
its standard input and answering each on its standard output:

    start          saves the token and clicks Start     -> "started <message>"
    cards <n>      waits for n cards                     -> "cards <id>:<health> ..." or "cards none"
    gone           waits for a card that says "gone"     -> "gone <id>" or "gone none"

    dashboard_page.py <url> <token>
"""
import shutil
import sys
import tempfile

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

WAIT_S = 20


def answer(line):
    print(line, flush=True)


def cards(browser):
    # Read in one script: the page draws its cards anew on every change of the show, several
    # times a second with Slaves beating, so elements looked up one call earlier may be gone.
    return [tuple(card) for card in browser.execute_script(
        "return [...document.querySelectorAll('#cards .card')]"
        ".map(c => [c.dataset.id, c.dataset.health]);")]


def main():
    url, token = sys.argv[1], sys.argv[2]
    profile = tempfile.mkdtemp(prefix="dashboard-page-")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1280,1000", f"--user-data-dir={profile}"):
        options.add_argument(argument)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    wait = WebDriverWait(browser, WAIT_S)
    try:
        browser.get(url)
        wait.until(lambda b: "up" in b.find_element(By.ID, "link").get_attribute("class"))
        answer("ready")
        for line in sys.stdin:
            words = line.split()
            if not words:
                continue
            try:
                if words[0] == "start":
                    field = browser.find_element(By.ID, "token")
                    field.clear()
                    field.send_keys(token)
                    browser.find_element(By.ID, "token-save").click()
                    message = browser.find_element(By.ID, "message")
                    browser.execute_script("arguments[0].textContent = ''", message)
                    browser.find_element(By.ID, "op-start").click()
                    wait.until(lambda b: message.text != "")
                    answer("started " + message.text)
                elif words[0] == "cards":
                    wait.until(lambda b: len(cards(b)) >= int(words[1]))
                    answer("cards " + " ".join(f"{i}:{h}" for i, h in cards(browser)))
                elif words[0] == "gone":
                    wait.until(lambda b: any(h == "gone" for _, h in cards(b)))
                    answer("gone " + " ".join(i for i, h in cards(browser) if h == "gone"))
            except TimeoutException:
                answer(words[0] + " none")
    finally:
        browser.quit()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    main()
