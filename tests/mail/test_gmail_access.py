"""authenticate_gmail and list_messages against an offline Gmail."""
import json
import os
import stat
from datetime import datetime, timedelta, timezone

import pytest
from google.oauth2.credentials import Credentials
from google_auth_oauthlib.flow import InstalledAppFlow

import kestrelflow.generic_utility as gu
from offline_gmail import failure, offline_service, ok, query

SCOPE = "https://www.googleapis.com/auth/gmail.readonly"
TOKEN_URI = "https://oauth2.googleapis.com/token"


def stored_token(expired):
    expiry = datetime.now(timezone.utc).replace(tzinfo=None) + timedelta(hours=-1 if expired else 1)
    return {"token": "access-1", "refresh_token": "refresh-1", "token_uri": TOKEN_URI,
            "client_id": "client-1.apps.example", "client_secret": "secret-1",
            "scopes": [SCOPE], "expiry": expiry.isoformat() + "Z"}


CLIENT_SECRETS = {"installed": {
    "client_id": "client-1.apps.example", "client_secret": "secret-1",
    "auth_uri": "https://accounts.google.com/o/oauth2/auth", "token_uri": TOKEN_URI,
    "redirect_uris": ["http://localhost"]}}


@pytest.fixture
def consent(monkeypatch):
    """The real consent flow with the browser step replaced: records each run
    and grants fresh credentials."""
    runs = []

    class ConsentGiven(InstalledAppFlow):
        def run_local_server(self, **options):
            runs.append((self.client_config["client_id"], list(self.oauth2session.scope), options))
            return Credentials("access-new", refresh_token="refresh-new", token_uri=TOKEN_URI,
                               client_id="client-1.apps.example", client_secret="secret-1",
                               scopes=[SCOPE])

    monkeypatch.setattr(gu, "InstalledAppFlow", ConsentGiven)
    return runs


@pytest.fixture
def built(monkeypatch):
    """Rebinds the module's build to an offline one; lists each build as
    (arguments, credentials, the mock http)."""
    builds = []

    def offline_build(*args, credentials=None, **rest):
        service, http = offline_service(builds_responses.pop(0), credentials)
        builds.append((args, rest, credentials, http))
        return service

    builds_responses = []
    monkeypatch.setattr(gu, "build", offline_build)
    return builds, builds_responses


def test_stored_token_is_used_even_expired_and_refreshed_on_first_request(workdir, consent, built):
    builds, responses = built
    (workdir / "token.json").write_text(json.dumps(stored_token(expired=True)))
    responses.append([ok({"access_token": "access-2", "expires_in": 3600}),
                      ok({"messages": [{"id": "m1", "threadId": "m1"}]})])

    service = gu.authenticate_gmail()

    assert consent == []
    assert not (workdir / "token.json").read_text().count("access-2")
    (args, rest, credentials, http), = builds
    assert (args, rest) == (("gmail", "v1"), {})
    assert credentials.refresh_token == "refresh-1" and credentials.scopes == [SCOPE]
    assert gu.list_messages(service) == [{"id": "m1", "threadId": "m1"}]
    uris = [request[0] for request in http.request_sequence]
    assert uris[0] == TOKEN_URI
    path, params = query(uris[1])
    assert path == "/gmail/v1/users/me/messages"
    assert params["maxResults"] == ["5"] and params["labelIds"] == ["INBOX"]
    assert http.request_sequence[1][3]["authorization"] == "Bearer access-2"


@pytest.mark.parametrize("umask", [0o022, 0o000, 0o077])
def test_consent_stores_an_owner_only_token_then_reuses_it(workdir, consent, built, umask):
    builds, responses = built
    (workdir / "Creds.json").write_text(json.dumps(CLIENT_SECRETS))
    os.umask(umask)
    responses.extend([[], []])

    gu.authenticate_gmail()

    assert consent == [("client-1.apps.example", [SCOPE], {"port": 0})]
    token = workdir / "token.json"
    assert stat.S_IMODE(token.stat().st_mode) == 0o600
    assert json.loads(token.read_text()) == json.loads(builds[0][2].to_json())
    assert json.loads(token.read_text())["refresh_token"] == "refresh-new"

    (workdir / "Creds.json").unlink()
    gu.authenticate_gmail()
    assert len(consent) == 1
    assert builds[1][2].token == "access-new"


