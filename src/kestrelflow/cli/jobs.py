"""Job files: reading, validating and turning them into step lists.

A job file is YAML:

    name: land-search
    service: Land search
    web_app: Portal
    sleep_time: 0.5
    stop_on_failure: false
    steps:
      - {name: Open search, action: get_url, values: ["https://portal.example/#search"],
         expect: {title_contains: Search}}
      - {name: Enter plot, action: input, xpaths: ["//input[@id='plot']"], values: ["${PLOT}"], delay: 1}
      - {name: Read number, action: Scrap_data, xpaths: ["//p[@id='app']"], expect: {matches: "^APP-"},
         timeout: 2, retries: 1}

`xpaths`, `texts` and `values` default to empty lists, `delay` to 0,
`sleep_time` to 0.5.  `${NAME}` inside a value is read from the environment
when the job runs.  Every problem is reported as one line naming the file,
the step (1-based) and the field.

A job file is untrusted input.  It is read from libyaml's (or PyYAML's)
event stream with this module's own rules rather than YAML 1.1's:
- a scalar is text wherever the job wants text, exactly as written (`0042`,
  `12:30`, `0x1f` and `1_000` are typed as such); the number fields take
  plain decimal numbers, `stop_on_failure` takes true or false;
- aliases are refused, and so are tags other than `!!str`;
- a field given twice in one mapping is refused;
- the file's size, its nesting and the number of items of a list are capped,
  and no message quotes a whole value, so that a hostile file is refused
  in time linear in its size.
"""
import functools
import math
import os
import re
import warnings
from dataclasses import dataclass, field

import jsonschema
import yaml
from yaml.events import (AliasEvent, DocumentStartEvent, MappingEndEvent, MappingStartEvent, ScalarEvent,
                         SequenceEndEvent, SequenceStartEvent)

ACTIONS = ("click", "input", "get_url", "Scrap_data")
VARIABLE = re.compile(r"\$\{([A-Za-z_][A-Za-z0-9_]*)\}")
# A job's name becomes the name of its output folder.
JOB_NAME = r"^[A-Za-z0-9][A-Za-z0-9._-]{0,99}\Z"
# The expectations a step may carry, by the action whose result they check.
EXPECTATIONS = {"Scrap_data": ("equals", "contains", "matches"),
                "get_url": ("title_contains", "url_contains")}

# What a job file may hold.
MAX_BYTES = 8 * 1024 * 1024
MAX_ITEMS = 50_000      # steps, or items of one list
MAX_FIELDS = 100        # keys of one mapping
MAX_DEPTH = 10          # a job needs four levels
MAX_PROBLEMS = 100      # lines reported per file

# libyaml's parser when PyYAML was built with it, else PyYAML's own; only
# its events are used.
PARSER = getattr(yaml, "CSafeLoader", yaml.SafeLoader)

_STRINGS = {"type": "array", "items": {"type": "string"}}
_SECONDS = {"type": "number", "minimum": 0}

STEP_SCHEMA = {
    "type": "object",
    "required": ["name", "action"],
    "additionalProperties": False,
    "properties": {
        "name": {"type": "string", "minLength": 1},
        "action": {"enum": list(ACTIONS)},
        "xpaths": _STRINGS,
        "texts": _STRINGS,
        "delay": _SECONDS,
        "values": _STRINGS,
        "expect": {"type": "object", "additionalProperties": {"type": "string"}},
        "timeout": {"type": "number", "exclusiveMinimum": 0},
        "retries": {"type": "integer", "minimum": 1},
    },
}

JOB_SCHEMA = {
    "type": "object",
    "required": ["name", "service", "web_app", "steps"],
    "additionalProperties": False,
    "properties": {
        "name": {"type": "string", "pattern": JOB_NAME},
        "service": {"type": "string"},
        "web_app": {"type": "string"},
        "sleep_time": _SECONDS,
        "stop_on_failure": {"type": "boolean"},
        "steps": {"type": "array", "minItems": 1, "items": STEP_SCHEMA},
    },
}

