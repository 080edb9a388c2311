"""What every output of a run goes through: files written whole or not at
all, secrets masked, and names that are safe as folder and file names."""
import hashlib
import html
import json
import os
import re
import tempfile
from pathlib import Path
from urllib.parse import quote, quote_plus


def _umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


UMASK = _umask()


def write_atomic(path, data, mode=None):
    """Writes `data` (bytes or text, as UTF-8) to `path` through a temporary
    file of a unique name beside it, moved into place when complete: a reader
    sees the old file or the new one, never a part.  On any failure the
    temporary file is removed and the error raised.  The file's mode is
    `mode`, or what the umask gives a new file."""
    path = Path(path)
    if isinstance(data, str):
        data = data.encode("utf-8")
    fd, temporary = tempfile.mkstemp(dir=path.parent, prefix="." + path.name[:100] + ".", suffix=".partial")
    try:
        with open(fd, "wb") as f:
            f.write(data)
            f.flush()
        os.chmod(temporary, (0o666 & ~UMASK) if mode is None else mode)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise
    return path


# ---- names on disk --------------------------------------------------------------

# The module makes BASE/<web app> - <step>/<step>_<stamp>.png of the names it
# is given; these limits keep both within a file name's 255 bytes.
STEP_NAME_BYTES = 120
WEB_APP_NAME_BYTES = 60
_UNSAFE = re.compile(r"[/\\\x00-\x1f\x7f-\x9f]")


def disk_name(text, limit=STEP_NAME_BYTES):
    """The name as a folder or file name: a separator (`/`, `\\`), NUL or
    another control character becomes `_`, so do dots in front; a name longer
    than `limit` bytes (UTF-8) is cut.  A name that had to change gets ` ~`
    and 8 hex digits of its own digest, so two names stay two names.  A name
    that needs none of this is kept as it is."""
    text = str(text)
    safe = _UNSAFE.sub("_", text)
    stripped = safe.lstrip(".")
    safe = "_" * (len(safe) - len(stripped)) + stripped
    if safe == text and len(text.encode("utf-8", "surrogatepass")) <= limit:
        return text
    digest = hashlib.sha1(text.encode("utf-8", "surrogatepass")).hexdigest()[:8]
    room = limit - 10
    cut = safe.encode("utf-8", "surrogatepass")[:room].decode("utf-8", "ignore")
    return "%s ~%s" % (cut, digest)


# ---- secrets ------------------------------------------------------------------------

def _forms(value):
    """The ways a value shows up in the outputs: as typed, in a URL, in HTML,
    in a Python repr."""
    forms = {value, quote(value, safe=""), quote(value), quote_plus(value), html.escape(value),
             html.escape(value, quote=False), value.replace("&", "&amp;"),
             value.replace("&", "&amp;").replace('"', "&quot;"), repr(value)[1:-1],
             json.dumps(value)[1:-1], json.dumps(value, ensure_ascii=False)[1:-1]}
    return {form for form in forms if form}


class Masker:
    """Replaces every value that came from an environment variable with
    `${NAME}`, wherever it shows up."""

    def __init__(self, secrets=None):
        self.secrets = dict(secrets or {})
        names = {}
        for name, value in self.secrets.items():
            if not isinstance(value, str) or not value:
                continue
            for form in _forms(value):
                names.setdefault(form, "${%s}" % name)
        forms = sorted(names, key=len, reverse=True)
        self._names = names
        self._bytes_names = {form.encode("utf-8", "surrogatepass"): name.encode() for form, name in names.items()}
        if forms:
            self._pattern = re.compile("|".join(re.escape(form) for form in forms))
            self._bytes_pattern = re.compile(b"|".join(re.escape(form.encode("utf-8", "surrogatepass"))
                                                       for form in forms))
        else:
            self._pattern = self._bytes_pattern = None

    def __bool__(self):
        return self._pattern is not None

    def text(self, text):
        if self._pattern is None or not text:
            return text
        return self._pattern.sub(lambda m: self._names[m.group(0)], text)

    def bytes(self, data):
        if self._bytes_pattern is None or not data:
            return data
        return self._bytes_pattern.sub(lambda m: self._bytes_names[m.group(0)], data)

    def value(self, value):
        """A copy of a JSON-like value with its texts masked (keys too)."""
        if self._pattern is None:
            return value
        if isinstance(value, str):
            return self.text(value)
        if isinstance(value, dict):
            return {self.value(k): self.value(v) for k, v in value.items()}
        if isinstance(value, (list, tuple)):
            return [self.value(v) for v in value]
        return value


def job_secrets(jobs, environ=None):
    """{NAME: value} of every environment variable the jobs' values name."""
    environ = os.environ if environ is None else environ
    secrets = {}
    for job in jobs:
        for name in job.variables():
            if name in environ:
                secrets[name] = environ[name]
    return secrets
