#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The phones' page in a real browser: headless Chromium, driven through chromedriver by Selenium, opens
the page of a running party, searches, wishes two songs and sees the first play and the second wait in
the queue list, as every guest would; meets its own limit and gets the Wish button back once the queue
moves on; and a second browser on the same address, asking for German, gets the whole page in German and
meets the same guest's limit.

Usage: phone_page.py TST_PHONES [SCREENSHOT_FOLDER]
TST_PHONES is the tst_phones program, whose child mode serves the party. With a screenshot folder, a
picture of the page as a phone shows it is written there (for the manual).
Exits 77 (skipped) only when Chromium is not installed at all.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
if not CHROMIUM:
    print("SKIP: chromium is not installed (scripts/setup installs it)")
    sys.exit(77)

from selenium import webdriver  # noqa: E402  (only needed once chromium is there)
from selenium.common.exceptions import StaleElementReferenceException, TimeoutException  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support import expected_conditions as EC  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402


def serve(program, stop_file):
    child = subprocess.Popen([program, "--child", "serve", stop_file], stdout=subprocess.PIPE, text=True)
    deadline = time.time() + 90
    while time.time() < deadline:
        line = child.stdout.readline()
        if not line:
            break
        if line.startswith("port: "):
            return child, int(line.split()[1])
    child.kill()
    raise SystemExit("the party did not start its phone server")


def browser(language="en-US,en"):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=412,915", "--lang=" + language.split(",")[0],
                     "--user-data-dir=" + tempfile.mkdtemp(prefix="vimo-chromium-")):
        options.add_argument(argument)
    options.add_experimental_option("prefs", {"intl.accept_languages": language})
    driver_path = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    return webdriver.Chrome(service=Service(driver_path), options=options)


def wish_button(title):
    return (By.XPATH, "//ul[@id='results']/li[contains(., '%s')]/button" % title)


def wish(driver, wait, search, title, answer="Your wish is in the queue."):
    field = driver.find_element(By.ID, "search")
    field.clear()
    field.send_keys(search)
    # The list follows the live queue and may be rebuilt between finding a button and tapping it; a
    # guest would simply tap again.
    for attempt in range(5):
        button = wait.until(EC.element_to_be_clickable(wish_button(title)))
        try:
            button.click()
            break
        except StaleElementReferenceException:
            continue
    try:
        wait.until(EC.text_to_be_present_in_element((By.ID, "status"), answer))
    except TimeoutException:
        raise SystemExit("after wishing %s the page said %r, not %r"
                         % (title, driver.find_element(By.ID, "status").text, answer))


def check(condition, failure):
    if not condition:
        raise SystemExit(failure)


def limit_and_return(driver, wait, port, stop_file):
    """The guest's third waiting wish is refused; its button comes back when the playing song ends."""
    wish(driver, wait, "wish one", "Wish One")
    wish(driver, wait, "wish three", "Wish Three", "limit of 2")
    marked = ["Wisher Two – Wish Twoyour wish", "Wisher One – Wish Oneyour wish"]
    try:
        wait.until(lambda page: [mark.text for mark in page.find_elements(By.CSS_SELECTOR, "#queue li.mine")]
                   == marked)
    except TimeoutException:
        raise SystemExit("the guest's own wishes are marked %r" % [
            mark.text for mark in driver.find_elements(By.CSS_SELECTOR, "#queue li.mine")])
    # Another browser, in German, on the same address: the same guest, so its wish meets the same limit.
    german_page(port)
    button = driver.find_element(*wish_button("Wish Three"))
    check(button.get_attribute("aria-label") == "Wish Wisher Three – Wish Three",
          "the Wish button is named %r" % button.get_attribute("aria-label"))
    check(int(driver.execute_script("return arguments[0].getBoundingClientRect().height", button)) >= 44,
          "the Wish button is lower than 44 px")
    time.sleep(1)  # the queue's next news must not bring the button back while the queue is as it was
    check(not driver.find_element(*wish_button("Wish Three")).is_enabled(),
          "the refused Wish button came back before a place was free")
    check(driver.find_elements(By.CSS_SELECTOR, "#queue li.mine")[0].text.startswith("Wisher Two"),
          "the other guest's wish was marked as this guest's")
    # The host skips the playing song: the guest's first waiting wish plays (one second long, then the
    # next), a place of its share is free.
    open(stop_file + ".next", "w").close()
    wait.until(EC.text_to_be_present_in_element((By.ID, "status"), "Your wish is playing now: Wisher"))
    wait.until(EC.element_to_be_clickable(wish_button("Wish Three")))


