"""A fake of the DEVU portal and of the ZIV payment application, served on
127.0.0.1, for the demo and the tests.

    from kestrelflow.demo.fake_portal import FakePortal
    with FakePortal(ziv_user="cashier", ziv_password="k") as portal:
        driver.get(portal.devu_url("/private#dashboard"))
        ...
        portal.events          # what the pages saw, in order

A browser reaches the real host names when it resolves every host to
127.0.0.1 (Chromium: --host-resolver-rules="MAP * 127.0.0.1").
"""
from .server import DEVU_HOST, ZIV_HOST, ZIV_PORT, FakePortal, PortTaken, default_data

__all__ = ["DEVU_HOST", "ZIV_HOST", "ZIV_PORT", "FakePortal", "PortTaken", "default_data"]
