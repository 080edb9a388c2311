"""What a job file expects of a step: the text a read gave, or the title or
address of the page a navigation reached.  `unmet` says why a step that was
done misses its expectation, in one line quoting both sides."""
import re

QUOTED = 80  # characters of either side a reason quotes


def _quote(text):
    text = str(text)
    if len(text) > QUOTED:
        text = text[:QUOTED] + "..."
    return repr(text)


def unmet(expect, action, read=None, title=None, url=None):
    """None when the step meets `expect` (or has none), else the reason.

    read    the text the step's Scrap_data read (False when nothing was read)
    title   the page's title after a get_url step
    url     the page's address after a get_url step
    """
    if not expect:
        return None
    (kind, wanted), = expect.items()
    if action == "Scrap_data":
        seen, what = read, "the read text"
        if not isinstance(seen, str):
            return "expected the read text to %s %s; nothing was read" % (_verb(kind), _quote(wanted))
        if kind == "equals":
            ok = seen == wanted
        elif kind == "contains":
            ok = wanted in seen
        else:
            ok = re.search(wanted, seen) is not None
    else:
        seen, what = (title, "the page's title") if kind == "title_contains" else (url, "the page's address")
        ok = isinstance(seen, str) and wanted in seen
    if ok:
        return None
    return "expected %s to %s %s; it was %s" % (what, _verb(kind), _quote(wanted), _quote(seen))


def _verb(kind):
    return {"equals": "equal", "matches": "match"}.get(kind, "contain")
