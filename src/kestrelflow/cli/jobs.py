"""Job files: reading, validating and turning them into step lists.

A job file is YAML:

    name: land-search
    service: Land search
    web_app: Portal
    sleep_time: 0.5
    steps:
      - {name: Open search, action: get_url, values: ["https://portal.example/#search"]}
      - {name: Enter plot, action: input, xpaths: ["//input[@id='plot']"], values: ["${PLOT}"], delay: 1}

`xpaths`, `texts` and `values` default to empty lists, `delay` to 0 and
`sleep_time` to 0.5.  `${NAME}` inside a value is read from the environment
when the job runs.  Every problem is reported as one line naming the file,
the step (1-based) and the field.
"""
import os
import re
from dataclasses import dataclass, field

import jsonschema
import yaml

ACTIONS = ("click", "input", "get_url", "Scrap_data")
VARIABLE = re.compile(r"\$\{([A-Za-z_][A-Za-z0-9_]*)\}")
# A job's name becomes the name of its output folder.
JOB_NAME = r"^[A-Za-z0-9][A-Za-z0-9._-]{0,99}$"

_STRINGS = {"type": "array", "items": {"type": "string"}}
_NUMBER = {"type": "number", "minimum": 0}

STEP_SCHEMA = {
    "type": "object",
    "required": ["name", "action"],
    "additionalProperties": False,
    "properties": {
        "name": {"type": "string", "minLength": 1},
        "action": {"enum": list(ACTIONS)},
        "xpaths": _STRINGS,
        "texts": _STRINGS,
        "delay": _NUMBER,
        "values": {"type": "array", "items": {"type": ["string", "number"]}},
    },
    "allOf": [
        {"if": {"properties": {"action": {"const": "get_url"}}, "required": ["action"]},
         "then": {"required": ["values"], "properties": {"values": {"minItems": 1}}}},
        {"if": {"properties": {"action": {"enum": ["input", "Scrap_data"]}}, "required": ["action"]},
         "then": {"required": ["xpaths"], "properties": {"xpaths": {"minItems": 1}}}},
    ],
}

JOB_SCHEMA = {
    "type": "object",
    "required": ["name", "service", "web_app", "steps"],
    "additionalProperties": False,
    "properties": {
        "name": {"type": "string", "pattern": JOB_NAME},
        "service": {"type": "string"},
        "web_app": {"type": "string"},
        "sleep_time": _NUMBER,
        "steps": {"type": "array", "minItems": 1, "items": STEP_SCHEMA},
    },
}

