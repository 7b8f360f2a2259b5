"""Request helpers for the end-to-end tests of the shipped pages (demo site, SQL and mail pages).

Each request opens its own connection to the server, as browsers do with qorsv (one request per
connection), and returns the response head as text and the body as bytes.
"""

import re
import urllib.parse

HEADER_END = b"\r\n\r\n"


def split(response):
    head, _, body = response.partition(HEADER_END)
    return head.decode("latin-1") + "\r\n", body


def crlf_page(*lines):
    """A page as the page processor reads it: every line ends in CR LF."""
    return "".join(line + "\r\n" for line in lines)


def get(server, document, extra_headers=""):
    return split(server.exchange(
        f"GET {document} HTTP/1.1\r\nHost: www.test\r\n{extra_headers}\r\n"))


def post_form(server, document, fields):
    body = urllib.parse.urlencode(fields)
    return split(server.exchange(
        f"POST {document} HTTP/1.1\r\nHost: www.test\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\n"
        f"Content-Length: {len(body)}\r\n\r\n{body}"))


def status_of(head):
    return int(head.split(" ", 2)[1])


def cookie_values(head, name):
    """The values of every Set-Cookie header for `name`, in order."""
    return re.findall(r"^Set-Cookie: " + re.escape(name) + r"=([^;\r]*)", head, re.M)
