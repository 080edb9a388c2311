def test_default_zoom_on_a_real_page(driver, pages):
    import kestrelflow.generic_utility as gu
    driver.get(pages.url("basic.html"))
    assert gu.set_zoom(driver) is None
    assert driver.execute_script("return document.body.style.zoom") == "70%"
