#!/usr/bin/env bash
# Sets up, builds and runs the benchmarks, then prints each comparison's ratio.
#   scripts/bench.sh                every benchmark
#   scripts/bench.sh renokit ftp    only renokit_bench and ftp_bench
#   scripts/bench.sh console        the panel console: drive-to-queue latency, register-path cost
# BENCH_PRESET=ci uses the test suite's build (same optimisation) instead of
# build/default. Results (Google Benchmark JSON) go to build/<preset>/bench-results/.
set -euo pipefail
cd "$(dirname "$0")/.."
all=(renokit ftp lettra bus watch codec vistrel melodra console)
chosen=("$@")
[ ${#chosen[@]} -eq 0 ] && chosen=("${all[@]}")
targets=()
for name in "${chosen[@]}"; do targets+=("${name}_bench"); done

preset="${BENCH_PRESET:-default}"
bash scripts/bootstrap.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target "${targets[@]}"

results="build/$preset/bench-results"
mkdir -p "$results"
for name in "${chosen[@]}"; do
  echo "== ${name}_bench"
  # Renokit's runs, each taken five times, go in random order, so that a
  # slow spell of the machine falls on subject and reference alike.
  order=()
  [ "$name" = renokit ] && order=(--benchmark_enable_random_interleaving=true)
  "./build/$preset/bin/${name}_bench" --benchmark_out="$results/$name.json" --benchmark_out_format=json \
    "${order[@]}"
done

# Each comparison: the subject against its reference in the same run.
python3 - "$results" "${chosen[@]}" <<'EOF'
import json, os, re, sys

folder, chosen = sys.argv[1], sys.argv[2:]

def runs(name):
    path = os.path.join(folder, name + ".json")
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        data = json.load(f)
    found = {b["name"]: b for b in data.get("benchmarks", []) if b.get("run_type", "iteration") == "iteration"
             and not b.get("error_occurred")}
    # A benchmark run several times counts by its median.
    for b in data.get("benchmarks", []):
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median":
            found[re.sub(r"/repeats:\d+$", "", b["run_name"])] = b
    return found

def seconds(b, kind="real_time"):
    unit = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
    return b[kind] * unit

# Single-threaded work (conversion, encoding) is compared in CPU time of the
# calling thread, which a busy machine disturbs far less than wall time.
def cpu(b):
    return seconds(b, "cpu_time")

rows = []
def compare(label, subject, reference, ratio):
    if subject and reference:
        rows.append((label, ratio(subject, reference)))
    else:
        rows.append((label, None))

# Each benchmark's comparisons: label, subject's and reference's run names,
# and the ratio of the two runs.
table = {
    "renokit": [(f"{what} / cmp-like reading, {size // 1024} KiB files (throughput)",
                 f"{subject}/{size}", f"BM_CmpReading/{size}",
                 lambda s, c: s["bytes_per_second"] / c["bytes_per_second"])
                for subject, what in (("BM_StartComparison", "Renokit Start's comparison"),
                                      ("BM_SameCallsDirect", "Its system calls made directly"))
                for size in (4096, 65536)],
    "ftp": [(f"Tessary / curl, 100 MB {way} (throughput)",
             f"Tessary{name}/iterations:3/real_time", f"Curl{name}/iterations:3/real_time",
             lambda t, c: seconds(c) / seconds(t))
            for way, name in (("download", "Download"), ("upload", "Upload"))],
    "lettra": [("Lettra sample page printed / only drawn (time)",
                "BM_PrintSamplePage/real_time", "BM_DrawSamplePage/real_time",
                lambda p, d: seconds(p) / seconds(d))],
    "bus": [("Two-wire byte at speed 0 / its 32 yields (time)",
             "BM_WriteByteSpeed0", "BM_Yield",
             lambda w, y: seconds(w) / (32 * seconds(y)))],
    "watch": [(f"Port watch samples / an application's own reads, idle count {idle} (rate)",
               f"BM_WatchLoopSamples/{idle}/iterations:10/manual_time", "BM_ApplicationReadsPortByte",
               lambda w, a: w["samples_per_s"] / a["items_per_second"])
              for idle in (10000, 0)],
    "codec": [("MFC1: device / openh264 alone, 720 x 480 frames (speed, CPU time)",
               "BM_DeviceEncode/min_time:2.000", "BM_Openh264Alone/min_time:2.000",
               lambda d, o: cpu(o) / cpu(d))],
    "vistrel": [(f"Vistrel ConvertToRgb24 / libyuv I420ToRGB24, 720 x 480 {rows_order} (speed, CPU time)",
                 f"BM_ConvertToRgb24/bottom_up:{flag}", f"BM_LibyuvI420ToRGB24/bottom_up:{flag}",
                 lambda v, y: cpu(y) / cpu(v))
                for flag, rows_order in ((0, "top-down"), (1, "bottom-up"))] +
               [("Vistrel recording path / openh264 alone, 720 x 480 frames (speed, CPU time)",
                 "BM_RecordingPath/min_time:2.000", "BM_Openh264Alone/min_time:2.000",
                 lambda v, o: cpu(o) / cpu(v))],
    "melodra": [("Melodra / playbin with time-keeping fake sinks, 10 s 640x480 H.264+AAC MP4 (CPU seconds)",
                 "MelodraPlayToEnd/iterations:2/real_time", "PlaybinPlayToEnd/iterations:2/real_time",
                 lambda m, p: m["cpu_s"] / p["cpu_s"])],
    "console": [(f"Register path with {how} / {what} (calling thread's CPU time)",
                 f"{name}/min_time:1.000", f"{ref}/min_time:1.000",
                 lambda c, n: cpu(c) / cpu(n))
                for name, how in (("BM_RegisterPathConsoleAttached", "a console attached"),
                                  ("BM_RegisterPathConsoleSubscribedToPins", "a console subscribed to pins"))
                for ref, what in (("BM_RegisterPathNoConsole", "none"),
                                  ("BM_RegisterPathNoConsoleIdleThread", "none, an idle thread"))],
}
for bench, comparisons in table.items():
    if bench not in chosen:
        continue
    r = runs(bench)
    for label, subject, reference, ratio in comparisons:
        compare(label, r.get(subject), r.get(reference), ratio)
    if bench == "console":
        for name in ("BM_DriveToQueueByte/iterations:2000", "BM_OrlikPanelDriveToQueueByte/iterations:200"):
            b = r.get(f"{name}/manual_time")
            if b:
                print(f"  {name.split('/')[0]}: p50 {b['p50_us']:.0f} us, p99 {b['p99_us']:.0f} us")

print("\n== Comparisons (subject / reference)")
for label, ratio in rows:
    print(f"  {label}: " + ("no result" if ratio is None else f"{ratio:.2f}"))
EOF