def test_token_path_that_is_a_symlink_is_not_followed(workdir, consent, built, tmp_path_factory):
    built[1].append([])
    elsewhere = tmp_path_factory.mktemp("elsewhere") / "stolen.json"
    (workdir / "Creds.json").write_text(json.dumps(CLIENT_SECRETS))
    os.symlink(elsewhere, workdir / "token.json")

    with pytest.raises(OSError):
        gu.authenticate_gmail()

    assert not elsewhere.exists()
    assert built[0] == []


def test_missing_client_secrets_propagates(workdir, consent):
    with pytest.raises(FileNotFoundError):
        gu.authenticate_gmail()
    assert consent == [] and not (workdir / "token.json").exists()


@pytest.mark.parametrize("max_results, listed", [
    (5, {"messages": [{"id": "b", "threadId": "b"}, {"id": "a", "threadId": "a"}]}),
    (1, {"messages": [{"id": "b", "threadId": "b"}], "nextPageToken": "p2"}),
    (50, {"resultSizeEstimate": 0}),
])
def test_list_messages_one_request_in_api_order(max_results, listed, out):
    service, http = offline_service([ok(listed)])
    assert gu.list_messages(service, max_results) == listed.get("messages", [])
    (uri, method, _, _), = http.request_sequence
    path, params = query(uri)
    assert (method, path) == ("GET", "/gmail/v1/users/me/messages")
    assert params == {"maxResults": [str(max_results)], "labelIds": ["INBOX"], "alt": ["json"]}
    assert out() == []


def test_list_messages_api_error_prints_and_returns_empty(out):
    service, _ = offline_service([failure(500)])
    expected_service, _ = offline_service([failure(500)])
    try:
        expected_service.users().messages().list(userId="me", maxResults=5,
                                                 labelIds=["INBOX"]).execute()
    except Exception as error:
        expected = f"An error occurred: {error}"
    assert gu.list_messages(service) == []
    assert out() == [expected]


def test_list_messages_other_errors_propagate():
    class Broken:
        def users(self):
            raise KeyError("users")
    with pytest.raises(KeyError):
        gu.list_messages(Broken())


# A child process with a file size limit of 100 bytes, so that the token's
# write fails part-way with EFBIG (SIGXFSZ ignored), as on a full disk.  The
# consent may find a token that another run stored meanwhile.
SIZE_LIMITED = r"""
import errno, resource, signal, sys
import kestrelflow.generic_utility as gu
from google.oauth2.credentials import Credentials

meanwhile = sys.argv[1]

class Flow:
    @classmethod
    def from_client_secrets_file(cls, *args):
        return cls()

    def run_local_server(self, **options):
        if meanwhile:
            with open("token.json", "w") as other:
                other.write(meanwhile)
        return Credentials("access-new", refresh_token="refresh-new",
                           token_uri="https://oauth2.googleapis.com/token",
                           client_id="client-1.apps.example", client_secret="secret-1",
                           scopes=gu.SCOPES)

gu.InstalledAppFlow = Flow
gu.build = lambda *args, **kwargs: "service"
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
resource.setrlimit(resource.RLIMIT_FSIZE, (100, hard))
try:
    gu.authenticate_gmail()
except OSError as error:
    print("raised", errno.errorcode[error.errno])
"""


@pytest.mark.parametrize("meanwhile", ["", '{"token": "other run"}'],
                         ids=["no token", "token stored meanwhile"])
def test_a_failing_token_write_leaves_no_truncated_token(workdir, meanwhile):
    import subprocess
    import sys

    from helpers import child_env
    done = subprocess.run([sys.executable, "-c", SIZE_LIMITED, meanwhile], cwd=workdir,
                          capture_output=True, text=True, timeout=1800, env=child_env())
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == ["raised EFBIG"]
    if meanwhile:
        assert os.listdir(workdir) == ["token.json"]
        assert (workdir / "token.json").read_text() == meanwhile
    else:
        assert os.listdir(workdir) == []
