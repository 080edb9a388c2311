"""get_message_details and fetch_emails_to_dataframe against an offline Gmail."""
import base64

import pandas as pd
import pytest

import kestrelflow.generic_utility as gu
from mail_corpus import b64, listing, mails, message
from offline_gmail import failure, offline_service, ok, query
from plain_rules import py_fetch_emails_to_dataframe

PARSED = ["application_number", "status", "service_name", "username_en", "username_ar",
          "service_name_en", "service_name_ar", "link_en", "link_ar"]


def part(mime, text=None, parts=None, data=None):
    body = {"size": 0}
    if text is not None:
        body = {"data": b64(text), "size": len(text)}
    if data is not None:
        body = {"data": data}
    if parts is not None:
        return {"mimeType": mime, "body": body, "parts": parts}
    return {"mimeType": mime, "body": body}


ATTACHMENT = {"mimeType": "application/pdf", "filename": "letter.pdf",
              "body": {"attachmentId": "att-1", "size": 2048}}


@pytest.mark.parametrize("payload, body", [
    (part("text/plain", "Hello Omar,\nبرجاء"), "Hello Omar,\nبرجاء"),
    (part("multipart/alternative", parts=[part("text/html", "<p>x</p>"), part("text/plain", "plain"),
                                          part("text/plain", "second")]), "plain"),
    (part("multipart/alternative", parts=[part("text/html", "<p>only html</p>")]), ""),
    # a mail with an attachment: the text sits one level down
    (part("multipart/mixed", parts=[
        part("multipart/alternative", parts=[part("text/plain", "the body"), part("text/html", "<b>")]),
        ATTACHMENT]), "the body"),
    # a later top-level text/plain part wins over a nested one
    (part("multipart/mixed", parts=[
        part("multipart/alternative", parts=[part("text/plain", "NESTED")]),
        part("text/plain", "TOP LEVEL")]), "TOP LEVEL"),
    (part("multipart/mixed", parts=[
        part("multipart/related", parts=[part("multipart/alternative", parts=[part("text/plain", "deep")])]),
        part("text/plain", "later")]), "later"),
    # no plain part at the top: each nested level's own parts before deeper ones
    (part("multipart/mixed", parts=[
        part("multipart/alternative", parts=[
            part("multipart/related", parts=[part("text/plain", "deeper")]),
            part("text/plain", "one level down")]),
        part("multipart/alternative", parts=[part("text/plain", "next sibling")]),
        ATTACHMENT]), "one level down"),
    (part("multipart/mixed", parts=[
        part("multipart/related", parts=[part("text/html", "<i>")]),
        part("multipart/alternative", parts=[part("text/plain", "second branch")])]),
     "second branch"),
    (part("text/plain", data=b64("padless ✓ text", padded=False)), "padless ✓ text"),
    (part("text/plain", data=base64.urlsafe_b64encode(b"caf\xe9 \xff ok").decode()),
     "caf\ufffd \ufffd ok"),
], ids=["single part", "first plain part", "no plain part", "attachment", "top level first",
        "top level before deep", "nearest level first", "next branch", "unpadded", "not utf-8"])
def test_message_body(payload, body, local_zone):
    service, http = offline_service([ok(message("m1", None, payload=payload))])
    details = gu.get_message_details(service, "m1")
    assert details == {"subject": "Application status is Approved", "sender": "portal@devu.test",
                       "body": body, "time": "2023-11-15 02:43:20"}
    (uri, method, _, _), = http.request_sequence
    assert (method, query(uri)[0]) == ("GET", "/gmail/v1/users/me/messages/m1")


@pytest.mark.parametrize("headers, subject, sender", [
    ([], "No Subject", "No Sender"),
    ([{"name": "subject", "value": "lower"}, {"name": "FROM", "value": "upper"}],
     "No Subject", "No Sender"),
    ([{"name": "From", "value": "a@x"}, {"name": "Subject", "value": "one"},
      {"name": "Subject", "value": "two"}, {"name": "From", "value": "b@x"}], "one", "a@x"),
])
def test_message_headers(headers, subject, sender, local_zone):
    raw = message("m1", "body", subject=None, sender=None)
    raw["payload"]["headers"] = headers
    service, _ = offline_service([ok(raw)])
    details = gu.get_message_details(service, "m1")
    assert (details["subject"], details["sender"]) == (subject, sender)


@pytest.mark.parametrize("internal_date, shown", [
    ("0", "1970-01-01 04:30:00"),
    ("1999", "1970-01-01 04:30:01"),
    ("1700000000999", "2023-11-15 02:43:20"),
    ("1719779399999", "2024-07-01 00:59:59"),
])
def test_receive_time_is_local_and_truncated_to_the_second(internal_date, shown, local_zone):
    service, _ = offline_service([ok(message("m1", "x", internal_date=internal_date))])
    assert gu.get_message_details(service, "m1")["time"] == shown


def test_api_error_gives_an_error_record(out):
    service, _ = offline_service([failure(404, "Requested entity was not found.")])
    expected_service, _ = offline_service([failure(404, "Requested entity was not found.")])
    try:
        expected_service.users().messages().get(userId="me", id="gone").execute()
    except Exception as error:
        expected = f"An error occurred: {error}"
    assert gu.get_message_details(service, "gone") == dict.fromkeys(
        ["subject", "sender", "body", "time"], "Error")
    assert out() == [expected]


def test_malformed_message_propagates():
    service, _ = offline_service([ok({"id": "m1", "internalDate": "0"})])
    with pytest.raises(KeyError):
        gu.get_message_details(service, "m1")


# ---- the table ---------------------------------------------------------------------------------

