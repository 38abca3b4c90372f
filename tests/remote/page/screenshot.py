"""The page at a phone's size (390x844) as docs/remote-page.png shows it: zorvik-panel
--headless serving it, talmek-sim as the box on the serial link, a contest logger putting
both radios on their bands, channel 1 on a split receiving on a receive-only Beverage and
transmitting on the 20 m Yagi.

TALMEK_SIM=build/talmek-sim ZORVIK_PANEL=build/zorvik-panel python3 tests/remote/page/screenshot.py docs/remote-page.png
"""

import os
import socket
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pagedriver import Page, PHONE  # noqa: E402
from test_page_station import Simulator, Station  # noqa: E402

NAMES = ["Dipole 80m", "Beam 40m", "Yagi 20m", "Yagi 15m", "Beverage NE", "Vertical"]


def radio_info(radio, frequency):
    """A contest logger's word for one radio (frequency in 10 Hz)."""
    return ("<?xml version=\"1.0\" encoding=\"utf-8\"?><RadioInfo><app>N1MM</app><StationName>RUN</StationName>"
            f"<RadioNr>{radio}</RadioNr><Freq>{frequency}</Freq><TXFreq>{frequency}</TXFreq><Mode>CW</Mode>"
            "<IsTransmitting>False</IsTransmitting></RadioInfo>").encode()


def main(path):
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    probe.bind(("127.0.0.1", 0))
    logger_port = probe.getsockname()[1]
    probe.close()
    sim = Simulator("serial")
    station = Station(sim, "serial", NAMES, {"FOLLOW1": "logger", "FOLLOW2": "logger", "LOGGER_PORT": logger_port,
                                             "BAND1_20": 3, "BAND2_40": 2})
    page = None
    try:
        station.start()
        station.log.wait("listening for the logger")
        page = Page(PHONE)
        page.open(station.url)
        page.wait(lambda p: p.text("conn") == "online", "the page is online")
        logger = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        logger.sendto(radio_info(1, 1402500), ("127.0.0.1", logger_port))
        logger.sendto(radio_info(2, 702500), ("127.0.0.1", logger_port))
        logger.close()
        page.wait(lambda p: p.selected(1) == [3] and p.selected(2) == [2], "the logger's bands are followed")
        status, answer = station.request("PUT", "/api/v1/channels/1/split", {"rx": 5, "tx": 3})
        assert status == 200, answer
        page.wait(lambda p: p.selected(1) == [3, 5], "the split shows")
        sim.console("tx 1 on")
        page.wait(lambda p: "on" in p.classes("ch1-send"), "channel 1 transmits")
        page.wait(lambda p: p.text("ch1-band") == "20m" and p.text("ch2-band") == "40m", "the bands show")
        page.driver.execute_script("document.activeElement.blur()")
        page.driver.save_screenshot(path)
        print(f"{path}: {page.summary()}")
    finally:
        if page:
            page.quit()
        station.cleanup()
        sim.stop()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "remote-page.png")
