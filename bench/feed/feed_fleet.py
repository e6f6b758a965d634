"""What a fleet of running browsers costs Debian's nginx on this machine, over
TLS 1.3, in the two request patterns of running_browsers.py: every request
on a new connection with a full handshake, and every request of a browser's
life on one kept connection (scripts/bench-feed fleet runs it).

Each measurement starts nginx afresh, starts the browsers over a ramp so that
their phases spread over the five seconds of a pass, lets them settle, and
then reads over a steady window: the CPU time of nginx's processes (user and
system, from /proc) and the passes begun; for the kept connections, the
workers' anonymous resident memory per connection, over the ramp. From the
CPU time per pass follow the server's CPU seconds per 1,000 running
browser-hours and its cores per million running browsers. After the window
nginx is reloaded, which closes every idle kept connection, and the new
connections and their CPU are counted.

Both patterns are measured with the test feed's RSA certificate and with an
ECDSA P-256 one, in rounds that alternate between the four, so a change in
the machine's load meets all alike; each figure is the median of its rounds.
The load generator runs on the same cores as nginx; its own CPU and its
late passes are reported, so a generator that could not keep its schedule
shows."""

import asyncio
import dataclasses
import os
import ssl
import statistics
import subprocess
from pathlib import Path

from counted_tls_connection import kept_connection_bytes, own_connection_bytes
from ecdsa_certificate import make_ecdsa_certificate
from nginx import Nginx, process_cpu_seconds
from nginx_feed import FILES, load_average, published_feed, serve_feed, test_feed_certificate
from running_browsers import PASS_INTERVAL, RunningBrowser, Tally, start

# Browsers per pattern: enough that nginx's CPU stands well above the noise
# of a shared machine, few enough that the server and this generator (one
# core) keep the schedule on a machine shared with other work. A new
# connection per request costs the server some twenty times more per pass.
BROWSERS = {"new connection per request": 600, "one kept connection": 10000}
ROUNDS = 3
# Seconds: the kept connections' first handshakes spread over the ramp.
RAMP = 40
SETTLE = 10
WINDOW = 60
# After the window nginx is reloaded, as an operator does to change its
# configuration or certificate, and watched for three passes.
AFTER_RELOAD = 3 * PASS_INTERVAL
PASSES_PER_HOUR = 3600 / PASS_INTERVAL
# nginx closes a kept connection after keepalive_requests 1000 requests
# (500 passes, 42 minutes) or keepalive_time 1h, whichever comes first.
PASSES_PER_KEPT_CONNECTION = 500


def say(text: str):
    print(text, flush=True)


def client_context() -> ssl.SSLContext:
    """Trusts the test CA, speaks TLS 1.3 only, and never resumes a session:
    Python's sockets resume only a session handed to them."""
    context = ssl.create_default_context(cafile=test_feed_certificate().chain.parent / "ca.pem")
    context.minimum_version = context.maximum_version = ssl.TLSVersion.TLSv1_3
    return context


async def measure(nginx: Nginx, pattern: str) -> dict:
    """One pattern's figures over a steady window. The memory per connection
    is the workers' growth over the second half of the ramp, as the kept
    connections opened then: the first half has grown the heap to what the
    handshakes in flight need, which a fleet pays once per server."""
    browsers = BROWSERS[pattern]
    tally = Tally()
    context = client_context()
    tasks = await start([RunningBrowser(context, pattern == "one kept connection", tally)
                         for _ in range(browsers)], RAMP)
    loop = asyncio.get_running_loop()
    await asyncio.sleep(RAMP / 2)
    half_ramp = (tally.connections, nginx.anonymous_memory_bytes())
    await asyncio.sleep(RAMP / 2 + SETTLE)
    ramped = (tally.connections, nginx.anonymous_memory_bytes())
    before = (dataclasses.replace(tally), nginx.cpu_seconds(), process_cpu_seconds(os.getpid()), loop.time())
    await asyncio.sleep(WINDOW)
    after = (dataclasses.replace(tally), nginx.cpu_seconds(), process_cpu_seconds(os.getpid()), loop.time())
    nginx.reload()
    await asyncio.sleep(AFTER_RELOAD)
    reloaded = (tally.since(after[0]), nginx.cpu_seconds())
    for task in tasks:
        task.cancel()
    await asyncio.gather(*tasks, return_exceptions=True)

    done = after[0].since(before[0])
    seconds = after[3] - before[3]
    server_cpu = after[1] - before[1]
    return {
        "cpu per pass": server_cpu / done.passes,
        "server cores": server_cpu / seconds,
        "generator cores": (after[2] - before[2]) / seconds,
        "schedule kept": done.passes / (browsers * seconds / PASS_INTERVAL),
        "late": done.late_passes,
        "failed": done.failed_passes,
        "connections per pass": done.connections / done.passes,
        "memory per connection": (ramped[1] - half_ramp[1]) / max(ramped[0] - half_ramp[0], 1),
        "connections per browser after a reload": reloaded[0].connections / browsers,
        "failed passes after a reload": reloaded[0].failed_passes,
        "cpu after a reload": reloaded[1] - after[1],
    }


