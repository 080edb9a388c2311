"""Generated portal notification mails and the Gmail messages that carry them.

Shared by the parser and mail-table tests and by the mail benchmark.
"""
import base64
import json
import random

ENGLISH_NAMES = ["Ahmed Ali", "Fatima Noor", "John Smith", "Mariam Al Hashemi", "Omar"]
ARABIC_NAMES = ["أحمد علي", "فاطمة نور", "مريم الهاشمي", "عمر"]
SERVICES = [("Building Permit", "رخصة بناء"), ("Land Survey", "مسح الأراضي"),
            ("Plot Transfer", "نقل ملكية قطعة")]
STATUSES = ["Pending Action", "Approved", "Rejected", "Under Review"]
LINK_EN = ["please click on: ", "kindly click on: ", "kindly complete the payment ",
           "kindly complete the payment: "]
LINK_AR = ["يُرجى زيارة: ", "عبر زيارة: ", "الدفع عبر الرابط التالي: "]
ARABIC_DIGITS = str.maketrans("0123456789", "٠١٢٣٤٥٦٧٨٩")
FILLER_EN = "The department reviews every request in the order it was received. "
FILLER_AR = "تتم مراجعة الطلبات حسب ترتيب استلامها من قبل الإدارة. "


def english_part(rng, name, number, service, status):
    link = f"https://portal.test/app/{number}?lang=en"
    lines = [
        f"Hello {name},",
        "",
        "Your application was received and is being processed.",
        f"Service Name: {service}",
        f"Application Number: {number}",
        f"Status is {status}",
        "",
        rng.choice(["To complete your application, ", "For more information, "])
        + rng.choice(LINK_EN) + link + rng.choice(["", ".", " "]),
    ]
    return lines


def arabic_part(rng, name, number, service):
    link = f"https://portal.test/app/{number}?lang=ar"
    comma = rng.choice(["،", "،", ",", " ،"])
    lines = [
        f"أهلاً بك {name}{comma}",
        "تم استلام طلبكم وجاري العمل عليه.",
        f"اسم الخدمة: {service}",
        f"رقم الطلب: {number.translate(ARABIC_DIGITS)}",
        rng.choice(["لاستكمال الطلب ", "لمزيد من المعلومات "]) + rng.choice(LINK_AR) + link,
    ]
    return lines


def near_misses(rng):
    return rng.sample([
        "Application Number: pending",
        "Application number: 123",
        "Status: Approved",
        "hello there, friend",
        "Service Name:",
        "please click on: ftp://files.test/x",
        "اسم الخدمة:",
        "أهلا بك زائر،",
    ], k=rng.randrange(0, 4))


def mail(rng, size=0):
    """A bilingual notification mail with random variations; about `size`
    characters of extra paragraphs when size is given."""
    number = "".join(rng.choice("0123456789") for _ in range(12))
    service_en, service_ar = rng.choice(SERVICES)
    english = english_part(rng, rng.choice(ENGLISH_NAMES), number, service_en,
                           rng.choice(STATUSES))
    arabic = arabic_part(rng, rng.choice(ARABIC_NAMES), number, service_ar)
    if rng.random() < 0.3:  # labels shuffled
        head, rest = english[:1], english[1:]
        rng.shuffle(rest)
        english = head + rest
    if rng.random() < 0.3:  # a label repeated
        english.append(rng.choice(english[3:6]) + " (copy)")
    lines = english + near_misses(rng) + [""] + arabic
    if rng.random() < 0.2:
        lines = arabic + [""] + english
    if size:
        filler = (FILLER_EN * (size // (2 * len(FILLER_EN)) + 1)
                  + FILLER_AR * (size // (2 * len(FILLER_AR)) + 1))
        lines.insert(rng.randrange(1, len(lines)), filler)
    text = rng.choice(["\n", "\n", "\r\n", "\r"]).join(lines)
    if rng.random() < 0.2:  # an HTML body
        text = text.replace("Service Name: ", "<strong>Service Name:</strong> ")
        text = "<html><body>" + text.replace("\n", "<br>\n") + "</body></html>"
    return text


def mails(count, seed=1, size=0):
    rng = random.Random(seed)
    return [mail(rng, size) for _ in range(count)]


# ---- Gmail messages ----------------------------------------------------------------------------

def b64(text, padded=True):
    data = base64.urlsafe_b64encode(text.encode("utf-8")).decode("ascii")
    return data if padded else data.rstrip("=")


def message(msg_id, body, subject="Application status is Approved", sender="portal@devu.test",
            internal_date="1700000000000", payload=None):
    headers = []
    if subject is not None:
        headers.append({"name": "Subject", "value": subject})
    if sender is not None:
        headers.append({"name": "From", "value": sender})
    if payload is None:
        payload = {"mimeType": "text/plain", "body": {"data": b64(body)}}
    payload = dict(payload, headers=headers)
    return {"id": msg_id, "threadId": msg_id, "internalDate": internal_date, "payload": payload}


def listing(ids):
    return {"messages": [{"id": i, "threadId": i} for i in ids], "resultSizeEstimate": len(ids)}


def to_json(obj):
    return json.dumps(obj)
