"""The text rules written in plain Python: the reference the native routines are
checked against (by the tests) and measured against (by the benchmarks)."""


def py_is_arabic(text):
    for char in text:
        if "\u0600" <= char and char <= "\u06ff":
            return True
    return False


def py_detect_language(text):
    arabic_count = english_count = 0
    for char in text:
        if "\u0600" <= char <= "\u06ff":
            arabic_count += 1
        elif "a" <= char.lower() <= "z":
            english_count += 1
    if arabic_count > english_count:
        return "Arabic"
    if english_count > arabic_count:
        return "English"
    return "Unknown"


def py_snake(text, wave_length=3):
    result = ""
    indentation = 0
    rising = True
    for char in text:
        result += " " * indentation + char + "\n"
        if rising:
            indentation += 1
            if indentation == wave_length:
                rising = False
        else:
            indentation -= 1
            if indentation == 0:
                rising = True
    return result


# ---- notification mails and the mail table, stated plainly --------------------------------
# These follow the documented rules statement by statement (with the parser's
# greeting name matched as literal text, and the body found in nested parts);
# the tests compare the module with them and the benchmarks measure both.

import base64 as _base64
import re as _re
from datetime import datetime as _datetime


def py_clean_text(text, language):
    if language == "arabic":
        return _re.sub(r"[^\u0600-\u06FF\u0660-\u0669\u061B\u061F\u0621-\u064A\s,.،؛!-]", "", text).strip()
    if language == "english":
        return _re.sub(r"[^a-zA-Z0-9\s,.?!-]", "", text).strip()
    return text.strip()


def py_extract_service_name(html_content):
    match = _re.search(r"Service Name:\s*</strong>\s*(.*?)\s*<br>", html_content,
                       _re.IGNORECASE | _re.DOTALL)
    return match.group(1).strip() if match else "Not Found"


def py_extract_email_data(email_text):
    email_text = email_text.replace("\r\n", "\n")
    data = dict.fromkeys([
        "application_number", "status", "service_name_en", "service_name_ar",
        "username_en", "username_ar", "link_en", "link_ar",
        "content_message_en", "content_message_ar",
        "complete_application_instruction_en", "complete_application_instruction_ar",
        "required_action_en", "required_action_ar"])
    patterns = {
        "application_number": r"Application Number: (\d+)",
        "status": r"Status is ([\w\s]+)",
        "service_name_en": r"Service Name: ([^\n]+)",
        "service_name_ar": r"اسم الخدمة: ([^\n]+)",
        "username_en": r"Hello ([^,]+),",
        "username_ar": r"أهلاً بك\s*([^،,]+)\s*[،,]",
    }
    matches = {key: _re.search(pattern, email_text) for key, pattern in patterns.items()}
    print(matches["username_ar"])
    for key, match in matches.items():
        if match:
            data[key] = match.group(1).strip()
    links = {
        "link_en": [r"please click on: (https?://[^\s]+)", r"kindly click on: (https?://[^\s]+)",
                    r"kindly complete the payment (https?://[^\s]+)",
                    r"kindly complete the payment: (https?://[^\s]+)"],
        "link_ar": [r"يُرجى زيارة: (https?://[^\s]+)", r"عبر زيارة: (https?://[^\s]+)",
                    r"الدفع عبر الرابط التالي: (https?://[^\s]+)"],
    }
    for key, candidates in links.items():
        for pattern in candidates:
            match = _re.search(pattern, email_text)
            if match:
                data[key] = match.group(1).strip()
                break
    if data["username_en"]:
        match = _re.search("Hello " + _re.escape(data["username_en"]) + ",(.+?)Service Name:",
                           email_text, _re.DOTALL)
        if match:
            data["content_message_en"] = py_clean_text(match.group(1).strip(), "english")
            print(data["content_message_en"])
    if data["username_ar"]:
        print(data["username_ar"])
        match = _re.search("أهلاً بك " + _re.escape(data["username_ar"]) + "،(.+?)اسم الخدمة:",
                           email_text, _re.DOTALL)
        if match:
            data["content_message_ar"] = py_clean_text(match.group(1).strip(), "arabic")
            data["content_message_ar"] = _re.sub(r"\s+", " ", data["content_message_ar"]).strip()
            print(data["content_message_ar"])
    if data["status"] and "Pending Action" in data["status"]:
        data["required_action_en"] = ("<div><strong>Required Action:</strong> You need to complete "
                                      "the application details in order to proceed.</div>")
        data["required_action_ar"] = ("<div><strong>الإجراء المطلوب:</strong> يُرجى استكمال "
                                      "المعاملة لمتابعة تقديم طلبك.</div>")
    else:
        data["required_action_en"] = ""
        data["required_action_ar"] = ""
    if data["application_number"]:
        match = _re.search(r"(To complete your application|For more information)(.+?)http",
                           email_text, _re.DOTALL)
        if match:
            data["complete_application_instruction_en"] = (match.group(1) + match.group(2)).strip()
        match = _re.search(r"(لمزيد من المعلومات|لاستكمال الطلب)(.+?)http", email_text, _re.DOTALL)
        if match:
            data["complete_application_instruction_ar"] = (match.group(1) + match.group(2)).strip()
    return data


