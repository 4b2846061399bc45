"""Prints the median of every benchmark beside its target, one table."""
import json
import re
import sys

UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def load_targets(path):
    targets = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            pattern, limit, note = (line.rstrip("\n").split("\t") + ["", ""])[:3]
            targets.append((re.compile(pattern), limit, note))
    return targets


def parse_limit(limit):
    m = re.fullmatch(r"\s*([0-9.]+)\s*(ns|us|ms|s)\s*", limit)
    return float(m.group(1)) * UNITS[m.group(2)] if m else None


def main():
    targets = load_targets(sys.argv[1])
    rows = []
    for path in sys.argv[2:]:
        try:
            with open(path, encoding="utf-8") as f:
                data = json.load(f)
        except (OSError, json.JSONDecodeError):
            continue
        for b in data.get("benchmarks", []):
            if b.get("aggregate_name", "median") != "median":
                continue
            name = b.get("run_name", b["name"])
            seconds = b["real_time"] * UNITS[b.get("time_unit", "ns")]
            limit, note = "", b.get("label", "")
            for pattern, target_limit, target_note in targets:
                if pattern.search(name):
                    limit, note = target_limit, target_note or note
                    break
            bound = parse_limit(limit)
            verdict = "" if bound is None else ("ok" if seconds <= bound else "OVER")
            rows.append((name, f"{seconds * 1e3:.3f} ms" if seconds >= 1e-3 else f"{seconds * 1e6:.2f} us",
                         limit or "-", verdict, note))
    header = ("benchmark", "median", "target", "", "note")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(5)]
    for row in [header] + rows:
        print("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(row)).rstrip())


if __name__ == "__main__":
    main()
