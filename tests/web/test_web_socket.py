# SPDX-License-Identifier: MIT
"""corvexlink-web's WebSocket against the simulator: pushed state that follows a move, the
polling held to its share of the line's time and stopped when nobody subscribes, the
hold-to-run jog (a closed socket, a lapsed keep-alive, a release), and the upgrade's checks."""

import json
import re
import time

import jsonschema
import pytest
import websocket

from conftest import OPENAPI, Client, Sim, Web, receive_until, wait_for, ws_connect

POLL = re.compile(r"_[0-9A-F][=P{]\\r")


def validator(name):
    spec = json.load(open(OPENAPI))
    return jsonschema.Draft202012Validator({"$ref": f"#/components/schemas/{name}"},
                                           resolver=jsonschema.RefResolver.from_schema(spec))


def test_a_subscription_follows_a_move_to_its_end(shared, tokens):
    sim, web = shared
    ws = ws_connect(web.url, tokens["vic"], browser=True)  # a viewer may subscribe
    try:
        ws.send(json.dumps({"subscribe": [{"line": "a", "address": 0}, {"line": "a", "address": 1}]}))
        assert receive_until(ws, lambda m: "subscribed" in m)[-1]["subscribed"] == [
            {"line": "a", "address": 0}, {"line": "a", "address": 1}]
        first = {}
        receive_until(ws, lambda m: first.update({m.get("address"): m}) or {0, 1} <= first.keys())
        start = first[0]["position"]
        assert Client(web, tokens["alice"]).post("/api/v1/lines/a/motors/0/move",
                                                 {"relative": 1500}).status_code == 200
        pushed = receive_until(ws, lambda m: m.get("address") == 0 and m["position"] == start + 1500
                               and not m["moving"], timeout=20)
        motor0 = [m for m in pushed if m.get("address") == 0]
        push = validator("MotorPush")
        for m in motor0:
            push.validate(m)
        positions = [m["position"] for m in motor0]
        assert positions == sorted(positions) and len(set(positions)) >= 3, positions
        assert any(m["moving"] for m in motor0)
        # A reading that does not change is not pushed again.
        assert not [m for m in pushed if m.get("address") == 1]
    finally:
        ws.close()


def test_polling_takes_its_share_of_the_line_and_stops_without_subscribers(tmp_path, tokens):
    sim = Sim(tmp_path)  # wire time at 9600 baud: a reading takes about 10 ms
    web = Web(tokens["path"], [f"a={sim.link}"], ["--poll-budget", "0.25"])
    alice = Client(web, tokens["alice"])
    ws = ws_connect(web.url, tokens["alice"])
    try:
        ws.send(json.dumps({"subscribe": [{"line": "a", "address": a} for a in range(4)]}))
        receive_until(ws, lambda m: m.get("address") == 3)
        metrics = lambda: {k: float(v) for k, v in re.findall(
            r'^corvexlink_web_poll_(transactions|seconds)_total\{line="a"\} (\S+)$', alice.get("/metrics").text, re.M)}
        first, t0 = metrics(), sim.timed_frames()[-1][0]
        time.sleep(3)
        last, timed = metrics(), sim.timed_frames()
        polls = [t for t, f in timed if t > t0 and POLL.fullmatch(f)]
        per_second = (len(polls) - 1) / (polls[-1] - polls[0])
        transaction = (last["seconds"] - first["seconds"]) / (last["transactions"] - first["transactions"])
        share = per_second * transaction
        assert 0.15 < share < 0.29, (per_second, transaction)
        assert {f[1] for t, f in timed if t > t0 and POLL.fullmatch(f)} == set("0123")
        # Nobody subscribed: the line falls silent.
        ws.send(json.dumps({"subscribe": []}))
        receive_until(ws, lambda m: m.get("subscribed") == [])
        time.sleep(0.2)
        quiet = len(sim.frames())
        time.sleep(1.0)
        assert sim.frames()[quiet:] == []
    finally:
        ws.close()
        assert web.stop() == 0
        sim.stop()


def jogging(sim, address, before):
    """Waits for the jog's start frame on the line."""
    assert sim.wait_frame(f"_{address}J\\r", after=before) is not None, sim.frames()[before:]


