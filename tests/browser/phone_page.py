#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The phones' page in a real browser: headless Chromium, driven through chromedriver by Selenium, opens
the page of a running party, searches, wishes two songs and sees the first play and the second wait in
the queue list, as every guest would.

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
from selenium.common.exceptions import StaleElementReferenceException  # noqa: E402
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


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=412,915", "--user-data-dir=" + tempfile.mkdtemp(prefix="vimo-chromium-")):
        options.add_argument(argument)
    driver_path = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    return webdriver.Chrome(service=Service(driver_path), options=options)


def wish(driver, wait, search, title):
    field = driver.find_element(By.ID, "search")
    field.clear()
    field.send_keys(search)
    # The list follows the live queue and may be rebuilt between finding a button and tapping it; a
    # guest would simply tap again.
    for attempt in range(5):
        button = wait.until(EC.element_to_be_clickable(
            (By.XPATH, "//ul[@id='results']/li[contains(., '%s')]/button" % title)))
        try:
            button.click()
            break
        except StaleElementReferenceException:
            continue
    wait.until(EC.text_to_be_present_in_element((By.ID, "status"), "Your wish is in the queue."))


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
    expected = ["playlist:   1:   Long Player - Endless Road"]
    if lines != expected:
        raise SystemExit("playlist lines %r, expected %r" % (lines, expected))
    if child.returncode != 0:
        raise SystemExit("the party ended with %d" % child.returncode)
    print("the page wished two songs and showed them in the queue")


main()
