"""extract_email_data: the portal's notification mail turned into its record."""
import pytest

import kestrelflow.generic_utility as gu
from mail_corpus import mails
from plain_rules import py_extract_email_data

PORTAL_MAIL = """Hello Ahmed Ali,

Your application was received and is being processed.
  It will be reviewed within 3 days (working days) — thank you!
Service Name: Building Permit
Application Number: 202400012345
Status is Pending Action

To complete your application, please click on: https://portal.test/app/1.

أهلاً بك أحمد علي،
تم استلام    طلبكم
وجاري العمل عليه (خلال ٣ أيام).
اسم الخدمة: رخصة بناء
لاستكمال الطلب يُرجى زيارة: https://portal.test/app/1?ar"""

PENDING_EN = ("<div><strong>Required Action:</strong> You need to complete the application "
              "details in order to proceed.</div>")
PENDING_AR = "<div><strong>الإجراء المطلوب:</strong> يُرجى استكمال المعاملة لمتابعة تقديم طلبك.</div>"


def parse(text, capsys):
    record = gu.extract_email_data(text)
    return record, capsys.readouterr().out.splitlines()


def test_portal_mail(capsys):
    record, lines = parse(PORTAL_MAIL, capsys)
    assert record == {
        "application_number": "202400012345",
        "status": "Pending Action\n\nTo complete your application",
        "service_name_en": "Building Permit",
        "service_name_ar": "رخصة بناء",
        "username_en": "Ahmed Ali",
        "username_ar": "أحمد علي",
        "link_en": "https://portal.test/app/1.",
        "link_ar": "https://portal.test/app/1?ar",
        "content_message_en": "Your application was received and is being processed.\n"
                              "  It will be reviewed within 3 days working days  thank you!",
        "content_message_ar": "تم استلام طلبكم وجاري العمل عليه خلال ٣ أيام.",
        "complete_application_instruction_en": "To complete your application, please click on:",
        "complete_application_instruction_ar": "لاستكمال الطلب يُرجى زيارة:",
        "required_action_en": PENDING_EN,
        "required_action_ar": PENDING_AR,
    }
    assert list(record) == ["application_number", "status", "service_name_en", "service_name_ar",
                            "username_en", "username_ar", "link_en", "link_ar",
                            "content_message_en", "content_message_ar",
                            "complete_application_instruction_en",
                            "complete_application_instruction_ar",
                            "required_action_en", "required_action_ar"]
    start = PORTAL_MAIL.index("أهلاً")
    assert lines == [
        f"<re.Match object; span=({start}, {start + 18}), match='أهلاً بك أحمد علي،'>",
        "Your application was received and is being processed.",
        "  It will be reviewed within 3 days working days  thank you!",
        "أحمد علي",
        "تم استلام طلبكم وجاري العمل عليه خلال ٣ أيام.",
    ]


def test_crlf_gives_the_same_record(capsys):
    assert parse(PORTAL_MAIL.replace("\n", "\r\n"), capsys) == parse(PORTAL_MAIL, capsys)


