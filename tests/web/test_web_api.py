# SPDX-License-Identifier: MIT
"""corvexlink-web's JSON API against the simulator: its answers checked against the OpenAPI
description it serves, its refusals (nothing on the line), its tokens and roles, two clients
at once, and a line lost and opened again."""

import json
import os
import re
import stat
import subprocess
import threading
import time

import jsonschema
import pytest

from conftest import OPENAPI, WEB, Client, Sim, Web, add_token, receive_until, wait_for, ws_connect


def test_token_file_and_listen_address_are_checked_before_serving(tmp_path):
    path = str(tmp_path / "tokens")
    token = add_token(path, "alice", "operator")
    assert re.fullmatch(r"cvxl_[0-9a-f]{64}", token)
    assert stat.S_IMODE(os.stat(path).st_mode) == 0o600
    text = open(path).read()
    assert token not in text and "alice operator " in text  # only a hash is kept
    again = subprocess.run([WEB, "token", "add", "alice", "viewer", "--tokens", path],
                           capture_output=True, text=True, timeout=30)
    assert again.returncode == 1 and "exists already" in again.stderr

    def run(*args):
        return subprocess.run([WEB, "--line", "a=/nonexistent", *args], capture_output=True,
                              text=True, timeout=30)

    os.chmod(path, 0o640)
    loose = run("--tokens", path)
    assert loose.returncode == 1
    assert "refusing to start" in loose.stderr and "mode 0640" in loose.stderr and "chmod 600" in loose.stderr
    os.chmod(path, 0o600)
    remote = run("--tokens", path, "--listen", "0.0.0.0:0")
    assert remote.returncode == 2 and "beyond loopback" in remote.stderr and "--allow-remote" in remote.stderr
    # With the option it listens, and warns; a line that does not open is served as closed.
    web = Web(path, ["a=/nonexistent"], ["--listen", "0.0.0.0:0", "--allow-remote"])
    try:
        assert "warning: listening on 0.0.0.0:0, beyond loopback" in web.output()
        line = Client(web, token).get("/api/v1/lines/a").json()
        assert line["state"] == "closed" and "/nonexistent" in line["reason"]
        moved = Client(web, token).post("/api/v1/lines/a/scan")
        assert moved.status_code == 409 and moved.json()["error"]["number"] == 36
    finally:
        assert web.stop() == 0


def test_sign_in_roles_and_refusals_leave_the_line_alone(shared, tokens):
    sim, web = shared
    nobody, stranger = Client(web, None), Client(web, "cvxl_" + "0" * 64)
    alice, vic = Client(web, tokens["alice"]), Client(web, tokens["vic"])
    before = len(sim.frames())

    answer = nobody.get("/api/v1/lines")
    assert answer.status_code == 401 and answer.headers["WWW-Authenticate"] == "Bearer"
    assert answer.json()["error"]["number"] == 0
    assert vic.post("/api/v1/lines/a/motors/0/move", {"relative": 10}).status_code == 403
    assert vic.post("/api/v1/lines/a/scan").status_code == 403
    refused = {
        "malformed JSON": alice.post("/api/v1/lines/a/motors/0/move", "{relative: 10"),
        "both moves": alice.post("/api/v1/lines/a/motors/0/move", {"relative": 1, "absolute": 1}),
        "a fraction": alice.post("/api/v1/lines/a/motors/0/move", {"relative": 1.5}),
        "a huge number": alice.post("/api/v1/lines/a/motors/0/move", {"absolute": 1e12}),
        "beyond 24 bits": alice.post("/api/v1/lines/a/motors/0/move", {"relative": 8388608}),
        "a text": alice.post("/api/v1/lines/a/motors/0/move", {"relative": "10"}),
        "a misspelt field": alice.post("/api/v1/lines/a/motors/0/move", {"relativ": 10}),
        "slew rate 8501": alice.post("/api/v1/lines/a/motors/0/speed", {"slew": 8501}),
        "acceleration -1": alice.post("/api/v1/lines/a/motors/0/speed", {"acceleration": -1}),
        "no speed": alice.post("/api/v1/lines/a/motors/0/speed", {}),
        "jog sideways": alice.post("/api/v1/lines/a/motors/0/jog", {"direction": "up"}),
        "rate 4800": alice.post("/api/v1/lines/a/rate", {"rate": 4800}),
        "a bad profile": alice.post("/api/v1/lines/a/motors/0/profile", {"csv": "100,0,10\n5,0,10\n"}),
        "a bad step mode": alice.post("/api/v1/lines/a/motors/0/profile", {"csv": "100,0,10", "mode": 7}),
    }
    for what, answer in refused.items():
        assert answer.status_code == 400, (what, answer.text)
        assert answer.json()["error"]["number"] == 0, what
    assert refused["a bad profile"].json()["error"]["message"].startswith("profile:2: first rate")
    unknown = [alice.get("/api/v1/lines/a/motors/7"), alice.post("/api/v1/lines/a/motors/7/move", {"relative": 1}),
               alice.get("/api/v1/lines/a/motors/16"), alice.get("/api/v1/lines/b"),
               alice.get("/api/v1/lines/a/motors/x"), alice.get("/api/v1/nothing")]
    assert [a.status_code for a in unknown] == [404] * 6
    # Nothing of the above reached the line; a viewer's stop does.
    assert vic.post("/api/v1/lines/a/motors/2/stop").status_code == 200
    sim.wait_frame("_2H\\r", after=before)
    assert sim.frames()[before:] == ["_2H\\r"]
    # A token that is not valid is refused, and its address then waits before it may try.
    assert stranger.get("/api/v1/lines").status_code == 401
    throttled = stranger.get("/api/v1/lines")
    assert throttled.status_code == 429 and int(throttled.headers["Retry-After"]) >= 1
    # So is a valid one until the wait is over: guesses are not even looked at meanwhile.
    # A stop with a valid token goes out all the same.
    assert alice.get("/api/v1/lines").status_code == 429
    assert vic.post("/api/v1/lines/a/motors/3/stop").status_code == 200
    time.sleep(int(throttled.headers["Retry-After"]) + 0.1)
    assert alice.get("/api/v1/lines").status_code == 200
    assert wait_for(lambda: "command vic@127.0.0.1 POST /api/v1/lines/a/motors/2/stop" in web.output(), 5)


