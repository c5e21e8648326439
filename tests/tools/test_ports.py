# SPDX-License-Identifier: MIT
"""The serial-device listing from the shell and from Python: both show the same devices
with the same COM numbers, a ports.conf mapping shows up in both, and the device behind a
port number follows the environment, the file and the ttyS fallback."""

import os

import pytest

import corvexlink
from conftest import corvexctl


@pytest.fixture
def config(tmp_path, monkeypatch):
    """A private XDG config folder and no CORVEXLINK_COM<n> from the caller; returns a
    function that writes ports.conf there."""
    for name in list(os.environ):
        if name.startswith("CORVEXLINK_COM"):
            monkeypatch.delenv(name)
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path))
    (tmp_path / "corvexlink").mkdir()

    def write(text: str) -> None:
        (tmp_path / "corvexlink" / "ports.conf").write_text(text)

    return write


def listed_by_tool():
    run = corvexctl("--json", "ports")
    assert run.code == 0, run.err
    (result,) = run.json()
    assert result["ok"] is True and result["command"] == "ports"
    return result["ports"]


def test_tool_and_package_list_the_same_devices(config):
    from_tool = listed_by_tool()
    from_python = corvexlink.ports()
    assert [p["device"] for p in from_tool] == [p.device for p in from_python]
    for shell, py in zip(from_tool, from_python):
        assert shell["port"] == py.port
        assert shell["driver"] == py.driver
        assert shell["stable_name"] == py.stable_name
        assert shell["usb"] == py.usb
        if py.usb:
            assert int(shell["vendor_id"], 16) == py.vendor_id
            assert int(shell["product_id"], 16) == py.product_id
            assert shell["serial_number"] == py.serial_number
        assert py.device.startswith("/dev/") and os.path.exists(py.device)

    text = corvexctl("ports")
    assert text.code == 0
    if not from_python:
        assert text.out.strip() == "no serial devices found"
    for p in from_python:
        assert p.device in text.out


def test_a_ports_conf_mapping_names_the_device_in_both(config):
    found = corvexlink.ports()
    if not found:
        pytest.skip("this machine has no serial device to map")
    target = found[-1]
    config(f"# the bench\nCOM1 = {target.stable_name or target.device}\n")
    assert corvexlink.port_device(1) == (target.stable_name or target.device)
    assert [p.port for p in corvexlink.ports() if p.device == target.device] == [1]
    assert [p["port"] for p in listed_by_tool() if p["device"] == target.device] == [1]
    assert "COM1" in corvexctl("ports").out


def test_the_device_behind_a_port_number(config, monkeypatch):
    config("COM9 = /dev/serial/by-id/usb-Acme-if00-port0\nCOM 8 = /dev/ttyUSB8\n")
    assert corvexlink.port_device(9) == "/dev/serial/by-id/usb-Acme-if00-port0"
    monkeypatch.setenv("CORVEXLINK_COM9", "/dev/ttyUSB3")
    assert corvexlink.port_device(9) == "/dev/ttyUSB3"
    if not os.path.exists("/etc/corvexlink/ports.conf"):
        assert corvexlink.port_device(8) == "/dev/ttyS7"  # the malformed line is skipped
    with pytest.raises(corvexlink.ArgumentError):
        corvexlink.port_device(0)
