# SPDX-License-Identifier: MIT
"""corvexlink.aio against kx4417-sim: concurrent waits, time-outs and cancellation that
leave the motor alone, the station's errors, and an event loop that keeps running while
the worker thread is on the line."""

import asyncio
import threading

import pytest

import corvexlink
import corvexlink.aio
from corvexlink import Status


def _workers(device: str):
    return [t for t in threading.enumerate() if t.name.startswith(f"corvexlink-{device}_")]


def test_concurrent_waits_on_several_motors_in_units_and_steps(simulator):
    async def session():
        async with corvexlink.aio.open(simulator.device) as link:
            assert await link.init() == [0, 1, 2, 3]
            motors = [link.motor(0, steps_per_unit=40, unit="mm"), link.motor(1), link.motor(2)]
            for motor in motors:
                await motor.set_speed(slew=100 if motor.scale.scaled else 4000, first=200 if not motor.scale.scaled else 5)
            await asyncio.gather(motors[0].move_by(25), motors[1].move_by(3000), motors[2].move_to(-1500))
            statuses = await asyncio.gather(*(m.wait_until_stopped(timeout=30) for m in motors))
            assert all(Status.RUNING not in s and Status.READY in s for s in statuses)
            positions = await asyncio.gather(*(m.position for m in motors))
            await motors[1].set_position(5)
            assert await motors[1].position == 5
            assert len(_workers(simulator.device)) == 1  # every call on the one worker
            return positions, await link.last_command

    positions, last = asyncio.run(session())
    assert positions == [25.0, 3000, -1500] and last == "_1P\r"
    assert _workers(simulator.device) == []  # the worker ended with the close


def test_a_time_out_and_a_cancelled_wait_leave_the_motor_running(simulator):
    async def session():
        async with corvexlink.aio.open(simulator.device) as link:
            motor = link.motor(0)
            await motor.jog("cw")
            with pytest.raises(corvexlink.TimeoutError) as caught:
                await motor.wait_until_stopped(timeout=0.3)
            assert isinstance(caught.value, TimeoutError)
            waiting = asyncio.ensure_future(motor.wait_until_stopped(timeout=30))
            await asyncio.sleep(0.3)
            waiting.cancel()
            with pytest.raises(asyncio.CancelledError):
                await waiting
            with pytest.raises(asyncio.TimeoutError):
                await asyncio.wait_for(motor.wait_until_stopped(timeout=30), 0.3)
            still = await motor.running
            # A scan cancelled while the worker runs it: the link stays usable.
            scanning = asyncio.ensure_future(link.scan())
            await asyncio.sleep(0.5)
            scanning.cancel()
            with pytest.raises(asyncio.CancelledError):
                await scanning
            answered = await link.check(1)
            await motor.stop()
            return still, answered, await motor.running

    still, answered, after_stop = asyncio.run(session())
    assert still is True and answered is True and after_stop is False
    frames = simulator.frames(until="_0H\r")
    # Nothing but the stop, sent after the check, stopped it.
    assert frames.count("_0H\r") == 1 and frames[frames.index("_0H\r") - 1] == "_1\r"


def test_the_stations_errors_reach_the_awaiting_task(simulator):
    async def session():
        async with corvexlink.aio.open(simulator.device) as link:
            motor = link.motor(2)
            await motor.move_by(5000)
            with pytest.raises(corvexlink.MotorRunningError) as running:
                await motor.move_by(10)
            with pytest.raises(corvexlink.StationError) as syntax:
                await link.raw("_2Q")
            with pytest.raises(corvexlink.TimeoutError) as silent:
                await link.motor(9).position
            with pytest.raises(corvexlink.ArgumentError):
                await motor.set_speed(slew=9000)
            await motor.stop()
            return running.value, syntax.value, silent.value

    running, syntax, silent = asyncio.run(session())
    assert running.number == 6 and "Motor is Running" in running.message
    assert syntax.number == 2 and syntax.message.startswith("Syntax Error: Command Not Found (command = _2Q")
    assert silent.number == 26


def test_the_event_loop_keeps_running_during_a_scan(simulator):
    async def session():
        ticks = 0

        async def ticker():
            nonlocal ticks
            while True:
                await asyncio.sleep(0.01)
                ticks += 1

        async with corvexlink.aio.open(simulator.device) as link:
            ticking = asyncio.ensure_future(ticker())
            await asyncio.sleep(0)
            before = ticks
            found = await link.scan()  # twelve silent addresses: seconds on the worker
            during = ticks - before
            ticking.cancel()
            return found, during

    found, during = asyncio.run(session())
    assert found == [0, 1, 2, 3]
    assert during >= 20, f"the loop ticked only {during} times during the scan"


def test_a_fifo_profile_and_a_board_through_the_worker(simulator):
    async def session():
        async with corvexlink.aio.open(simulator.device) as link:
            motor = link.motor(3)
            await motor.fifo_reset()
            await motor.configure_mode(33, fifo=True)
            await motor.queue_profile([(2000, 0, 40)] * 20)  # 180 bytes through a 128-byte FIFO
            await motor.wait_until_stopped(timeout=60)
            board = link.board(0)
            await board.spi_configure(128)
            await board.spi_write(0x1234)
            return await motor.position, await motor.fifo_index, await board.spi_read(), len(await board.adc_all())

    assert asyncio.run(session()) == (800, 60, 0x1234, 11)


def test_open_close_and_a_closed_link(simulator):
    async def session():
        link = await corvexlink.aio.open(simulator.device)
        assert link.is_open and repr(link) == f"aio.Link({simulator.device!r}, baud=9600, open)"
        motor = link.motor(0)
        await link.close()
        await link.close()  # nothing to close
        for closed in (lambda: motor.position, motor.stop, link.scan, lambda: link.check(0)):
            with pytest.raises(corvexlink.PortNotOpenError) as caught:
                await closed()
            assert caught.value.number == 25
        with pytest.raises(corvexlink.PortError) as caught:
            await corvexlink.aio.open(port=7, device="/nonexistent/tty")
        assert caught.value.number == 36
        async with corvexlink.aio.Link(simulator.device) as again:
            motors = await again.motors()
            await again.jog([1, 3])
            return motors, await again.stop_all(), await again.motor(3).running

    motors, stopped, running = asyncio.run(session())
    assert [m.address for m in motors] == [0, 1, 2, 3]
    assert stopped == [0, 1, 2, 3] and running is False  # the stations of the last scan
    assert corvexlink.aio.Link.fixed_speed(600) == 599


def test_a_stop_goes_out_during_a_scan_on_the_worker(simulator):
    async def session():
        loop = asyncio.get_running_loop()
        async with corvexlink.aio.open(simulator.device) as link:
            motor = link.motor(2)
            await motor.jog("ccw")
            scanning = asyncio.ensure_future(link.scan())
            await loop.run_in_executor(None, simulator.frames, "_4\r")  # at the silent addresses
            await motor.stop()
            scan_still_running = not scanning.done()
            return scan_still_running, await scanning, await motor.running

    still, found, running = asyncio.run(session())
    assert still and found == [0, 1, 2, 3] and running is False
    frames = simulator.frames(until="_F\r")
    assert frames.index("_4\r") < frames.index("_2H\r") < frames.index("_F\r")