def schema_of(spec, path, method, status, content="application/json"):
    response = spec["paths"][path][method]["responses"][str(status)]
    return response["content"][content]["schema"]


def test_every_endpoint_answers_as_the_openapi_description_says(shared, tokens):
    sim, web = shared
    alice, vic = Client(web, tokens["alice"]), Client(web, tokens["vic"])
    served = alice.get("/api/v1/openapi.json")
    assert served.status_code == 200
    spec = served.json()
    assert spec == json.load(open(OPENAPI))
    resolver = jsonschema.RefResolver.from_schema(spec)
    covered = set()

    def check(answer, path, method, status, content="application/json"):
        assert answer.status_code == status, (path, method, answer.text)
        covered.add((path, method))
        body = answer.text if content != "application/json" else answer.json()
        jsonschema.Draft202012Validator(schema_of(spec, path, method, status, content),
                                        resolver=resolver).validate(body)
        return body

    L, M = "/api/v1/lines/{line}", "/api/v1/lines/{line}/motors/{address}"
    covered.add(("/api/v1/openapi.json", "get"))
    assert check(alice.get("/api/v1/session"), "/api/v1/session", "get", 200) == {"name": "alice", "role": "operator"}
    lines = check(alice.get("/api/v1/lines"), "/api/v1/lines", "get", 200)
    assert [(l["name"], l["state"], l["stations"]) for l in lines] == [("a", "open", [0, 1, 2, 3])]
    check(vic.get("/api/v1/lines/a"), L, "get", 200)
    check(alice.post("/api/v1/lines/a/motors/1/speed", {"slew": 4000, "first": 100, "acceleration": 50, "jog": 800}),
          M + "/speed", "post", 200)
    check(alice.post("/api/v1/lines/a/motors/1/move", {"relative": 1200}), M + "/move", "post", 200)
    check(alice.post("/api/v1/lines/a/motors/1/move", {"absolute": -300}), M + "/move", "post", 500)  # still running
    wait_for(lambda: not alice.get("/api/v1/lines/a/motors/1").json()["moving"], 20)
    check(alice.post("/api/v1/lines/a/motors/1/move", {"absolute": -300}), M + "/move", "post", 200)
    wait_for(lambda: not alice.get("/api/v1/lines/a/motors/1").json()["moving"], 20)
    motor = check(vic.get("/api/v1/lines/a/motors/1"), M, "get", 200)
    assert motor["position"] == -300 and motor["status"]["RUNING"] is False
    check(alice.post("/api/v1/lines/a/motors/3/jog", {"direction": "ccw", "speed": 500}), M + "/jog", "post", 200)
    check(vic.post("/api/v1/lines/a/motors/3/stop"), M + "/stop", "post", 200)
    check(alice.post("/api/v1/lines/a/motors/2/profile", "first rate,slope,steps\n200,5,100\n300,-5,100\n",
                     headers={"Content-Type": "text/csv"}), M + "/profile", "post", 200)
    progress = wait_for(lambda: (lambda p: p if not p["active"] else None)(
        alice.get("/api/v1/lines/a/motors/2/profile").json()), 20)
    assert progress == {"segments": 2, "queued": 2, "active": False}
    check(alice.get("/api/v1/lines/a/motors/2/profile"), M + "/profile", "get", 200)
    check(alice.get("/api/v1/lines/a/motors/0/profile"), M + "/profile", "get", 404)
    check(vic.post("/api/v1/lines/a/stop"), L + "/stop", "post", 200)
    trace = check(alice.get("/api/v1/lines/a/trace?count=5"), L + "/trace", "get", 200)
    assert len(trace) == 5 and trace[-1]["kind"] == "received"
    check(alice.post("/api/v1/lines/a/rate", {"rate": 19200}), L + "/rate", "post", 200)
    assert alice.get("/api/v1/lines/a").json()["rate"] == 19200
    check(alice.post("/api/v1/lines/a/init"), L + "/init", "post", 200)  # back to 9600 and defaults
    check(alice.post("/api/v1/lines/a/scan"), L + "/scan", "post", 200)
    check(alice.post("/api/v1/lines/a/reconnect"), L + "/reconnect", "post", 200)
    assert alice.get("/api/v1/lines/a/motors/0").status_code == 200
    metrics = check(vic.get("/metrics"), "/metrics", "get", 200, "text/plain")
    assert re.search(r'^corvexlink_web_transactions_total\{line="a"\} [1-9]\d*$', metrics, re.M)
    assert re.search(r'^corvexlink_web_line_up\{line="a"\} 1$', metrics, re.M)
    # Each operation of the description was met (the WebSocket in test_web_socket.py).
    described = {(p, m) for p, item in spec["paths"].items() for m in item if m in ("get", "post")}
    assert described - covered == {("/api/v1/ws", "get")}