@pytest.mark.parametrize("text, expected", [
    # the status runs on over the following lines, up to the first punctuation
    ("Status is Pending Action\n\nPlease wait for approval\nthanks.",
     {"status": "Pending Action\n\nPlease wait for approval\nthanks",
      "required_action_en": PENDING_EN, "required_action_ar": PENDING_AR}),
    ("Status is Approved.", {"status": "Approved", "required_action_en": "",
                             "required_action_ar": ""}),
    ("Status is pending action.", {"status": "pending action", "required_action_en": ""}),
    ("no status here", {"status": None, "required_action_en": "", "required_action_ar": ""}),
    # links: the first pattern that matches wins; a link stops at whitespace only
    ("kindly complete the payment: https://pay.test/a?b=1, then",
     {"link_en": "https://pay.test/a?b=1,"}),
    ("kindly complete the payment https://pay.test/x kindly click on: http://other.test",
     {"link_en": "http://other.test"}),
    ("please click on: ftp://x.test please click on: https://y.test/z)",
     {"link_en": "https://y.test/z)"}),
    ("الدفع عبر الرابط التالي: https://pay.test/ar\nعبر زيارة: https://visit.test",
     {"link_ar": "https://visit.test"}),
    # instructions only when there is an application number
    ("To complete your application, visit https://a.test", {
        "application_number": None, "complete_application_instruction_en": None}),
    ("Application Number: 77\nFor more information\nsee  https://a.test To complete your "
     "application http", {"application_number": "77",
                          "complete_application_instruction_en": "For more information\nsee"}),
    ("Application Number: ٤٥٦ and Application Number: 12", {"application_number": "٤٥٦"}),
    ("Application Number: x Application Number: 12", {"application_number": "12"}),
    # the Arabic greeting with a blank before its comma: the name, but no message
    ("أهلاً بك سارة ،\nنص الرسالة\nاسم الخدمة: خدمة",
     {"username_ar": "سارة", "content_message_ar": None, "service_name_ar": "خدمة"}),
    ("أهلاً بك\nسارة,\nنص\nاسم الخدمة: خدمة", {"username_ar": "سارة", "content_message_ar": None}),
    ("أهلاً بك سارة،\n نص   الرسالة \n\n الثانية\nاسم الخدمة: خدمة",
     {"content_message_ar": "نص الرسالة الثانية"}),
    ("Hello , Hello Omar,\nHi\nService Name: X", {"username_en": "Omar",
                                                   "content_message_en": "Hi"}),
    ("Hello Omar", {"username_en": None, "content_message_en": None}),
], ids=lambda v: None if isinstance(v, dict) else repr(v[:30]))
def test_fields(text, expected, capsys):
    record, _ = parse(text, capsys)
    assert {key: record[key] for key in expected} == expected


@pytest.mark.parametrize("name, message", [
    ("Ahmed (Agent)", "Your request is ready."),
    ("Ahmed (Agent", "Your request is ready."),
    ("a.b* [c] +?", "Your request is ready."),
    ("(x+x+)+y", "Your request is ready."),
])
def test_greeting_name_is_matched_as_text(name, message, capsys):
    text = (f"Hello {name},\nYour request is ready.\nService Name: Survey\n"
            f"أهلاً بك {name}،\nطلبك جاهز\nاسم الخدمة: مسح\n" + "x" * 40)
    record, lines = parse(text, capsys)
    assert record["username_en"] == name and record["username_ar"] == name
    assert record["content_message_en"] == message
    assert record["content_message_ar"] == "طلبك جاهز"
    assert lines[1:] == [message, name, "طلبك جاهز"]


def test_greeting_that_only_looks_like_the_name_is_not_taken(capsys):
    # "A.li" read as a pattern would also fit the later greeting to "Axli".
    record, _ = parse("أهلاً بك A.li,\nاسم الخدمة: س\nأهلاً بك Axli،\nنص\nاسم الخدمة: ص", capsys)
    assert record["username_ar"] == "A.li" and record["content_message_ar"] is None


def test_not_a_string_raises_before_printing(capsys):
    with pytest.raises(AttributeError):
        gu.extract_email_data(None)
    assert capsys.readouterr().out == ""


@pytest.mark.parametrize("seed, count, size", [(1, 200, 0), (2, 200, 0), (3, 3, 1 << 20)],
                         ids=["mails", "more mails", "megabyte bodies"])
def test_matches_the_plain_rules_on_generated_mails(seed, count, size, capsys):
    for text in mails(count, seed=seed, size=size):
        record = gu.extract_email_data(text)
        lines = capsys.readouterr().out
        assert record == py_extract_email_data(text)
        assert lines == capsys.readouterr().out


SOUP = ["Application Number: ", "Status is ", "Service Name: ", "اسم الخدمة: ", "Hello ",
        "أهلاً بك", "أهلاً بك ", "please click on: ", "kindly click on: ",
        "kindly complete the payment ", "kindly complete the payment: ", "يُرجى زيارة: ",
        "عبر زيارة: ", "الدفع عبر الرابط التالي: ", "To complete your application",
        "For more information", "لمزيد من المعلومات", "لاستكمال الطلب", "http", "https://",
        "http://", "https:/", "httpss://", "Pending Action", "Omar", "سارة", "12", "٣٤",
        "²", "Ⅻ", "_", ",", "،", ".", "\n", "\r", "\r\n", " ", "\t", "\u00a0", "\u2028",
        "\x1c", "\u200b", "é", "😀", "a", "(", "*"]


