#!/usr/bin/env python3
"""Turns the bench's samples into bench.md (a table) and bench.png (a plot)."""
import math
import re
import statistics
import sys
from collections import defaultdict
from pathlib import Path


def read_pairs(path):
    values = defaultdict(list)
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        key, _, value = line.partition(" ")
        if key:
            values[key].append(value.strip())
    return values


def percentile(samples, p):
    """Nearest rank: the smallest sample with at least p percent at or below it."""
    ordered = sorted(samples)
    rank = max(1, math.ceil(p / 100 * len(ordered)))
    return ordered[rank - 1]


def read_samples(path):
    return {k: [float(v) for v in vs] for k, vs in read_pairs(path).items()}


def main(out):
    builds = {"win64": read_samples(out / "samples.txt")}
    not_run = out / "win32-not-run.txt"
    if (out / "samples32.txt").exists():
        builds["win32"] = read_samples(out / "samples32.txt")
    machine = {k: v[0] for k, v in read_pairs(out / "machine.txt").items()}
    exe = {k: v[0] for k, v in read_pairs(out / "exe.txt").items()}
    tables = {arch: measure(s, exe, arch) for arch, s in builds.items()}
    missing = not_run.read_text(encoding="utf-8").strip() if not_run.exists() else "not measured"

    # One row per figure; a figure's label is the 64-bit one, matched without its counts.
    def key(label):
        return re.sub(r"[0-9.]+", "#", label)

    by_key = {arch: {key(r[0]): r for r in rows} for arch, rows in tables.items()}
    if "win32" not in tables:
        by_key["win32"] = {key(r[0]): r for r in build_rows(exe, "win32")}
    lines = ["# Benchmarks of Kelvane Pendro! under Wine", "",
             "Machine: " + ", ".join(f"{k} {v}" for k, v in machine.items()), "",
             "Each build runs in a fresh Wine prefix on the simulated remote-access service: the 64-bit build "
             "under 64-bit Wine, the shipped 32-bit build under 32-bit Wine in the 32-bit bed. Ratios and "
             "differences are taken within one build's run.", "",
             "| Figure | 64-bit build | 32-bit build (shipped) | Goal |", "|---|---|---|---|"]
    for what, value, goal, verdict in tables["win64"]:
        r32 = by_key.get("win32", {}).get(key(what))
        v32 = (r32[1] + (f" ({r32[3]})" if r32[3] else "")) if r32 else ("" if "win32" in builds else missing)
        goal = goal or (r32[2] if r32 else "")
        lines.append(f"| {what} | {value}{f' ({verdict})' if verdict else ''} | {v32} | {goal} |")
    (out / "bench.md").write_text("\n".join(lines) + "\n", encoding="utf-8")
    print("\n".join(lines))
    plot(out, builds, missing)