def test_two_clients_move_two_motors_at_once(shared, tokens):
    sim, web = shared
    clients = {0: Client(web, tokens["alice"]), 1: Client(web, tokens["bob"])}
    answers = {}

    def move(address):
        answers[address] = clients[address].post(f"/api/v1/lines/a/motors/{address}/move", {"absolute": 700 + address})

    threads = [threading.Thread(target=move, args=(a,)) for a in clients]
    for t in threads:
        t.start()
    for t in threads:
        t.join(30)
    assert {a: r.status_code for a, r in answers.items()} == {0: 200, 1: 200}
    for address, client in clients.items():
        assert wait_for(lambda: client.get(f"/api/v1/lines/a/motors/{address}").json()["position"] == 700 + address, 20)
    assert wait_for(lambda: "command alice@127.0.0.1 POST /api/v1/lines/a/motors/0/move" in web.output()
                    and "command bob@127.0.0.1 POST /api/v1/lines/a/motors/1/move" in web.output(), 5)


def test_a_lost_line_is_refused_until_it_is_opened_again(tmp_path, tokens):
    sim = Sim(tmp_path, stations="0-1")
    web = Web(tokens["path"], [f"a={sim.link}"], ["--reconnect", "0.3"])
    alice = Client(web, tokens["alice"])
    watcher = ws_connect(web.url, tokens["vic"])
    try:
        sim.stop()
        assert not os.path.exists(sim.link)
        # Nobody polls and nothing is sent: the line's state is pushed all the same.
        lost = receive_until(watcher, lambda m: "lineState" in m)[-1]["lineState"]
        assert lost["state"] == "lost" and lost["reason"]
        assert alice.get("/api/v1/lines/a").json()["state"] == "lost"
        failed = alice.post("/api/v1/lines/a/motors/0/move", {"relative": 5})
        assert failed.status_code == 409 and failed.json()["error"]["number"] == 28
        assert alice.post("/api/v1/lines/a/motors/1/stop").status_code == 409
        assert alice.post("/api/v1/lines/a/reconnect").status_code == 409  # nothing to open yet
        # The simulator comes back behind the same link: the service opens it again by itself
        # and first sends the stop that failed while the line was away.
        sim = Sim(tmp_path, stations="0-1", link=sim.link)
        assert wait_for(lambda: alice.get("/api/v1/lines/a").json()["state"] == "open", 10)
        assert alice.get("/api/v1/lines/a").json()["stations"] == [0, 1]
        assert alice.post("/api/v1/lines/a/motors/0/move", {"relative": 5}).status_code == 200
        frames = sim.frames()
        assert "_1H\\r" in frames and frames.index("_1H\\r") < frames.index("_0N5\\r")
        assert len(re.findall(r"line a: .*no such device", web.output())) == 1  # said once
        metrics = alice.get("/metrics").text
        assert re.search(r'^corvexlink_web_lost_total\{line="a"\} 1$', metrics, re.M)
        assert wait_for(lambda: re.search(r"line a \(.*\) lost", web.output()), 5)
    finally:
        watcher.close()
        assert web.stop() == 0
        sim.stop()
