# SPDX-License-Identifier: MIT
"""corvexlink-web behind Debian's nginx with the shipped site configuration and a certificate
made by openssl in the test: the page, the API and the WebSocket over TLS, the WebSocket's
origin check through the proxy, and plain HTTP sent to HTTPS."""

import json
import os
import re
import shutil
import signal
import socket
import ssl
import subprocess

import pytest
import requests
import websocket

from conftest import SOURCE, Sim, Web, free_port, receive_until, wait_for

from corvexlink.testing import ChildWatch

NGINX = shutil.which("nginx") or "/usr/sbin/nginx"
SITE = os.path.join(SOURCE, "packaging", "nginx", "corvexlink-web.conf")


def substitute(text: str, pattern: str, replacement: str, count: int) -> str:
    """re.subn that insists on `count` replacements, so a changed site file fails here."""
    text, made = re.subn(pattern, replacement, text, flags=re.M)
    assert made == count, f"{pattern!r}: {made} replacements instead of {count}"
    return text


@pytest.fixture
def proxied(tmp_path, tokens):
    if not os.path.exists(NGINX):
        pytest.skip("nginx is not installed")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost",
                    "-keyout", str(tmp_path / "k.pem"), "-out", str(tmp_path / "c.pem")],
                   check=True, capture_output=True, timeout=60)
    sim = Sim(tmp_path)
    web = Web(tokens["path"], [f"a={sim.link}"], ["--trust-proxy"])
    https, http = free_port(), free_port()
    site = open(SITE).read()
    site = substitute(site, r"^\s*listen \[::\]:\d+.*\n", "", 2)  # loopback only in the test
    site = substitute(site, r"listen 443 ssl;", f"listen 127.0.0.1:{https} ssl;", 1)
    site = substitute(site, r"listen 80;", f"listen 127.0.0.1:{http};", 1)
    site = substitute(site, r"ssl_certificate\s+\S+;", f"ssl_certificate {tmp_path / 'c.pem'};", 1)
    site = substitute(site, r"ssl_certificate_key\s+\S+;", f"ssl_certificate_key {tmp_path / 'k.pem'};", 1)
    site = substitute(site, r"proxy_pass http://127\.0\.0\.1:8080;", f"proxy_pass http://127.0.0.1:{web.port};", 1)
    (tmp_path / "site.conf").write_text(site)
    (tmp_path / "nginx.conf").write_text(f"""
daemon off;
worker_processes 1;
pid {tmp_path}/nginx.pid;
error_log {tmp_path}/error.log;
events {{ worker_connections 64; }}
http {{
    access_log {tmp_path}/access.log;
    client_body_temp_path {tmp_path}/body;
    proxy_temp_path {tmp_path}/proxy;
    fastcgi_temp_path {tmp_path}/fastcgi;
    uwsgi_temp_path {tmp_path}/uwsgi;
    scgi_temp_path {tmp_path}/scgi;
    include /etc/nginx/mime.types;
    include {tmp_path}/site.conf;
}}
""")
    nginx = subprocess.Popen([NGINX, "-c", str(tmp_path / "nginx.conf"), "-p", str(tmp_path)],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    watch = ChildWatch(nginx.pid)

    def listening():
        with socket.socket() as s:
            return s.connect_ex(("127.0.0.1", https)) == 0
    try:
        assert wait_for(listening, 15), "nginx did not listen"
        yield {"url": f"https://localhost:{https}", "http": f"http://localhost:{http}",
               "ca": str(tmp_path / "c.pem"), "web": web, "sim": sim}
    finally:
        nginx.send_signal(signal.SIGQUIT)
        try:
            nginx.wait(timeout=15)
        except subprocess.TimeoutExpired:
            nginx.kill()
            nginx.wait()
        watch.release()
        assert web.stop() == 0
        sim.stop()


def test_the_page_api_and_websocket_through_nginx_over_tls(proxied, tokens):
    url, ca = proxied["url"], proxied["ca"]
    page = requests.get(url + "/", verify=ca, timeout=30)
    assert page.status_code == 200 and "STOP ALL" in page.text
    assert requests.get(url + "/chart.min.js", verify=ca, timeout=30).status_code == 200
    lines = requests.get(url + "/api/v1/lines", headers={"Authorization": f"Bearer {tokens['vic']}"},
                         verify=ca, timeout=30)
    assert lines.status_code == 200 and lines.json()[0]["stations"] == [0, 1, 2, 3]
    assert requests.get(url + "/api/v1/lines", verify=ca, timeout=30).status_code == 401
    # Plain HTTP is sent to HTTPS.
    moved = requests.get(proxied["http"] + "/", allow_redirects=False, timeout=30)
    assert moved.status_code == 301 and moved.headers["Location"].startswith("https://localhost")

    # The WebSocket as the page opens it: same origin, the token as a subprotocol.
    options = {"sslopt": {"ca_certs": ca}, "timeout": 10}
    ws = websocket.create_connection(url.replace("https", "wss") + "/api/v1/ws", origin=url,
                                     subprotocols=["corvexlink.v1", f"bearer.{tokens['alice']}"], **options)
    try:
        assert "hello" in json.loads(ws.recv())
        ws.send(json.dumps({"subscribe": [{"line": "a", "address": 0}]}))
        state = receive_until(ws, lambda m: m.get("address") == 0)[-1]
        assert state["line"] == "a" and "position" in state
        before = len(proxied["sim"].frames())
        ws.send(json.dumps({"stop": {"line": "a", "address": 1}}))
        assert receive_until(ws, lambda m: "stopped" in m)[-1]["stopped"]["addresses"] == [1]
        assert proxied["sim"].wait_frame("_1H\\r", after=before) is not None
    finally:
        ws.close()
    with pytest.raises(websocket.WebSocketBadStatusException) as refused:
        websocket.create_connection(url.replace("https", "wss") + "/api/v1/ws", origin="https://elsewhere.example",
                                    subprotocols=["corvexlink.v1", f"bearer.{tokens['alice']}"], **options)
    assert refused.value.status_code == 403
    assert wait_for(lambda: "WebSocket from 127.0.0.1 refused: The origin https://elsewhere.example"
                    in proxied["web"].output(), 5)