def inbox(bodies, subjects, failing=()):
    """Responses for a listing of len(bodies) messages; ids in `failing` answer an error."""
    ids = [f"id{i}" for i in range(len(bodies))]
    responses = [ok(listing(ids))]
    for i, (body, subject) in enumerate(zip(bodies, subjects)):
        responses.append(failure(500) if ids[i] in failing else
                         ok(message(ids[i], body, subject=subject,
                                    internal_date=str(1700000000000 + i * 61_500))))
    return responses


def both(responses, capsys, max_results=50):
    """(module table, plain table, module lines, plain lines, module requests)."""
    service, http = offline_service(responses)
    table = gu.fetch_emails_to_dataframe(service, max_results)
    lines = capsys.readouterr().out.splitlines()
    plain_service, _ = offline_service(responses)
    plain = py_fetch_emails_to_dataframe(plain_service, max_results)
    plain_lines = capsys.readouterr().out.splitlines()
    return table, plain, lines, plain_lines, http.request_sequence


PORTAL_MAIL = """Hello Ahmed Ali,

Your application was received and is being processed.
Service Name: Building Permit
Application Number: 202400012345
Status is Pending Action

To complete your application, please click on: https://portal.test/app/1

أهلاً بك أحمد علي،
تم استلام طلبكم.
اسم الخدمة: رخصة بناء
لاستكمال الطلب يُرجى زيارة: https://portal.test/app/1?ar"""


def test_table_rows_columns_and_requests(capsys, local_zone):
    bodies = [PORTAL_MAIL, "<strong>Service Name:</strong> Plot Transfer<br>no greeting", "x"]
    subjects = ["Your application Status is Approved ", "STATUS IS Rejected", "error"]
    table, plain, lines, plain_lines, requests = both(inbox(bodies, subjects, failing={"id2"}),
                                                      capsys, max_results=3)

    assert list(table.columns) == ["subject", "sender", "body", "time"] + PARSED
    pd.testing.assert_frame_equal(table, plain, check_exact=True)
    assert lines == plain_lines
    assert table.index.equals(pd.RangeIndex(3))
    assert set(table.dtypes) == {pd.Series(["text"]).dtype}
    assert list(table["status"]) == ["approved", "rejected", "error"]
    assert list(table["service_name"]) == ["Not Found", "Plot Transfer", "Not Found"]
    assert table.loc[0, "application_number"] == "202400012345"
    assert table.loc[0, "username_ar"] == "أحمد علي"
    assert table.loc[0, "link_en"] == "https://portal.test/app/1"
    assert pd.isna(table.loc[1, "username_en"]) and pd.isna(table.loc[1, "link_ar"])
    assert table.loc[2, "body"] == "Error" and table.loc[2, "time"] == "Error"
    assert table.loc[1, "time"] == "2023-11-15 02:44:21"
    paths = [query(uri) for uri, *_ in requests]
    assert paths[0][0] == "/gmail/v1/users/me/messages" and paths[0][1]["maxResults"] == ["3"]
    assert [path for path, _ in paths[1:]] == [f"/gmail/v1/users/me/messages/id{i}" for i in range(3)]


def test_table_matches_the_plain_rules_on_generated_mails(capsys, local_zone):
    bodies = mails(40, seed=9)
    subjects = [f"Application {i} status is " + ["Approved", "Pending Action ", ""][i % 3]
                for i in range(len(bodies))]
    table, plain, lines, plain_lines, _ = both(inbox(bodies, subjects, failing={"id7"}), capsys)
    pd.testing.assert_frame_equal(table, plain, check_exact=True)
    assert lines == plain_lines


@pytest.mark.parametrize("responses, printed", [
    ([ok({"resultSizeEstimate": 0})], 0),
    ([failure(503, "Service unavailable")], 1),
], ids=["empty inbox", "failed listing"])
def test_table_without_messages_has_the_nine_columns(responses, printed, capsys):
    table, plain, lines, plain_lines, _ = both(responses, capsys)
    assert list(table.columns) == PARSED
    assert len(table) == 0
    pd.testing.assert_frame_equal(table, plain, check_exact=True)
    assert lines == plain_lines and len(lines) == printed


@pytest.mark.parametrize("bodies", [
    ["no fields at all", "still nothing"],
    ["Hello Omar,\nx\nService Name: A", "plain"],
    ["أهلاً بك سارة،\nنص\nاسم الخدمة: خدمة"],
], ids=["every parsed column empty", "one value in a column", "Arabic only"])
def test_table_keeps_the_column_types_of_the_cell_by_cell_table(bodies, capsys, local_zone):
    subjects = [f"Status is S{i}" for i in range(len(bodies))]
    table, plain, lines, plain_lines, _ = both(inbox(bodies, subjects), capsys)
    pd.testing.assert_frame_equal(table, plain, check_exact=True)
    assert list(table.dtypes) == list(plain.dtypes)
    assert lines == plain_lines


@pytest.mark.parametrize("extra", [
    {"time": 1700000000},                  # a number among the details
    {"label": "INBOX"},                    # a detail more
    {"status": "kept"},                    # a parsed column already there
], ids=["number", "extra detail", "parsed column given"])
def test_table_from_a_script_s_own_details(extra, monkeypatch, capsys, local_zone):
    import plain_rules

    def details(original):
        return lambda service, msg_id: dict(original(service, msg_id), **extra)

    bodies = [PORTAL_MAIL, "nothing here"]
    subjects = ["Status is Approved", "Status is Rejected"]
    monkeypatch.setattr(gu, "get_message_details", details(gu.get_message_details))
    monkeypatch.setattr(plain_rules, "py_get_message_details",
                        details(plain_rules.py_get_message_details))
    table, plain, lines, plain_lines, _ = both(inbox(bodies, subjects), capsys)
    pd.testing.assert_frame_equal(table, plain, check_exact=True)
    assert lines == plain_lines
