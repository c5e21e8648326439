# SPDX-License-Identifier: MIT
"""The page of corvexlink-web in Debian's headless chromium (chromium-driver, python3-selenium)
against the service and the simulator: sign-in, the cards, a move, a held jog, STOP ALL (button
and Escape), the chart, the trace, and a console without errors. Leaves a screenshot in the
build folder (web-page.png)."""

import os
import shutil
import time

import pytest

from conftest import Client, wait_for

selenium = pytest.importorskip("selenium")
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.options import Options  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"


@pytest.fixture
def browser(tmp_path):
    if not (os.path.exists(CHROMIUM) and os.path.exists(DRIVER)):
        pytest.skip("chromium and chromium-driver are not installed")
    options = Options()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     "--window-size=1280,900", f"--user-data-dir={tmp_path / 'profile'}"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(DRIVER), options=options)
    driver.set_page_load_timeout(30)
    try:
        yield driver
    finally:
        driver.quit()


def card_text(driver, address, part):
    return driver.find_element(By.CSS_SELECTOR, f"#motor-{address} .{part}").text


def test_an_operator_drives_the_motors_from_the_page(shared, tokens, browser):
    sim, web = shared
    api = Client(web, tokens["alice"])
    driver = browser
    driver.get(web.url)
    assert driver.find_element(By.ID, "sign-in").is_displayed()
    driver.find_element(By.ID, "token").send_keys(tokens["alice"])
    driver.find_element(By.ID, "sign-in-button").click()

    # The cards show the simulator's positions.
    assert wait_for(lambda: len(driver.find_elements(By.CSS_SELECTOR, "#cards .card")) == 4, 15)
    for address in range(4):
        position = api.get(f"/api/v1/lines/a/motors/{address}").json()["position"]
        assert wait_for(lambda: card_text(driver, address, "position") == str(position), 10), address
    assert driver.find_element(By.ID, "who").text == "alice (operator)"
    assert driver.find_element(By.ID, "line-state").text == "open"

    for address in (0, 1):
        driver.find_element(By.CSS_SELECTOR, f"#motor-{address} .chart-toggle").click()
    driver.find_element(By.ID, "trace-toggle").click()

    # A move from the page moves the motor.
    target = driver.find_element(By.CSS_SELECTOR, "#motor-0 .target")
    target.send_keys("2500")
    driver.find_element(By.CSS_SELECTOR, "#motor-0 .go").click()
    assert wait_for(lambda: card_text(driver, 0, "position") == "2500", 20)
    assert api.get("/api/v1/lines/a/motors/0").json()["position"] == 2500

    # A held jog runs until the button is let go.
    before = len(sim.frames())
    jog = driver.find_element(By.CSS_SELECTOR, "#motor-2 .jog-cw")
    ActionChains(driver).click_and_hold(jog).pause(1.2).release().perform()
    assert sim.wait_frame("_2H\\r", after=before, timeout=5) is not None
    frames = sim.frames()[before:]
    assert frames.index("_2J\\r") < frames.index("_2H\\r")

    # STOP ALL stops a long move; so does Escape.
    steps = driver.find_element(By.CSS_SELECTOR, "#motor-1 .steps")
    steps.clear()
    steps.send_keys("200000")
    driver.find_element(By.CSS_SELECTOR, "#motor-1 .plus").click()
    assert wait_for(lambda: driver.find_element(By.CSS_SELECTOR, "#motor-1").get_attribute("data-moving") == "true", 10)
    time.sleep(1.0)  # a stretch of the move on the chart
    before = len(sim.frames())
    driver.find_element(By.ID, "stop-all").click()
    for address in range(4):
        assert sim.wait_frame(f"_{address}H\\r", after=before, timeout=5) is not None
    assert wait_for(lambda: not api.get("/api/v1/lines/a/motors/1").json()["moving"], 10)
    assert api.get("/api/v1/lines/a/motors/1").json()["position"] < 200000
    driver.find_element(By.CSS_SELECTOR, "#motor-3 .plus").click()
    assert wait_for(lambda: driver.find_element(By.CSS_SELECTOR, "#motor-3").get_attribute("data-moving") == "true", 10)
    before = len(sim.frames())
    driver.find_element(By.TAG_NAME, "body").send_keys(Keys.ESCAPE)
    assert sim.wait_frame("_3H\\r", after=before, timeout=5) is not None

    # The chart drew the motors chosen; the trace shows frames.
    assert driver.execute_script(
        "const c = Chart.getChart('chart');"
        "return c !== undefined && c.data.datasets.length === 2 && c.data.datasets[0].data.length > 3")
    assert wait_for(lambda: len(driver.find_elements(By.CSS_SELECTOR, "#trace li")) > 5, 5)
    driver.execute_script("window.scrollTo(0, 0)")
    time.sleep(0.5)
    driver.save_screenshot(os.path.join(os.environ.get("CORVEXLINK_BUILD_DIR", "."), "web-page.png"))

    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    assert errors == [], errors


def test_a_viewer_sees_and_stops_but_does_not_move(shared, tokens, browser):
    sim, web = shared
    driver = browser
    driver.get(web.url)
    driver.find_element(By.ID, "token").send_keys(tokens["vic"])
    driver.find_element(By.ID, "sign-in-button").click()
    assert wait_for(lambda: len(driver.find_elements(By.CSS_SELECTOR, "#cards .card")) == 4, 15)
    assert not driver.find_element(By.CSS_SELECTOR, "#motor-0 .go").is_enabled()
    assert not driver.find_element(By.CSS_SELECTOR, "#motor-0 .jog-cw").is_enabled()
    before = len(sim.frames())
    driver.find_element(By.CSS_SELECTOR, "#motor-0 .stop").click()
    assert sim.wait_frame("_0H\\r", after=before, timeout=5) is not None
    # A wrong token is refused on the sign-in form.
    driver.find_element(By.ID, "sign-out").click()
    driver.find_element(By.ID, "token").send_keys("cvxl_" + "1" * 64)
    driver.find_element(By.ID, "sign-in-button").click()
    assert wait_for(lambda: "not valid" in driver.find_element(By.ID, "message").text, 5)