def assert_soup_matches_the_plain_rules(soup, seed, texts, longest, capsys):
    """Random texts made of the soup's pieces: the record and the printed
    lines are those of the plain rules."""
    import random
    rng = random.Random(seed)
    for _ in range(texts):
        text = "".join(rng.choices(soup, k=rng.randrange(0, longest)))
        record = gu.extract_email_data(text)
        lines = capsys.readouterr().out
        assert record == py_extract_email_data(text), repr(text)
        assert lines == capsys.readouterr().out, repr(text)


@pytest.mark.parametrize("seed", range(4))
def test_matches_the_plain_rules_on_label_soup(seed, capsys):
    assert_soup_matches_the_plain_rules(SOUP, seed, 500, 60, capsys)


# ---- hostile mail: many Arabic greetings ---------------------------------------------------------

GREETING = "أهلاً بك"


class CountingPattern:
    """A compiled pattern that counts the times the engine is run with it."""

    def __init__(self, pattern, runs):
        self._pattern, self._runs = pattern, runs

    def __getattr__(self, name):
        method = getattr(self._pattern, name)
        if name not in ("match", "search", "fullmatch", "finditer", "findall"):
            return method

        def run(*args, **kwargs):
            self._runs.append(name)
            return method(*args, **kwargs)
        return run


@pytest.fixture
def engine_runs(monkeypatch):
    """Every run of the regular-expression engine through the standard `re`."""
    import re
    runs = []
    compile_, search, match = re.compile, re.search, re.match

    def counted(function):
        def run(*args, **kwargs):
            runs.append(function.__name__)
            return function(*args, **kwargs)
        return run

    monkeypatch.setattr(re, "compile", lambda *a, **k: CountingPattern(compile_(*a, **k), runs))
    monkeypatch.setattr(re, "search", counted(search))
    monkeypatch.setattr(re, "match", counted(match))
    return runs


@pytest.mark.parametrize("body", [
    (GREETING + " xy") * 5000,                     # no comma anywhere
    (GREETING + "،") * 5000 + GREETING + " سارة،",  # greetings with nothing before the comma
    (GREETING + "،") * 2000 + (GREETING + " ab") * 2000,
    (GREETING + "\n،") * 2000,                     # the blank is the name
], ids=["no comma", "empty names, then a name", "empty names, then no comma", "blank names"])
def test_many_greetings_run_the_engine_at_most_once(body, engine_runs, capsys):
    record = gu.extract_email_data(body)
    assert len(engine_runs) <= 1
    assert record == py_extract_email_data(body)


HOSTILE_SOUP = [GREETING, GREETING, " ", "\n", "\t", "\u00a0", ",", "،", "x", "سارة", "؛", "-"]


@pytest.mark.parametrize("seed", range(3))
def test_greeting_matches_the_plain_rules_on_greeting_soup(seed, capsys):
    assert_soup_matches_the_plain_rules(HOSTILE_SOUP, seed, 1500, 25, capsys)


# ---- a script's own `re` -------------------------------------------------------------------------

class CaseBlindRe:
    """A stand-in `re` whose search and sub ignore letter case, otherwise the standard one."""

    def __init__(self):
        import re
        self._re = re
        self.calls = []

    def __getattr__(self, name):
        return getattr(self._re, name)

    def search(self, pattern, string, flags=0):
        self.calls.append("search")
        return self._re.search(pattern, string, flags | self._re.IGNORECASE)

    def sub(self, pattern, repl, string, count=0, flags=0):
        self.calls.append("sub")
        return self._re.sub(pattern, repl, string, count, flags | self._re.IGNORECASE)


CASE_BLIND_MAIL = """hello Omar,
Your permit is ready.
service name: Survey
application number: 123456
status is approved.
Please Click On: https://portal.test/a
For more information see https://portal.test/b"""