def measure_rounds(scratch: Path, feed: Path, certificates: dict) -> dict:
    results = {(name, pattern): [] for name in certificates for pattern in BROWSERS}
    for round_number in range(1, ROUNDS + 1):
        for name, pattern in results:
            with serve_feed(scratch, feed, certificates[name]) as nginx:
                result = asyncio.run(measure(nginx, pattern))
            results[name, pattern].append(result)
            say(f"round {round_number}, {name}, {pattern}: " +
                ", ".join(f"{key} {value:.6g}" for key, value in result.items()))
    return results


def measure_bytes(scratch: Path, feed: Path, certificates: dict) -> dict:
    """Per certificate: a pass on new connections, and the opening of a kept
    connection and a pass on it; each from the server and from the client."""
    sizes = {}
    for name, certificate in certificates.items():
        with serve_feed(scratch, feed, certificate):
            own = [own_connection_bytes(file, ssl.TLSVersion.TLSv1_3) for file in FILES]
            sizes[name] = tuple(map(sum, zip(*own))), *kept_connection_bytes(ssl.TLSVersion.TLSv1_3)
    return sizes


def report(results: dict, sizes: dict):
    new_connection_request = {}
    for (name, pattern), rounds in results.items():
        def median(key):
            return statistics.median(result[key] for result in rounds)

        cpu = median("cpu per pass")
        each_round = ", ".join(f"{result['cpu per pass'] * 1e6:.1f}" for result in rounds)
        say(f"{name}, {pattern}, {BROWSERS[pattern]} browsers: server CPU {cpu * 1e6:.1f} us per pass "
            f"(rounds: {each_round}), "
            f"{cpu * PASSES_PER_HOUR * 1000:.1f} CPU s per 1,000 browser-hours, "
            f"{cpu / PASS_INTERVAL * 1e6:.1f} cores per million browsers; "
            f"nginx {median('server cores'):.3f} cores, generator {median('generator cores'):.2f} cores, "
            f"schedule kept {median('schedule kept'):.3f}, {median('late'):.0f} late and "
            f"{median('failed'):.0f} failed passes, {median('connections per pass'):.3f} connections per pass")
        if pattern == "new connection per request":
            new_connection_request[name] = cpu / 2
            continue
        reload_cpu = median("cpu after a reload") - median("server cores") * AFTER_RELOAD
        say(f"  after a reload: {median('connections per browser after a reload'):.3f} new connections per "
            f"browser within {AFTER_RELOAD:.0f} s, {median('failed passes after a reload'):.0f} failed passes, "
            f"nginx CPU beyond the steady passes {reload_cpu / BROWSERS[pattern] * 1e6:.0f} us per browser")
        with_reconnection = cpu + new_connection_request[name] / PASSES_PER_KEPT_CONNECTION
        new, opening, kept = sizes[name]
        say(f"  {2 * new_connection_request[name] / cpu:.1f} times less CPU than new connections; "
            f"with a new connection every {PASSES_PER_KEPT_CONNECTION} passes "
            f"{with_reconnection / PASS_INTERVAL * 1e6:.1f} cores per million browsers; "
            f"memory per idle kept connection {median('memory per connection') / 1024:.1f} KiB")
        say(f"  bytes from the server and from the client: a pass on new connections {new[0]}, {new[1]}; "
            f"on a kept connection {kept[0]}, {kept[1]}, and {opening[0]}, {opening[1]} once per connection")


def main():
    load_before = load_average()
    with published_feed() as (scratch, feed):
        certificates = {"RSA-2048": test_feed_certificate(), "ECDSA P-256": make_ecdsa_certificate(scratch)}
        results = measure_rounds(scratch, feed, certificates)
        sizes = measure_bytes(scratch, feed, certificates)
    nginx_version = subprocess.run(["nginx", "-v"], capture_output=True, text=True).stderr.strip()
    say(f"{nginx_version}, TLS 1.3; {os.cpu_count()} cores shared with the load generator and the machine's "
        f"other work (load average before: {load_before}); {ROUNDS} rounds, {WINDOW} s windows; medians:")
    report(results, sizes)


if __name__ == "__main__":
    main()
