"""A fake of the DEVU portal and of the ZIV payment application, served on a
loopback address of its own, for the demo and the tests.

    from kestrelflow.demo.fake_portal import FakePortal
    with FakePortal(ziv_user="cashier", ziv_password="k") as portal:
        driver = open_chrome(extra_arguments=portal.browser_arguments())
        driver.get(portal.devu_url("/private#dashboard"))
        ...
        portal.events          # what the pages saw, in order

ZIV listens on its fixed port 7001, on an address of 127.0.0.0/8 drawn for
each portal (portal.address), so two portals, or a portal and another
program on 127.0.0.1:7001, do not collide.  A browser reaches the real host
names when it resolves every host to that address (Chromium:
--host-resolver-rules="MAP * <address>", which browser_arguments() gives).
"""
from .server import (DEVU_HOST, FALLBACK_ADDRESS, ZIV_HOST, ZIV_PORT, FakePortal, PortTaken,
                     default_data, private_loopback_address)

__all__ = ["DEVU_HOST", "FALLBACK_ADDRESS", "ZIV_HOST", "ZIV_PORT", "FakePortal", "PortTaken",
           "default_data", "private_loopback_address"]