def measure(s, exe, arch):
    def med(key):
        return statistics.median(s[key]) if s.get(key) else float("nan")

    def one(key):
        return s[key][0] if s.get(key) else float("nan")

    rows = []

    def row(what, value, goal, met):
        verdict = "" if met is None else ("met" if met else "missed")
        rows.append((what, value, goal, verdict))

    start_p, start_b, start_i = med("startup_pendro_ms"), med("startup_baseline_ms"), med("startup_baseline_imports_ms")
    ratio = start_p / start_b
    row(f"Start-up to visible and idle, median of {len(s.get('startup_pendro_ms', []))} runs",
        f"{start_p:.1f} ms, baseline dialog {start_b:.1f} ms: {ratio:.2f} x", "at most 1.5 x", ratio <= 1.5)
    row("  the baseline dialog linked with the program's system libraries",
        f"{start_i:.1f} ms: the program takes {start_p / start_i:.2f} x that", "", None)
    row("Close while idle (WM_CLOSE to process end), median", f"{med('close_pendro_ms'):.1f} ms "
        f"(baseline {med('close_baseline_ms'):.1f} ms)", "", None)

    detect = s.get("detect_ms", [])
    if detect:
        p99 = percentile(detect, 99)
        row(f"Connected state to program exit, {len(detect)} runs", f"median {statistics.median(detect):.1f} ms, "
            f"99th percentile {p99:.1f} ms, max {max(detect):.1f} ms", "99th percentile at most 100 ms", p99 <= 100)

    latency = one("hangup_latency_ms")
    n = one("attempts_counted")
    total = one("attempts_total_ms")
    service = sum(s.get("attempt_service_ms", []))
    tick = sum(s.get("attempt_tick_wait_ms", []))
    hangup = sum(s.get("attempt_hangup_ms", []))
    if n == n and n > 0:
        calls, call_ms, call_cpu = one("attempt_service_calls"), one("service_call_ms"), one("service_call_cpu_ms")
        row(f"{int(n)} attempts failing at once: wall time per attempt", f"{total / n:.1f} ms", "", None)
        row("  the service's own delays: dial to failure, and the hang-up latency",
            f"{service / n:.1f} ms and {latency:.0f} ms", "", None)
        row("  waiting for the next tick of the 100-ms timer (failure to hang-up)", f"{tick / n:.1f} ms", "", None)
        rest = hangup / n - latency
        row("  the rest: noticing the hang-up, writing the credentials back, the next dial", f"{rest:.1f} ms", "",
            None)
        row(f"  of which {calls:.1f} calls of the simulated service at {call_ms:.2f} ms each (it reads and writes "
            "its state file under a lock on every call)", f"{calls * call_ms:.1f} ms", "", None)
        own = rest - calls * call_ms
        row("  left for the program's own work per attempt", f"{own:.1f} ms", "under 5 ms", own < 5)
        cpu, cpu0 = one("attempt_cpu_ms"), one("attempt_cpu_no_hangup_wait_ms")
        own_cpu = cpu0 - calls * call_cpu
        row("CPU time per attempt without a hang-up wait (latency 0)",
            f"{cpu0:.2f} ms, of which the simulated service {calls * call_cpu:.2f} ms, the program {own_cpu:.2f} ms",
            "under 5 ms", own_cpu < 5)
        log_ms, prefix_ms = one("settext_log_ms"), one("settext_prefix_ms")
        if log_ms == log_ms:
            row("  what most of it is spent on: Wine's multi-line edit, whose text is replaced 3 times per attempt "
                "(the attempt's header, the notification, the error); wall time per replacement",
                f"{log_ms:.2f} ms a time, against {prefix_ms:.2f} ms for the "
                f"one-line prefix edit: {3 * (log_ms - prefix_ms):.1f} ms per attempt", "", None)
        row(f"CPU time per attempt with the hang-up wait (latency {latency:.0f} ms)",
            f"{cpu:.2f} ms: the wait's polling adds {cpu - cpu0:.2f} ms", "reported apart", None)

    idle, dialing = one("cpu_idle_ms"), one("cpu_dialing_ms")
    row("CPU time during 10 s idle", f"{idle:.1f} ms", "no measurable use", idle < 20)
    row("CPU time during 10 s of dialing (one attempt in progress)", f"{dialing:.1f} ms", "", None)

    for when, label in (("start", "after start"), ("after_100_attempts", "after a 100-attempt run"),
                        ("after_10_more_runs", "after 10 more runs")):
        row(f"Memory {label}", f"private {one('mem_private_kib_' + when):.0f} KiB, working set "
            f"{one('mem_working_set_kib_' + when):.0f} KiB", "", None)
    growth = one("mem_private_kib_after_10_more_runs") - one("mem_private_kib_after_100_attempts")
    row("Private bytes growth over the 10 further runs", f"{growth:.0f} KiB", "no growth", growth <= 64)

    return rows + build_rows(exe, arch)