def test_a_rebound_re_decides_every_field(monkeypatch, capsys):
    blind = CaseBlindRe()
    monkeypatch.setattr(gu, "re", blind)
    record, lines = parse(CASE_BLIND_MAIL, capsys)
    assert {key: record[key] for key in ["application_number", "status", "service_name_en",
                                         "username_en", "link_en", "content_message_en",
                                         "complete_application_instruction_en"]} == {
        "application_number": "123456",
        "status": "approved",
        "service_name_en": "Survey",
        "username_en": "Omar",
        "link_en": "https://portal.test/a",
        "content_message_en": "Your permit is ready.",
        "complete_application_instruction_en": "For more information see",
    }
    assert lines == ["None", "Your permit is ready."]
    monkeypatch.undo()
    assert parse(CASE_BLIND_MAIL, capsys)[0]["application_number"] is None


class ScriptMatch:
    """What a script's `re` may hand back for a match: group() and its own str."""

    def __init__(self, match):
        self._match = match

    def group(self, n=0):
        return self._match.group(n)

    def __str__(self):
        return f"script match at {self._match.start()}"


def test_a_rebound_re_gives_the_printed_greeting_match(monkeypatch, capsys):
    blind = CaseBlindRe()

    def search(pattern, string, flags=0):
        match = blind._re.search(pattern, string, flags)
        return ScriptMatch(match) if match is not None else None

    blind.search = search
    monkeypatch.setattr(gu, "re", blind)
    record, lines = parse("x أهلاً بك سارة،\nنص\nاسم الخدمة: خدمة", capsys)
    assert lines == ["script match at 2", "سارة", "نص"]
    assert (record["username_ar"], record["service_name_ar"]) == ("سارة", "خدمة")


class PassingRe(CaseBlindRe):
    """A stand-in `re` that only counts the calls."""

    def search(self, pattern, string, flags=0):
        self.calls.append("search")
        return self._re.search(pattern, string, flags)

    def sub(self, pattern, repl, string, count=0, flags=0):
        self.calls.append("sub")
        return self._re.sub(pattern, repl, string, count, flags)


@pytest.mark.parametrize("texts", [mails(60, seed=4), mails(2, seed=5, size=50_000),
                                   ["", "Hello ,", GREETING + "،" + GREETING + " a،"]],
                         ids=["mails", "long mails", "corners"])
def test_a_rebound_re_gives_the_same_records_as_the_standard_one(texts, monkeypatch, capsys):
    passing = PassingRe()
    monkeypatch.setattr(gu, "re", passing)
    through = [parse(text, capsys) for text in texts]
    assert passing.calls.count("search") >= 6 * len(texts)
    monkeypatch.undo()
    assert through == [parse(text, capsys) for text in texts]


def test_a_rebound_clean_text_cleans_the_messages(monkeypatch, capsys):
    calls = []

    def clean_text(text, language):
        calls.append((text, language))
        return f"<{language}>  {text}  "

    monkeypatch.setattr(gu, "clean_text", clean_text)
    record, lines = parse(PORTAL_MAIL, capsys)
    assert [language for _, language in calls] == ["english", "arabic"]
    assert record["content_message_en"] == "<english>  " + calls[0][0] + "  "
    assert record["content_message_ar"] == "<arabic> تم استلام طلبكم وجاري العمل عليه (خلال ٣ أيام)."
    assert lines[1:3] == record["content_message_en"].splitlines()


MESSAGE_CHARS = ([chr(c) for c in range(0, 0x250)] + [chr(c) for c in range(0x5F0, 0x710)]
                 + ["\u1680", "\u2000", "\u200a", "\u200b", "\u2028", "\u2029", "\u202f",
                    "\u205f", "\u3000", "\ufeff", "\ufb50", "\ufe70", "٫", "😀", "𝟙"])


@pytest.mark.parametrize("seed", range(3))
def test_messages_keep_the_characters_the_plain_rules_keep(seed, capsys):
    import random
    rng = random.Random(seed)
    for _ in range(300):
        english = "".join(rng.choices(MESSAGE_CHARS, k=rng.randrange(1, 40))).replace(",", "")
        arabic = "".join(rng.choices(MESSAGE_CHARS, k=rng.randrange(1, 40)))
        text = (f"Hello Omar,{english}Service Name: A\n"
                f"أهلاً بك سارة،{arabic}اسم الخدمة: ب")
        record = gu.extract_email_data(text)
        lines = capsys.readouterr().out
        assert record == py_extract_email_data(text), repr(text)
        assert lines == capsys.readouterr().out, repr(text)
