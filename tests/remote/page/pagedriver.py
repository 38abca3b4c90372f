"""What the page suites share: a headless Chromium on the page, bounded waits on conditions,
and questions about what the page shows."""

import json
import os
import shutil
import sys

from selenium import webdriver
from selenium.common.exceptions import JavascriptException, TimeoutException, WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

PHONE = (390, 844)


def chromium_paths():
    """Debian's chromium and its driver; a clear failure where they are missing."""
    browser = os.environ.get("CHROMIUM") or shutil.which("chromium") or shutil.which("chromium-browser")
    driver = os.environ.get("CHROMEDRIVER") or shutil.which("chromedriver")
    if not browser or not driver:
        sys.exit("chromium and chromedriver are needed (scripts/deps installs them): "
                 f"chromium={browser!r} chromedriver={driver!r}")
    return browser, driver


class Page:
    """One browser with the page open, sized as a phone unless told otherwise."""

    def __init__(self, size=PHONE, init_script=None):
        browser, driver = chromium_paths()
        options = webdriver.ChromeOptions()
        options.binary_location = browser
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--disable-extensions", "--no-first-run", "--disable-background-timer-throttling",
                         f"--window-size={size[0]},{size[1]}"):
            options.add_argument(argument)
        self.driver = webdriver.Chrome(service=Service(executable_path=driver), options=options)
        self.driver.set_page_load_timeout(20)
        self.driver.set_script_timeout(10)
        self.resize(size)
        if init_script:
            self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": init_script})

    def resize(self, size, mobile=True):
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": size[0], "height": size[1], "deviceScaleFactor": 1, "mobile": mobile})

    def open(self, url):
        self.driver.get(url)

    def quit(self):
        try:
            self.driver.quit()
        except WebDriverException:
            pass

    # ---- waiting ----

    def wait(self, condition, message, timeout=5.0):
        """Waits until condition(page) is truthy, polling every 50 ms; fails with message and what
        the page showed otherwise."""
        def check(_driver):
            try:
                return condition(self)
            except (JavascriptException, WebDriverException):
                return False
        try:
            return WebDriverWait(self.driver, timeout, poll_frequency=0.05).until(check)
        except TimeoutException:
            raise AssertionError(f"{message} (after {timeout} s); the page showed: {self.summary()}") from None

    # ---- what the page shows ----

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def text(self, element_id):
        return self.js("const e = document.getElementById(arguments[0]); return e ? e.textContent : null;",
                       element_id)

    def visible(self, element_id):
        return self.js("const e = document.getElementById(arguments[0]);"
                       "return !!e && !e.hidden && e.getClientRects().length > 0;", element_id)

    def classes(self, element_id):
        return self.js("const e = document.getElementById(arguments[0]); return e ? Array.from(e.classList) : [];",
                       element_id)

    def pressed(self, element_id):
        return self.js("const e = document.getElementById(arguments[0]);"
                       "return e ? e.getAttribute('aria-pressed') : null;", element_id)

    def disabled(self, element_id):
        return self.js("const e = document.getElementById(arguments[0]); return e ? e.disabled : null;",
                       element_id)

    def button(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def selected(self, channel):
        """The antenna numbers whose buttons are pressed on a channel."""
        return self.js("return Array.from(document.querySelectorAll('#ch' + arguments[0] + ' .ant'))"
                       ".filter((b) => b.getAttribute('aria-pressed') === 'true')"
                       ".map((b) => Number(b.dataset.antenna));", channel)

    def announced(self):
        return self.text("live") or ""

    def summary(self):
        try:
            return json.dumps(self.js(
                "const t = (id) => { const e = document.getElementById(id); return e ? e.textContent : null; };"
                "const ch = (c) => ({pressed: Array.from(document.querySelectorAll('#ch' + c + ' .ant'))"
                "  .filter((b) => b.getAttribute('aria-pressed') === 'true').map((b) => b.id),"
                "  reason: t('ch' + c + '-reason'), hint: t('ch' + c + '-hint')});"
                "return {conn: t('conn'), detail: t('conn-detail'), live: t('live'), alarm: t('alarm'),"
                "  signin: !document.getElementById('signin').hidden, ch1: ch(1), ch2: ch(2)};"))
        except WebDriverException as error:
            return f"<page not readable: {error.msg}>"