_VALIDATOR = jsonschema.Draft202012Validator(JOB_SCHEMA)
_TYPE_WORDS = {"array": "a list", "string": "a string", "number": "a number", "boolean": "true or false",
               "object": "a mapping", "integer": "a whole number"}


class JobError(Exception):
    """A job file that cannot be run; its lines say why."""

    def __init__(self, lines):
        super().__init__("\n".join(lines))
        self.lines = list(lines)


@dataclass
class Step:
    name: str
    action: str
    xpaths: list = field(default_factory=list)
    texts: list = field(default_factory=list)
    delay: float = 0
    values: list = field(default_factory=list)
    expect: dict = None     # one of EXPECTATIONS[action] -> text, or None
    timeout: float = None   # seconds per lookup, or None for the routine's own
    retries: int = None     # attempts, or None for the routine's own

    def limits(self):
        """The step's own `timeout` and `retries`, those that were given."""
        return {key: value for key, value in (("timeout", self.timeout), ("retries", self.retries))
                if value is not None}

    def as_run_step(self, environ=None):
        """The step as run_steps reads it, with ${NAME} in the values expanded;
        a seventh element holds the step's own limits when it has any."""
        values = [expand(v, environ) for v in self.values]
        step = [self.name, self.action, list(self.xpaths), list(self.texts), self.delay, values]
        limits = self.limits()
        if limits:
            step.append(limits)
        return step


@dataclass
class Job:
    path: str
    name: str
    service: str
    web_app: str
    steps: list
    sleep_time: float = 0.5
    stop_on_failure: bool = False

    def variables(self):
        """The environment variables that the job's values name, in order."""
        names = []
        for step in self.steps:
            for value in step.values:
                for name in VARIABLE.findall(value):
                    if name not in names:
                        names.append(name)
        return names

    def run_steps(self, environ=None):
        return [step.as_run_step(environ) for step in self.steps]


def expand(value, environ=None):
    environ = os.environ if environ is None else environ
    return VARIABLE.sub(lambda m: environ[m.group(1)], value)


# ---- reading: YAML events to plain values ------------------------------------------

class _Refused(Exception):
    """A file read no further: its one problem, at `path`."""

    def __init__(self, path, what):
        super().__init__(what)
        self.path, self.what = path, what


# What a plain scalar becomes, by where it stands.
_TEXT, _NUMBER, _BOOLEAN, _NODE = range(4)
_TOP_SLOTS = {"sleep_time": _NUMBER, "stop_on_failure": _BOOLEAN, "steps": _NODE}
_STEP_SLOTS = {"delay": _NUMBER, "timeout": _NUMBER, "retries": _NUMBER,
               "xpaths": _NODE, "texts": _NODE, "values": _NODE, "expect": _NODE}
_NULL = ("", "~", "null", "Null", "NULL")
_BOOLEANS = {"true": True, "True": True, "TRUE": True, "false": False, "False": False, "FALSE": False}
_INTEGER = re.compile(r"[-+]?[0-9]+\Z")
_DECIMAL = re.compile(r"[-+]?(?:\.[0-9]+|[0-9]+(?:\.[0-9]*)?)(?:[eE][-+]?[0-9]+)?\Z")
_NOT_FINITE = re.compile(r"(?:[-+]?\.(?:inf|Inf|INF)|\.(?:nan|NaN|NAN))\Z")
_TEXT_TAGS = (None, "!", "tag:yaml.org,2002:str")
_COLLECTION_TAGS = ("!", "tag:yaml.org,2002:map", "tag:yaml.org,2002:seq")


def _slot(path):
    depth = len(path)
    if depth == 0:
        return _NODE
    if depth == 1:
        return _TOP_SLOTS.get(path[0], _TEXT)
    if path[0] == "steps":
        if depth == 2:
            return _NODE
        if depth == 3:
            return _STEP_SLOTS.get(path[2], _TEXT)
    return _TEXT


def _short(text, size=40):
    """`text` quoted for a message, cut to `size` characters."""
    if len(text) <= size:
        return repr(text)
    return "%s... (%d characters)" % (repr(text[:size])[:-1], len(text))