def py_list_messages(service, max_results=5):
    from googleapiclient.errors import HttpError
    try:
        response = service.users().messages().list(
            userId="me", maxResults=max_results, labelIds=["INBOX"]).execute()
        return response.get("messages", [])
    except HttpError as error:
        print(f"An error occurred: {error}")
        return []


def _py_plain_part(parts):
    for part in parts:
        if part["mimeType"] == "text/plain":
            return part
    for part in parts:
        if "parts" in part:
            found = _py_plain_part(part["parts"])
            if found is not None:
                return found
    return None


def _py_decode(data):
    return _base64.urlsafe_b64decode(data + "=" * (-len(data) % 4)).decode("utf-8", "replace")


def py_get_message_details(service, msg_id):
    from googleapiclient.errors import HttpError
    try:
        message = service.users().messages().get(userId="me", id=msg_id).execute()
        headers = message["payload"]["headers"]
        subject = next((h["value"] for h in headers if h["name"] == "Subject"), "No Subject")
        sender = next((h["value"] for h in headers if h["name"] == "From"), "No Sender")
        seconds = int(message["internalDate"]) / 1000
        received = _datetime.fromtimestamp(seconds).strftime("%Y-%m-%d %H:%M:%S")
        payload = message["payload"]
        if "parts" in payload:
            part = _py_plain_part(payload["parts"])
            body = _py_decode(part["body"]["data"]) if part is not None else ""
        else:
            body = _py_decode(payload["body"]["data"])
        return {"subject": subject, "sender": sender, "body": body, "time": received}
    except HttpError as error:
        print(f"An error occurred: {error}")
        return {"subject": "Error", "sender": "Error", "body": "Error", "time": "Error"}


def py_fetch_emails_to_dataframe(service, max_results=50):
    import pandas as pd
    messages = py_list_messages(service, max_results)
    emails = [py_get_message_details(service, message["id"]) for message in messages]
    df = pd.DataFrame(emails)
    for column in ["application_number", "status", "service_name", "username_en", "username_ar",
                   "service_name_en", "service_name_ar", "link_en", "link_ar"]:
        if column not in df.columns:
            df[column] = "NAN"
    for i in range(len(df)):
        subject = df["subject"].iloc[i].lower()
        df.at[i, "status"] = subject.split("status is")[-1].strip()
        df.at[i, "service_name"] = py_extract_service_name(df["body"].iloc[i])
    for i in range(len(df)):
        parsed = py_extract_email_data(df["body"].iloc[i])
        for column in ["username_en", "username_ar", "service_name_en", "service_name_ar",
                       "application_number", "link_en", "link_ar"]:
            df.at[i, column] = parsed.get(column, "NAN")
    return df


def py_find_matching_row(df, criteria, match_threshold=0.5):
    df.columns = df.columns.str.lower().str.strip()
    criteria = {key.lower().strip(): value for key, value in criteria.items()}
    for index, row in df.iterrows():
        match_count = 0
        total_criteria = len(criteria)
        for key, value in criteria.items():
            if key in row and row[key] == value:
                match_count += 1
        match_ratio = match_count / total_criteria
        if match_ratio >= match_threshold:
            return index
    return -1
