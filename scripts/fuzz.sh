#!/usr/bin/env bash
# Fuzzes the readers of outside data in devicelib/headsets with libFuzzer, under AddressSanitizer
# and UBSan: the EDID judge (edid), the udev rules reader (udev-rules) and the user's list of ids
# (user-list). Not part of scripts/test.sh; the suite replays what this finds.
#   scripts/fuzz.sh [SECONDS]   the three at once, each for SECONDS (default 60)
# Everything goes to build-fuzz/: the fuzz build (sanitize/), the corpus each target grew
# (corpus/, kept from run to run), the seeds (seeds/), each run's log (logs/), and the line
# coverage of devicelib/headsets that the corpus reaches (coverage/). Every input that crashed,
# hung, ran out of memory or leaked is copied to tests/fuzz/regressions/<target>/, and the script
# then fails: mend the fault, and keep the file as the suite's regression case.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=(edid udev-rules user-list)
out=$PWD/build-fuzz
rules=/lib/udev/rules.d/70-xrhardware.rules

scripts/install-deps.sh --fuzz
echo "Fuzz build in $out/sanitize, coverage build in $out/coverage"

cmake -S . -B "$out/sanitize" -G Ninja -DHLX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$out/sanitize" -j2
cmake -S . -B "$out/coverage" -G Ninja -DHLX_FUZZ=ON -DHLX_FUZZ_COVERAGE=ON \
  -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$out/coverage" -j2

# The seeds: the real EDIDs, from the hex dumps that edid-decode prints; the real rules file of
# Debian's xr-hardware; a list written as the README shows it.
rm -rf "$out/seeds"
mkdir -p "$out/seeds"/{edid,udev-rules,user-list}
for dump in tests/devicelib/edid/*/*.hex; do
  name=$(basename "$(dirname "$dump")")-$(basename "$dump" .hex)
  printf '%b' "$(tr -cd '0-9a-fA-F' <"$dump" | sed 's/../\\x&/g')" >"$out/seeds/edid/$name"
done
cp "$rules" "$out/seeds/udev-rules/"
cp tests/fuzz/seeds/user-list/* "$out/seeds/user-list/"

# Long enough for every EDID extension a base block can count (255), and for rules files and
# lists long enough to show a reader that is slower than linear; tried at full length from the
# start, not only after the short inputs are worn out.
declare -A max_len=([edid]=32768 [udev-rules]=65536 [user-list]=65536)
pids=()
for target in "${targets[@]}"; do
  mkdir -p "$out/corpus/$target" "$out/artifacts/$target" "$out/logs"
  "$out/sanitize/bin/fuzz-$target" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=2048 \
    -max_len="${max_len[$target]}" -len_control=0 -dict="tests/fuzz/$target.dict" \
    -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$target/" "$out/corpus/$target" "$out/seeds/$target" \
    >"$out/logs/$target.log" 2>&1 &
  pids+=($!)
done
echo "Fuzzing ${targets[*]} for $seconds s each, at once; logs in $out/logs/"
for pid in "${pids[@]}"; do
  wait "$pid" || true
done

found=0
for target in "${targets[@]}"; do
  echo "== $target"
  grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
    "$out/logs/$target.log" || true
  grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$out/logs/$target.log" | head -5 || true
  for artifact in "$out/artifacts/$target"/*; do
    [ -e "$artifact" ] || continue
    mkdir -p "tests/fuzz/regressions/$target"
    cp "$artifact" "tests/fuzz/regressions/$target/"
    echo "kept tests/fuzz/regressions/$target/$(basename "$artifact")"
    found=$((found + 1))
  done
  rm -f "$out/artifacts/$target"/*
done

# Line coverage of devicelib/headsets by each target's corpus and seeds, run once by the
# instrumented build.
rm -rf "$out/coverage/profiles"
mkdir -p "$out/coverage/profiles"
for target in "${targets[@]}"; do
  LLVM_PROFILE_FILE="$out/coverage/profiles/$target.profraw" \
    "$out/coverage/bin/fuzz-$target" -runs=0 "$out/corpus/$target" "$out/seeds/$target" \
    >/dev/null 2>&1
  llvm-profdata-14 merge -o "$out/coverage/profiles/$target.profdata" \
    "$out/coverage/profiles/$target.profraw"
  echo "== line coverage of devicelib/headsets by $target"
  llvm-cov-14 report "$out/coverage/bin/fuzz-$target" \
    -instr-profile="$out/coverage/profiles/$target.profdata" "$PWD/devicelib/headsets"
done

llvm-profdata-14 merge -o "$out/coverage/profiles/all.profdata" "$out/coverage/profiles/"*.profraw
echo "== line coverage of devicelib/headsets by the three"
llvm-cov-14 report "$out/coverage/bin/fuzz-${targets[0]}" \
  "${targets[@]/#/-object=$out/coverage/bin/fuzz-}" \
  -instr-profile="$out/coverage/profiles/all.profdata" "$PWD/devicelib/headsets" | tail -1

if [ "$found" -gt 0 ]; then
  echo "$found finding(s) kept in tests/fuzz/regressions/; the log of each run is in $out/logs/"
  exit 1
fi
echo "No finding"