def _check_text(text, path, problems):
    """A lone surrogate cannot be written to any output file."""
    if not text.isascii():
        try:
            text.encode("utf-8")
        except UnicodeEncodeError as error:
            problems.append((path, "holds a lone surrogate (%s), which no file can hold" % (
                ascii(error.object[error.start:error.end]))))


def _tag_problem(tag):
    if tag.startswith("tag:yaml.org,2002:"):
        tag = "!!" + tag[len("tag:yaml.org,2002:"):]
    return "the tag %s is not used in job files" % _short(tag)


def _scalar(event, path, problems):
    text = event.value
    _check_text(text, path, problems)
    if event.tag not in _TEXT_TAGS:
        raise _Refused(path, _tag_problem(event.tag))
    if not event.implicit[0]:  # quoted, or tagged as text
        return text
    slot = _slot(path)
    if slot == _TEXT:
        return text
    if text in _NULL:
        return None
    if slot == _BOOLEAN:
        return _BOOLEANS.get(text, text)
    if slot == _NUMBER:
        if _NOT_FINITE.match(text):
            problems.append((path, "%s is not a finite number" % text))
            return math.nan
        if _INTEGER.match(text) or _DECIMAL.match(text):
            try:
                number = int(text) if _INTEGER.match(text) else float(text)
            except ValueError:  # more digits than int() takes
                number = math.inf
            if not math.isfinite(number) or abs(number) > 1e15:
                problems.append((path, "%s is too large" % _short(text)))
                return math.nan
            return number
    return text


def _read(text, problems):
    """The file's value as dicts, lists, text, numbers and booleans."""
    stack = []          # [container, its path, the key awaiting its value (mappings)]
    root, documents = None, 0
    awaiting_key = object()
    loader = None
    try:
        loader = PARSER(text)
        check, get = loader.check_event, loader.get_event
        while check():
            event = get()
            kind = type(event)
            if not stack:
                if kind is DocumentStartEvent:
                    documents += 1
                    if documents > 1:
                        raise _Refused((), "a job file holds one YAML document, this one more (---)")
                    continue
                if kind is not ScalarEvent and kind is not MappingStartEvent and \
                        kind is not SequenceStartEvent and kind is not AliasEvent:
                    continue
                frame, path = None, ()
            else:
                frame = stack[-1]
                container, parent, key = frame
                if kind is MappingEndEvent or kind is SequenceEndEvent:
                    stack.pop()
                    continue
                if key is awaiting_key:
                    if kind is not ScalarEvent:
                        raise _Refused(parent, "a field name must be text")
                    name = event.value
                    if event.tag not in _TEXT_TAGS:
                        raise _Refused(parent, _tag_problem(event.tag))
                    _check_text(name, parent + (name,), problems)
                    if name in container:
                        problems.append((parent + (name,), "this field is given twice"))
                    elif len(container) >= MAX_FIELDS:
                        raise _Refused(parent, "more than %d fields" % MAX_FIELDS)
                    frame[2] = name
                    continue
                if key is None:
                    if len(container) >= MAX_ITEMS:
                        raise _Refused(parent, "more than %d %s" % (
                            MAX_ITEMS, "steps" if parent == ("steps",) else "items"))
                    path = parent + (len(container),)
                else:
                    path = parent + (key,)

            if kind is ScalarEvent:
                value = _scalar(event, path, problems)
            elif kind is AliasEvent:
                raise _Refused(path, "aliases (*%s) are not allowed in job files: write the value out" % (
                    ascii(event.anchor or "")[1:-1][:20]))
            else:
                if event.tag is not None and event.tag not in _COLLECTION_TAGS:
                    raise _Refused(path, _tag_problem(event.tag))
                if len(stack) >= MAX_DEPTH:
                    raise _Refused(path[:3], "nested more than %d levels deep" % MAX_DEPTH)
                value = {} if kind is MappingStartEvent else []
            if frame is None:
                root = value
            elif frame[2] is None:
                frame[0].append(value)
            else:
                frame[0][frame[2]] = value
                frame[2] = awaiting_key
            if kind is MappingStartEvent:
                stack.append([value, path, awaiting_key])
            elif kind is SequenceStartEvent:
                stack.append([value, path, None])
    except yaml.YAMLError as error:
        where = stack[-1][1] if stack else ()
        if stack and stack[-1][2] is not awaiting_key and stack[-1][2] is not None:
            where += (stack[-1][2],)
        elif where == ("steps",):  # the parser stopped within the next step
            where += (len(stack[-1][0]),)
        if "maximum nesting depth" in str(error):
            # libyaml 0.2.5 and later stop a deep flow collection while
            # scanning ahead, before its events reach the depth cap above
            raise _Refused(where[:3], "nested more than %d levels deep" % MAX_DEPTH) from None
        raise _Refused(where[:3], "not valid YAML: %s" % _yaml_problem(error, text)) from None
    finally:
        if loader is not None:
            loader.dispose()
    return root