_VALIDATOR = jsonschema.Draft202012Validator(JOB_SCHEMA)
_TYPE_WORDS = {"array": "a list", "string": "a string", "number": "a number",
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

    def as_run_step(self, environ=None):
        """The step as run_steps reads it, with ${NAME} in the values expanded."""
        values = [expand(v, environ) for v in self.values]
        return [self.name, self.action, list(self.xpaths), list(self.texts), self.delay, values]


@dataclass
class Job:
    path: str
    name: str
    service: str
    web_app: str
    steps: list
    sleep_time: float = 0.5

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


def _describe(value):
    if isinstance(value, str):
        return repr(value)
    if isinstance(value, (dict, list)):
        return _TYPE_WORDS["object" if isinstance(value, dict) else "array"]
    return repr(value)


def _message(error):
    """One validation error as 'step N, field: what is wrong'."""
    path = list(error.absolute_path)
    where = []
    if len(path) >= 2 and path[0] == "steps":
        where.append("step %d" % (path[1] + 1))
        rest = path[2:]
    else:
        rest = path
    kind, value = error.validator, error.instance
    if kind == "required":
        missing = [name for name in error.validator_value if name not in (value or {})]
        what = "the field %r is missing" % (missing[0] if missing else "?")
    elif kind == "additionalProperties":
        extra = sorted(set(value) - set(error.schema.get("properties", {})))
        what = "unknown field %s (the fields are %s)" % (
            ", ".join(repr(e) for e in extra), ", ".join(error.schema["properties"]))
    elif kind == "enum" and rest == ["action"]:
        what = "%s is not an action; the actions are %s" % (_describe(value), ", ".join(ACTIONS))
    elif kind == "type":
        wanted = error.validator_value
        wanted = wanted if isinstance(wanted, list) else [wanted]
        words = " or ".join(_TYPE_WORDS.get(w, w) for w in wanted)
        what = "%s is not %s" % (_describe(value), words)
        if "array" in wanted and isinstance(value, str):
            what = "a list is required, not the string %r (write [%r])" % (value, value)
    elif kind == "minItems":
        what = "needs at least %d item%s" % (error.validator_value, "" if error.validator_value == 1 else "s")
    elif kind == "minimum":
        what = "%s is negative" % _describe(value)
    elif kind == "minLength":
        what = "must not be empty"
    elif kind == "pattern":
        what = ("%s is not a usable job name (letters, digits, '.', '_' and '-', "
                "starting with a letter or digit)" % _describe(value))
    else:
        what = error.message
    field_path = ".".join(str(p) for p in rest)
    if field_path:
        where.append(field_path)
    return ", ".join(where) + ": " + what if where else what


def _sort_key(error):
    return [(0, p) if isinstance(p, int) else (1, str(p)) for p in error.absolute_path]


def load(path, environ=None, check_variables=True):
    """The Job in the file at `path`; JobError with one line per problem."""
    name = str(path)
    try:
        with open(path, encoding="utf-8") as f:
            data = yaml.safe_load(f)
    except OSError as error:
        raise JobError(["%s: cannot be read: %s" % (name, error.strerror or error)]) from None
    except yaml.YAMLError as error:
        mark = getattr(error, "problem_mark", None)
        where = " line %d, column %d:" % (mark.line + 1, mark.column + 1) if mark else ""
        problem = getattr(error, "problem", None) or str(error)
        raise JobError(["%s:%s not valid YAML: %s" % (name, where, problem)]) from None
    except UnicodeDecodeError:
        raise JobError(["%s: not UTF-8 text" % name]) from None
    if not isinstance(data, dict):
        raise JobError(["%s: a job is a mapping with the fields name, service, web_app, "
                        "sleep_time and steps" % name])
    errors = sorted(_VALIDATOR.iter_errors(data), key=_sort_key)
    lines = []
    for error in errors:
        # An if/then wrapper repeats what its inner error already says.
        if error.validator in ("allOf", "if", "then"):
            continue
        line = "%s: %s" % (name, _message(error))
        if line not in lines:
            lines.append(line)
    if lines:
        raise JobError(lines)
    job = Job(path=name, name=data["name"], service=data["service"], web_app=data["web_app"],
              sleep_time=data.get("sleep_time", 0.5),
              steps=[Step(name=s["name"], action=s["action"], xpaths=s.get("xpaths", []),
                          texts=s.get("texts", []), delay=s.get("delay", 0),
                          values=[v if isinstance(v, str) else str(v) for v in s.get("values", [])])
                     for s in data["steps"]])
    if check_variables:
        environ = os.environ if environ is None else environ
        missing = [v for v in job.variables() if v not in environ]
        lines = []
        for number, step in enumerate(job.steps, 1):
            for value in step.values:
                for variable in VARIABLE.findall(value):
                    if variable in missing:
                        line = "%s: step %d, values: the environment variable %s is not set" % (
                            name, number, variable)
                        if line not in lines:
                            lines.append(line)
        if lines:
            raise JobError(lines)
    return job


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
            lines.append("%s: name: the job name %r is already used by %s" % (job.path, job.name, seen[job.name]))
            continue
        seen[job.name] = job.path
        jobs.append(job)
    if lines:
        raise JobError(lines)
    return jobs