def test_a_jog_runs_only_while_its_client_keeps_it_alive(shared, tokens):
    sim, web = shared
    url = web.url
    # The socket closes mid-jog: the stop follows at once.
    ws = ws_connect(url, tokens["alice"], browser=True)
    before = len(sim.frames())
    ws.send(json.dumps({"jog": {"line": "a", "address": 2, "direction": "cw", "speed": 400}}))
    jogging(sim, 2, before)
    for _ in range(3):  # kept alive beyond the 0.5 s
        time.sleep(0.25)
        ws.send(json.dumps({"keepalive": True}))
    assert "_2H\\r" not in sim.frames()[before:]
    ws.send(json.dumps({"keepalive": True}))
    closed = time.monotonic()
    ws.close()
    assert sim.wait_frame("_2H\\r", after=before, timeout=5) is not None
    # Well before the keep-alive just sent would lapse.
    assert time.monotonic() - closed < 0.4

    # The keep-alive lapses with the socket open: the stop follows 0.5 s after the last one.
    ws = ws_connect(url, tokens["alice"])
    try:
        before = len(sim.frames())
        ws.send(json.dumps({"jog": {"line": "a", "address": 3, "direction": "ccw"}}))
        jogging(sim, 3, before)
        time.sleep(0.3)
        ws.send(json.dumps({"jog": {"line": "a", "address": 3, "direction": "ccw"}}))  # the same again renews it
        last = time.monotonic()
        assert sim.wait_frame("_3H\\r", after=before, timeout=5) is not None
        lapse = time.monotonic() - last
        assert 0.45 < lapse < 1.0, lapse
        assert sim.frames()[before:].count("_3J\\r") == 1
        assert wait_for(lambda: "motor 3 on line a stopped: the jog's keep-alive lapsed" in web.output(), 5)

        # Released: stopped at once. Another client's jog of a jogged motor is refused, a
        # viewer's jog too; a viewer's stop is not.
        before = len(sim.frames())
        ws.send(json.dumps({"jog": {"line": "a", "address": 1, "direction": "cw"}}))
        jogging(sim, 1, before)
        other = ws_connect(url, tokens["bob"])
        viewer = ws_connect(url, tokens["vic"])
        try:
            other.send(json.dumps({"jog": {"line": "a", "address": 1, "direction": "cw"}}))
            refused = receive_until(other, lambda m: "error" in m)[-1]
            assert refused["status"] == 409 and "jogged by another client" in refused["error"]["message"]
            viewer.send(json.dumps({"jog": {"line": "a", "address": 0, "direction": "cw"}}))
            assert receive_until(viewer, lambda m: "error" in m)[-1]["status"] == 403
            released = time.monotonic()
            ws.send(json.dumps({"release": {"line": "a", "address": 1}}))
            assert sim.wait_frame("_1H\\r", after=before, timeout=5) is not None
            assert time.monotonic() - released < 0.3
            viewer.send(json.dumps({"stop": {"line": "a"}}))
            assert receive_until(viewer, lambda m: "stopped" in m)[-1]["stopped"] == {
                "line": "a", "addresses": [0, 1, 2, 3]}
        finally:
            other.close()
            viewer.close()
    finally:
        ws.close()


def test_upgrades_need_a_token_and_the_services_origin(shared, tokens):
    sim, web = shared
    with pytest.raises(websocket.WebSocketBadStatusException) as nobody:
        ws_connect(web.url, None)
    assert nobody.value.status_code == 401
    with pytest.raises(websocket.WebSocketBadStatusException) as stranger:
        ws_connect(web.url, tokens["alice"], origin="http://elsewhere.example")
    assert stranger.value.status_code == 403
    ws = ws_connect(web.url, tokens["alice"], origin=web.url)  # the page's own origin
    try:
        ws.send("{not json")
        assert "Malformed JSON" in receive_until(ws, lambda m: "error" in m)[-1]["error"]["message"]
        ws.send(json.dumps({"subscribe": [{"line": "a", "address": 9}]}))
        assert receive_until(ws, lambda m: "error" in m)[-1]["status"] == 404
    finally:
        ws.close()