def _yaml_problem(error, text):
    mark = getattr(error, "problem_mark", None)
    problem = getattr(error, "problem", None) or getattr(error, "reason", None) or str(error)
    problem = " ".join(str(problem).split())
    if mark is not None:
        return "line %d, column %d: %s" % (mark.line + 1, mark.column + 1, problem)
    if isinstance(error, yaml.reader.ReaderError):  # a character YAML does not allow
        found = yaml.reader.Reader.NON_PRINTABLE.search(text)
        if found:
            line = text.count("\n", 0, found.start())
            column = found.start() - (text.rfind("\n", 0, found.start()) + 1)
            return "line %d, column %d: %s (%s)" % (line + 1, column + 1, problem, ascii(found.group()))
    return problem


# ---- checking ------------------------------------------------------------------------

def _where(path):
    """'step 3, values.0' for ('steps', 2, 'values', 0)."""
    path = list(path)
    where = []
    if len(path) >= 2 and path[0] == "steps" and isinstance(path[1], int):
        where.append("step %d" % (path[1] + 1))
        path = path[2:]
    if path:
        where.append(".".join(_cut(str(p)) for p in path))
    return ", ".join(where)


def _cut(text, size=40):
    text = display_name(text)
    return text if len(text) <= size else text[:size] + "..."


def _describe(value):
    if isinstance(value, str):
        return _short(value)
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (dict, list)):
        return _TYPE_WORDS["object" if isinstance(value, dict) else "array"]
    return repr(value)


def _schema_problem(error):
    """One validation error as (path, what is wrong)."""
    path = tuple(error.absolute_path)
    kind, value, wanted = error.validator, error.instance, error.validator_value
    if kind == "required":
        missing = [name for name in wanted if name not in (value or {})]
        what = "the field %r is missing" % (missing[0] if missing else "?")
    elif kind == "additionalProperties":
        known = error.schema.get("properties", {})
        extra = [name for name in value if name not in known]
        shown = ", ".join(_short(name) for name in extra[:3])
        if len(extra) > 3:
            shown += " and %d more" % (len(extra) - 3)
        what = "unknown field %s (the fields are %s)" % (shown, ", ".join(known))
    elif kind == "enum" and path[-1:] == ("action",):
        what = "%s is not an action; the actions are %s" % (_describe(value), ", ".join(ACTIONS))
    elif kind == "type":
        wanted = wanted if isinstance(wanted, list) else [wanted]
        words = " or ".join(_TYPE_WORDS.get(w, w) for w in wanted)
        if value is None:
            what = "has no value (%s is required)" % words
        elif "array" in wanted and isinstance(value, str):
            what = "a list is required, not the string %s (write [%s])" % (_short(value), _short(value))
        else:
            what = "%s is not %s" % (_describe(value), words)
    elif kind == "minItems":
        what = "needs at least %d item%s" % (wanted, "" if wanted == 1 else "s")
    elif kind == "minimum":
        what = "%s is negative" % _describe(value) if wanted == 0 else "must be at least %s" % wanted
    elif kind == "exclusiveMinimum":
        what = "must be more than %s" % wanted
    elif kind == "minLength":
        what = "must not be empty"
    elif kind == "pattern":
        what = ("%s is not a usable job name (letters, digits, '.', '_' and '-', "
                "starting with a letter or digit)" % _describe(value))
    else:
        what = "%s is not valid here (%s)" % (_describe(value), kind)
    return path, what