def build_rows(exe, arch):
    """What the build itself tells, measured or not."""
    size = int(exe.get('size_' + arch, 0))
    shipped = arch == "win32"
    return [("Executable size, stripped, every resource in it", f"{size:,} bytes",
             "at most 150 KB" if shipped else "", ("met" if size <= 150 * 1024 else "missed") if shipped else ""),
            ("Baseline dialog program built the same way", f"{int(exe.get('baseline_size_' + arch, 0)):,} bytes",
             "", ""),
            ("Imported DLLs", exe.get("imports_" + arch, "").strip().replace(" ", ", "), "", "")]


def plot(out, builds, missing):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    names = {"win64": "64-bit", "win32": "32-bit (shipped)"}
    archs = ["win64", "win32"]
    fig, ax = plt.subplots(2, 2, figsize=(12, 8.5))
    if "win32" not in builds:
        fig.suptitle(f"32-bit build: {missing}", fontsize=10)

    a = ax[0][0]
    series, labels = [], []
    for arch in archs:
        for key, what in (("startup_pendro_ms", "Pendro.exe"), ("startup_baseline_ms", "baseline"),
                          ("startup_baseline_imports_ms", "baseline with\nthe same imports")):
            series.append(builds.get(arch, {}).get(key) or [float("nan")])
            labels.append(f"{what}\n{names[arch]}")
    a.boxplot(series)
    a.set_xticks(range(1, len(labels) + 1), labels, fontsize=7)
    a.set_ylabel("ms")
    a.set_title("Start-up to visible and idle")

    a = ax[0][1]
    for arch in archs:
        detect = sorted(builds.get(arch, {}).get("detect_ms", []))
        if detect:
            a.step(detect, [(i + 1) / len(detect) for i in range(len(detect))], where="post", label=names[arch])
    a.axvline(100, color="red", linestyle="--", label="goal for the 99th percentile")
    a.set_xlabel("ms from the connected state to the program's exit")
    a.set_ylabel("share of runs")
    a.set_title("Connection detection")
    a.legend(loc="lower right")

    a = ax[1][0]
    parts = [("service: dial to failure", "attempt_service_ms"), ("waiting for the tick", "attempt_tick_wait_ms"),
             ("hang-up and next dial", "attempt_hangup_ms")]
    colors = ["tab:blue", "tab:orange", "tab:green"]
    for x, arch in enumerate(archs):
        s = builds.get(arch, {})
        bottom = 0.0
        for (label, key), color in zip(parts, colors):
            v = statistics.median(s[key]) if s.get(key) else 0.0
            a.bar([x], [v], 0.5, bottom=bottom, color=color, label=label if x == 0 else None)
            if key == "attempt_hangup_ms" and s.get("hangup_latency_ms"):
                a.hlines(bottom + s["hangup_latency_ms"][0], x - 0.3, x + 0.3, colors="black", linestyles=":",
                         label="the service's hang-up latency ends" if x == 0 else None)
            bottom += v
    a.set_xticks(range(len(archs)), [names[arch] for arch in archs])
    a.set_ylabel("ms")
    a.set_title("Where one failing attempt's time goes (median)")
    a.set_xlim(-0.5, 2.6)
    a.legend(fontsize=8, loc="center right")

    a = ax[1][1]
    whens = ["start", "after_100_attempts", "after_10_more_runs"]
    width = 0.2
    for i, arch in enumerate(archs):
        s = builds.get(arch, {})
        for j, (kind, label) in enumerate((("private", "private"), ("working_set", "working set"))):
            vals = [s.get(f"mem_{kind}_kib_{w}", [float("nan")])[0] / 1024 for w in whens]
            a.bar([k + (2 * i + j - 1.5) * width for k in range(len(whens))], vals, width,
                  label=f"{label}, {names[arch]}")
    a.set_xticks(range(len(whens)), ["after start", "after 100 attempts", "after 10 more runs"])
    a.set_ylabel("MiB")
    a.set_title("Memory")
    a.legend(fontsize=8)

    fig.tight_layout()
    fig.savefig(out / "bench.png", dpi=90)


if __name__ == "__main__":
    main(Path(sys.argv[1]))
