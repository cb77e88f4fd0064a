"""Reads bench_updater's --benchmark_format=json output on standard input: it must parse as JSON
and every row must carry its "ratio" counter (ours over the tool's)."""
import json
import sys

report = json.load(sys.stdin)
rows = report["benchmarks"]
if not rows:
    sys.exit("no benchmark rows")
for row in rows:
    if "error_message" in row:
        sys.exit(row["name"] + ": " + row["error_message"])
    if not isinstance(row.get("ratio"), (int, float)) or row["ratio"] <= 0:
        sys.exit(row["name"] + ": no ratio counter")
