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
    """A time ("25 us") bounds the median; "3x" bounds the benchmark's ratio
    counter, "1.3x wall_ratio" the counter named."""
    m = re.fullmatch(r"\s*([0-9.]+)\s*(ns|us|ms|s|x)\s*(\w*)\s*", limit)
    if not m:
        return None, None
    if m.group(2) == "x":
        return m.group(3) or "ratio", float(m.group(1))
    return "time", float(m.group(1)) * UNITS[m.group(2)]


def format_seconds(seconds):
    return f"{seconds * 1e3:.3f} ms" if seconds >= 1e-3 else f"{seconds * 1e6:.2f} us"


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
            kind, bound = parse_limit(limit)
            figure = format_seconds(seconds)
            counter = kind if kind not in (None, "time") else "ratio"
            if counter in b:
                figure += f" ({counter} {b[counter]:.2f}x)"
            if kind == "time":
                verdict = "ok" if seconds <= bound else "OVER"
            elif kind is not None and kind in b:
                verdict = "ok" if b[kind] <= bound else "OVER"
            else:
                verdict = ""
            rows.append((name, figure, limit or "-", verdict, note))
    header = ("benchmark", "median", "target", "", "note")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(5)]
    for row in [header] + rows:
        print("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(row)).rstrip())


if __name__ == "__main__":
    main()
