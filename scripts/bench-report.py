#!/usr/bin/env python3
"""Gathers the figures of every benchmark program (the .tsv files of a
folder, written through bench/bench_rows.h) into one Markdown report with the
machine and the date.

    bench-report.py ROWS_FOLDER REPORT_FILE
"""
import datetime
import os
import pathlib
import platform
import sys


def cpu_model():
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def figure(value, unit):
    if unit == "s":
        return f"{value * 1000:.1f} ms" if value < 1 else f"{value:.2f} s"
    if value >= 100:
        return f"{value:,.0f} {unit}"
    return f"{value:.2f} {unit}"


def advantage(row):
    """How many times better Telvora does than SQLite: above 1, Telvora wins."""
    ours, theirs = row["telvora"], row["sqlite"]
    if row["better"] == "higher":
        return ours / theirs if theirs > 0 else None
    return theirs / ours if ours > 0 else None


def read(folder):
    benchmarks = {}  # name -> {"notes": [...], "rows": [...]} in file order
    for path in sorted(pathlib.Path(folder).glob("*.tsv")):
        for line in path.read_text(encoding="utf-8").splitlines():
            fields = line.split("\t")
            if fields[0] == "note" and len(fields) == 3:
                benchmarks.setdefault(fields[1], {"notes": [], "rows": []})["notes"].append(fields[2])
            elif fields[0] == "row" and len(fields) == 9:
                _, name, operation, ours_setup, sqlite_setup, unit, better, ours, theirs = fields
                benchmarks.setdefault(name, {"notes": [], "rows": []})["rows"].append({
                    "operation": operation, "telvora_setup": ours_setup, "sqlite_setup": sqlite_setup,
                    "unit": unit, "better": better, "telvora": float(ours), "sqlite": float(theirs)})
            else:
                raise SystemExit(f"{path}: unreadable line: {line!r}")
    return benchmarks


def report(benchmarks):
    now = datetime.datetime.now(datetime.timezone.utc)
    lines = [
        "# Benchmark report",
        "",
        f"- date: {now:%Y-%m-%d %H:%M} UTC",
        f"- machine: {cpu_model()}, {os.cpu_count()} cores, {platform.system()} {platform.release()}",
        # Other work on the machine slows both sides, but not always alike.
        "- load average (1, 5, 15 min) when the report was written: "
        + ", ".join(f"{load:.2f}" for load in os.getloadavg()),
        "- each figure beside SQLite's on the same data in the same run; advantage = how many times better"
        " Telvora does (above 1: Telvora better; time and size: SQLite / Telvora; rates: Telvora / SQLite)",
        "",
    ]
    if not benchmarks:
        lines.append("No benchmark wrote any figures.")
    for name, bench in benchmarks.items():
        lines += [f"## {name}", ""]
        lines += [f"{note}" for note in bench["notes"]]
        if bench["notes"]:
            lines.append("")
        if not bench["rows"]:
            continue  # measured beside something other than SQLite: its notes say how
        lines += ["| operation | Telvora setup | SQLite setup | Telvora | SQLite | advantage |",
                  "|---|---|---|---:|---:|---:|"]
        for row in bench["rows"]:
            ratio = advantage(row)
            lines.append(f"| {row['operation']} | {row['telvora_setup']} | {row['sqlite_setup']} | "
                         f"{figure(row['telvora'], row['unit'])} | {figure(row['sqlite'], row['unit'])} | "
                         f"{'n/a' if ratio is None else f'{ratio:.2f}x'} |")
        lines.append("")
    return "\n".join(lines)


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    text = report(read(sys.argv[1]))
    pathlib.Path(sys.argv[2]).write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main()
