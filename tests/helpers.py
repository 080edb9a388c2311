"""Small helpers shared by the test modules."""


def outcome(fn, *args):
    """What a call gives: its result, or the type and text of its error."""
    try:
        return fn(*args)
    except Exception as error:
        return type(error), str(error)


def page_record(driver, name):
    """A list the test page keeps on `window` (the ids it saw clicked, hovered ...)."""
    return driver.execute_script("return window." + name)


def clicks(driver):
    return page_record(driver, "clicks")


def hovered(driver):
    return page_record(driver, "hovered")