@functools.lru_cache(maxsize=65536)
def _xpath_problem(xpath):
    """Why `xpath` does not parse, or None."""
    from lxml import etree
    try:
        etree.XPath(xpath)
    except Exception as error:
        return str(error) or type(error).__name__
    return None


def _strings(value):
    return [v for v in value if isinstance(v, str)] if isinstance(value, list) else []


# The fields that an action cannot do without, and what they must hold.
_NEEDED = {"input": (("xpaths", "at least one XPath"), ("values", "at least one value to type")),
           "Scrap_data": (("xpaths", "at least one XPath"),),
           "get_url": (("values", "its URL (values: [URL])"),)}


def _a(action):
    return ("an " if action[:1] in "aeiou" else "a ") + action


def _step_problems(number, step):
    """What the schema cannot say about one step: (path, what) pairs."""
    at = ("steps", number)
    action = step.get("action")
    xpaths, texts = _strings(step.get("xpaths")), _strings(step.get("texts"))
    for index, xpath in enumerate(xpaths):
        problem = xpath and _xpath_problem(xpath)
        if problem:
            yield at + ("xpaths", index), "%s is not a valid XPath (%s)" % (_short(xpath, 60), problem)
    if action not in ACTIONS or any(not isinstance(step.get(key, []), list) for key in ("xpaths", "texts", "values")):
        return  # the schema has said what is wrong
    if action == "click" and not any(xpaths) and not any(texts):
        yield at + ("xpaths",), "a click step needs xpaths or texts"
    for key, needs in _NEEDED.get(action, ()):
        if key not in step:
            yield at, "the field %r is missing (%s step needs %s)" % (key, _a(action), needs)
        elif not (any(xpaths) if key == "xpaths" else step[key]):
            yield at + (key,), "%s step needs %s" % (_a(action), needs)
    if action != "click" and texts:
        yield at + ("texts",), "%s step does not use texts (only click steps do)" % _a(action)
    expect = step.get("expect")
    if isinstance(expect, dict):
        yield from _expect_problems(at + ("expect",), action, expect)


def _expect_problems(at, action, expect):
    kinds = EXPECTATIONS.get(action)
    if kinds is None:
        yield at, "%s step reads nothing to expect from (expect is for Scrap_data and get_url steps)" % _a(action)
        return
    unknown = [key for key in expect if key not in kinds]
    if unknown:
        yield at, "%s is not an expectation of %s step (%s)" % (_short(unknown[0]), _a(action), ", ".join(kinds))
    elif len(expect) != 1:
        yield at, "needs exactly one of %s" % ", ".join(kinds)
    pattern = expect.get("matches")
    if action == "Scrap_data" and isinstance(pattern, str):
        try:
            with warnings.catch_warnings():  # a future change of meaning is no problem of the job's
                warnings.simplefilter("ignore")
                re.compile(pattern)
        except re.error as error:
            yield at + ("matches",), "%s is not a valid regular expression (%s)" % (_short(pattern, 60), error)
        except Exception as error:  # nested past the compiler's depth, for one
            yield at + ("matches",), "%s cannot be compiled (%s)" % (_short(pattern, 60), type(error).__name__)


def _variable_problems(data, environ):
    """Every ${NAME} of a value that is not set in `environ`."""
    for number, step in enumerate(data.get("steps") if isinstance(data.get("steps"), list) else []):
        if not isinstance(step, dict):
            continue
        told = set()
        for value in _strings(step.get("values")):
            for variable in VARIABLE.findall(value):
                if variable not in environ and variable not in told:
                    told.add(variable)
                    yield ("steps", number, "values"), "the environment variable %s is not set" % _cut(variable)


def _sort_key(problem):
    return [(0, p) if isinstance(p, int) else (1, str(p)) for p in problem[0]]