def german_page(port):
    """A phone whose browser asks for German: headings, buttons and the jukebox's answers in German."""
    driver = browser("de-DE,de")
    try:
        wait = WebDriverWait(driver, 20, ignored_exceptions=[StaleElementReferenceException])
        driver.get("http://127.0.0.1:%d/" % port)
        wait.until(EC.visibility_of_element_located((By.ID, "party")))
        check(driver.find_element(By.TAG_NAME, "html").get_attribute("lang") == "de", "the page is not German")
        headings = [heading.text for heading in driver.find_elements(By.CSS_SELECTOR, "#party h2")]
        check(headings == ["JETZT LÄUFT", "WARTET", "WÜNSCH DIR EIN LIED"], "German headings %r" % headings)
        check(driver.find_element(By.ID, "search").get_attribute("placeholder") == "Künstler oder Titel",
              "the search field is not German")
        wish(driver, wait, "wish four", "Wish Four", "Deine wartenden Wünsche haben die Grenze dieser Party von 2")
        button = driver.find_element(*wish_button("Wish Four"))
        check(button.text == "Wünschen" and button.get_attribute("aria-label") == "Wisher Four – Wish Four wünschen",
              "the Wish button says %r, named %r" % (button.text, button.get_attribute("aria-label")))
    finally:
        driver.quit()


def main():
    program = sys.argv[1]
    screenshots = sys.argv[2] if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="vimo-browser-")
    stop_file = os.path.join(work, "stop")
    child, port = serve(program, stop_file)
    driver = None
    try:
        driver = browser()
        wait = WebDriverWait(driver, 20, ignored_exceptions=[StaleElementReferenceException])
        driver.get("http://127.0.0.1:%d/" % port)
        wait.until(EC.visibility_of_element_located((By.ID, "party")))
        wish(driver, wait, "endless", "Endless Road")
        wait.until(EC.text_to_be_present_in_element((By.ID, "playing"), "Long Player – Endless Road"))
        # After a wish the queue took, the page offers the photo and the comment.
        wait.until(EC.visibility_of_element_located((By.ID, "photo-form")))
        wish(driver, wait, "wish two", "Wish Two")
        wait.until(EC.text_to_be_present_in_element((By.ID, "queue"), "Wisher Two – Wish Two"))
        limit_and_return(driver, wait, port, stop_file)
        if screenshots:
            driver.find_element(By.ID, "search").clear()
            driver.find_element(By.ID, "search").send_keys("wish")
            time.sleep(1)
            driver.execute_script("window.scrollTo(0, 0)")
            driver.save_screenshot(os.path.join(screenshots, "phones-page.png"))
    finally:
        if driver:
            driver.quit()
        open(stop_file, "w").close()
        output, _ = child.communicate(timeout=60)
    lines = [line for line in output.splitlines() if line.startswith("playlist: ")]
    # The wishes in their order, as far as the one-second songs after the skip got before the party ended.
    expected = ["playlist:   1:   Long Player - Endless Road", "playlist:   2:   Wisher Two - Wish Two",
                "playlist:   3:   Wisher One - Wish One"]
    if len(lines) < 2 or lines[:3] != expected[:len(lines[:3])]:
        raise SystemExit("playlist lines %r, expected %r" % (lines, expected))
    if child.returncode != 0:
        raise SystemExit("the party ended with %d" % child.returncode)
    print("the page wished songs, showed them in the queue, gave a refused button back and spoke German")


main()
