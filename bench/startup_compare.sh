#!/usr/bin/env bash
# From launch to a finished chart: Tessera against the peers that are installed (QDirStat,
# Filelight, Baobab), each launched with the folder as its argument on the same display, warm
# caches, in the same run. A chart counts as finished when the process has used no CPU for half a
# second: the time of its last busy moment is taken (every app here idles once its picture
# stands). The peers are Debian packages; this script installs none of them and says which are
# missing.
#
#   bench/startup_compare.sh FOLDER [runs]
#
# Without a display it runs itself under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."
folder="${1:?usage: bench/startup_compare.sh FOLDER [runs]}"
runs="${2:-3}"
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s '-screen 0 1920x1200x24' "$0" "$@"
fi
scripts/bootstrap release >/dev/null
tessera=build/release/src/tessera

declare -A commands=(
    [tessera]="$tessera --new-instance"
    [qdirstat]="qdirstat"
    [filelight]="filelight"
    [baobab]="baobab"
)
order=(tessera qdirstat filelight baobab)
missing=()
for app in "${order[@]:1}"; do command -v "$app" >/dev/null || missing+=("$app"); done
if ((${#missing[@]})); then
    echo "not installed (left out): ${missing[*]} (apt install ${missing[*]})"
fi

# Each app keeps its settings in a home of its own, made afresh for every launch. Its cache
# (where Mesa keeps the shaders it compiled) is kept from one launch to the next, as a user's is:
# the first launch, with an empty cache, is reported on its own.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

# Seconds from launch to the last moment the process was busy, given that it then stayed idle
# for half a second; the app is ended afterwards.
time_to_rest() {
    local command="$1"
    rm -rf "$home/app" && mkdir -p "$home/app"
    python3 - "$home/app" "$home/cache" "$folder" $command <<'PY'
import os, signal, subprocess, sys, time
home, cache, folder, command = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config",
           XDG_CACHE_HOME=cache, XDG_DATA_HOME=home + "/data")
ticks = os.sysconf("SC_CLK_TCK")
start = time.monotonic()
process = subprocess.Popen(command + [folder], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, start_new_session=True)
def cpu():
    with open(f"/proc/{process.pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks
last_cpu, last_busy = 0.0, start
try:
    while time.monotonic() - start < 300:
        time.sleep(0.01)
        now = time.monotonic()
        used = cpu()
        if used > last_cpu:
            last_cpu, last_busy = used, now
        elif last_cpu > 0.05 and now - last_busy >= 0.5:
            break
finally:
    os.killpg(process.pid, signal.SIGTERM)
    process.wait()
print(f"{last_busy - start:.3f}")
PY
}

"$tessera" scan "$folder" >/dev/null # warms the cache
entries=$("$tessera" scan "$folder" --json | python3 -c 'import json,sys; d=json.load(sys.stdin); print(d["fileCount"] + d["directories"])')
echo "launch to a finished chart of $folder ($entries entries), seconds:" \
    "the first launch (empty cache), then $runs more (median, best)"
declare -A medians
for app in "${order[@]}"; do
    command -v "${commands[$app]%% *}" >/dev/null || continue
    rm -rf "$home/cache"
    first="$(time_to_rest "${commands[$app]}")"
    times=()
    for ((run = 0; run < runs; run++)); do times+=("$(time_to_rest "${commands[$app]}")"); done
    sorted=($(printf '%s\n' "${times[@]}" | sort -n))
    median="${sorted[$((runs / 2))]}"
    medians[$app]="$median"
    printf '  %-10s first %6.2f   then %6.2f  %6.2f\n' "$app" "$first" "$median" "${sorted[0]}"
done
fastest=""
for app in "${order[@]:1}"; do
    [ -n "${medians[$app]:-}" ] || continue
    if [ -z "$fastest" ] || python3 -c "import sys; sys.exit(not ${medians[$app]} < ${medians[$fastest]})"; then
        fastest="$app"
    fi
done
if [ -n "$fastest" ]; then
    python3 -c "print(f'  tessera / fastest peer ($fastest): {${medians[tessera]} / ${medians[$fastest]}:.2f}')"
fi