def _problems(data, environ, told=()):
    """Every problem of a job's value but those at the paths `told`."""
    problems = [_schema_problem(error) for error in _VALIDATOR.iter_errors(data)]
    if told:  # a field already refused while reading needs no second line
        problems = [problem for problem in problems if problem[0] not in told]
    steps = data.get("steps")
    for number, step in enumerate(steps if isinstance(steps, list) else []):
        if isinstance(step, dict):
            problems += _step_problems(number, step)
    if environ is not None:
        problems += _variable_problems(data, environ)
    return problems


def _read_file(path, name):
    try:
        with open(path, "rb") as f:
            raw = f.read(MAX_BYTES + 1)
    except IsADirectoryError:
        raise JobError(["%s: is a folder, not a job file" % name]) from None
    except OSError as error:
        raise JobError(["%s: cannot be read: %s" % (name, error.strerror or error)]) from None
    if len(raw) > MAX_BYTES:
        raise JobError(["%s: larger than %d MB; split the job into several files" % (
            name, MAX_BYTES // (1024 * 1024))])
    try:
        return raw.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise JobError(["%s: not UTF-8 text (byte %d)" % (name, error.start)]) from None


def _lines(name, problems):
    lines = {}
    for path, what in sorted(problems, key=_sort_key):
        where = _where(path)
        lines.setdefault("%s: %s: %s" % (name, where, what) if where else "%s: %s" % (name, what))
    lines = list(lines)
    if len(lines) > MAX_PROBLEMS:
        more = len(lines) - MAX_PROBLEMS
        lines = lines[:MAX_PROBLEMS] + ["%s: and %d more problem%s" % (name, more, "" if more == 1 else "s")]
    return lines


def display_name(path):
    """`path` as text that any output can hold."""
    return str(path).encode("utf-8", "backslashreplace").decode("utf-8")


def load(path, environ=None, check_variables=True):
    """The Job in the file at `path`; JobError with one line per problem."""
    name = display_name(path)
    try:
        return _load(path, name, environ, check_variables)
    except _Refused as refused:
        raise JobError(_lines(name, [(refused.path, refused.what)])) from None
    except JobError:
        raise
    except Exception as error:  # never a traceback for a job file
        raise JobError(["%s: cannot be read as a job: %s" % (name, type(error).__name__)]) from None


def _load(path, name, environ, check_variables):
    problems = []
    data = _read(_read_file(path, name), problems)
    if data is None:
        raise JobError(["%s: is empty; a job is a mapping with the fields name, service, web_app, "
                        "sleep_time and steps" % name])
    if not isinstance(data, dict):
        raise JobError(["%s: a job is a mapping with the fields name, service, web_app, "
                        "sleep_time and steps" % name])
    if check_variables:
        environ = os.environ if environ is None else environ
    problems += _problems(data, environ if check_variables else None, {path for path, _ in problems})
    if problems:
        raise JobError(_lines(name, problems))
    return Job(path=str(path), name=data["name"], service=data["service"], web_app=data["web_app"],
               sleep_time=data.get("sleep_time", 0.5), stop_on_failure=data.get("stop_on_failure", False),
               steps=[Step(name=s["name"], action=s["action"], xpaths=s.get("xpaths", []),
                           texts=s.get("texts", []), delay=s.get("delay", 0), values=s.get("values", []),
                           expect=s.get("expect"), timeout=s.get("timeout"),
                           retries=None if s.get("retries") is None else int(s["retries"]))
                      for s in data["steps"]])


def load_all(paths, environ=None):
    """The jobs of all files; JobError with every file's problems, and with
    two files that give the same job name (their outputs would mix)."""
    jobs, lines, seen = [], [], {}
    for path in paths:
        try:
            job = load(path, environ)
        except JobError as error:
            lines += error.lines
            continue
        if job.name in seen:
            lines.append("%s: name: the job name %r is already used by %s" % (
                display_name(job.path), job.name, display_name(seen[job.name])))
            continue
        seen[job.name] = job.path
        jobs.append(job)
    if lines:
        raise JobError(lines)
    return jobs
