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


@pytest.mark.parametrize("seed", range(4))
def test_matches_the_plain_rules_on_label_soup(seed, capsys):
    import random
    rng = random.Random(seed)
    for _ in range(500):
        text = "".join(rng.choices(SOUP, k=rng.randrange(0, 60)))
        record = gu.extract_email_data(text)
        lines = capsys.readouterr().out
        assert record == py_extract_email_data(text), repr(text)
        assert lines == capsys.readouterr().out, repr(text)
