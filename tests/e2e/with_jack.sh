#!/usr/bin/env bash
# Runs a command against a private JACK server with MIDI recorder clients.
#
#   with_jack.sh [--recorder NAME]... [--recorder-bin PATH] -- COMMAND [ARGS...]
#
# Inside a private mount namespace with its own /dev/shm (a server killed
# earlier leaves registry entries there that stop new servers; this also keeps
# parallel runs apart), it starts `jackd -d dummy -r 48000 -p 64` (-p from
# QUILLARC_JACK_PERIOD when set; realtime at
# priority 70 when permitted, else --no-realtime) under a server name of its
# own, then one jack_recorder per --recorder NAME, in the order given, and
# waits until each has its port. Then it runs COMMAND with these variables:
#
#   JACK_DEFAULT_SERVER            the private server's name
#   QUILLARC_JACK_REALTIME         1 when the server runs with realtime
#                                  scheduling (its clock follows the wall
#                                  clock), 0 when it fell back to --no-realtime
#   QUILLARC_JACK_PID              the server's process id
#   QUILLARC_JACK_REALTIME         1 when the server runs realtime, else 0
#   QUILLARC_E2E_DIR               a scratch directory, removed afterwards
#   XDG_CONFIG_HOME                an empty folder in it: the programs never
#                                  read the user's coil limits
#   QUILLARC_RECORDER_COUNT        number of recorders
#   QUILLARC_RECORDER_NAME_<i>     client name of recorder i (0-based)
#   QUILLARC_RECORDER_FILE_<i>     file recorder i writes its events to
#   QUILLARC_RECORDER_PID_<i>      its process id (a test may stop or kill it)
#   QUILLARC_RECORDER_FILE, QUILLARC_RECORDER_PID   the same for recorder 0
#
# The recorder's file format is described at the top of jack_recorder.cpp:
# one line "FRAME USECS HH HH HH" per event, "end" after SIGTERM. Every
# recorder still running afterwards is stopped with SIGTERM and waited for
# (killed after 10 s),
# then the server; the exit status is COMMAND's.
#
# --recorder-bin defaults to $QUILLARC_JACK_RECORDER, else jack_recorder
# beside this script.
#
# Needs root (for the namespace) and jackd; without jackd it exits with 77,
# which the tests register as "skipped". When COMMAND fails while the server
# reported xruns (missed cycles, whose MIDI events JACK drops) with status 1 (a
# failed check), it exits with 75: inconclusive, for retry_inconclusive.sh to
# run the test again.
set -euo pipefail

readonly SKIP=77
readonly INCONCLUSIVE=75

recorders=()
recorder_bin="${QUILLARC_JACK_RECORDER:-$(dirname "$0")/jack_recorder}"
while [ $# -gt 0 ]; do
  case "$1" in
    --recorder) recorders+=("$2"); shift 2 ;;
    --recorder-bin) recorder_bin="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "with_jack.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
if [ $# -eq 0 ]; then
  echo "usage: with_jack.sh [--recorder NAME]... [--recorder-bin PATH] -- COMMAND [ARGS...]" >&2
  exit 2
fi

if ! command -v jackd >/dev/null 2>&1; then
  echo "SKIP: jackd is not installed (apt-get install jackd2); the JACK end-to-end tests need it" >&2
  exit "$SKIP"
fi

# Step 1: enter the private namespace (this script again, marked).
if [ -z "${QUILLARC_IN_E2E_NAMESPACE:-}" ]; then
  args=()
  for name in "${recorders[@]}"; do args+=(--recorder "$name"); done
  export QUILLARC_IN_E2E_NAMESPACE=1
  exec unshare -m --propagation private -- "$BASH" "$0" "${args[@]}" --recorder-bin "$recorder_bin" -- "$@"
fi
unset QUILLARC_IN_E2E_NAMESPACE

mount -t tmpfs -o size=256m tmpfs /dev/shm
scratch="$(mktemp -d "${TMPDIR:-/tmp}/quillarc-e2e.XXXXXX")"
export QUILLARC_E2E_DIR="$scratch"
mkdir "$scratch/config"
export XDG_CONFIG_HOME="$scratch/config"
export JACK_DEFAULT_SERVER="quillarc-e2e-$$"
export QUILLARC_RECORDER_COUNT="${#recorders[@]}"

server_pid=""
recorder_pids=()

# Waits up to 10 s for `$1` to end after its SIGTERM, then kills it: a
# recorder or a server stuck in its own shutdown (seen once under a heavy
# load, after the checks had passed) must not hold the test until its
# timeout. Said on standard error when it happens.
reap() {
  local i
  for i in $(seq 500); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.02
  done
  if kill -0 "$1" 2>/dev/null; then
    echo "with_jack.sh: $2 (pid $1) did not end within 10 s of SIGTERM: killed" >&2
    kill -KILL "$1" 2>/dev/null || true
  fi
  wait "$1" 2>/dev/null || true
}

# Stops the recorders, then the server, each by its PID, and waits for them.
cleanup() {
  local pid
  for pid in "${recorder_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${recorder_pids[@]}"; do
    reap "$pid" "a recorder"
  done
  if [ -n "$server_pid" ]; then
    kill -TERM "$server_pid" 2>/dev/null || true
    reap "$server_pid" "the JACK server"
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# Polls `$1` (a command string) every 20 ms for up to $2 seconds.
wait_for() {
  local deadline=$((SECONDS + $2))
  until eval "$1"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.02
  done
}

server_up() { jack_lsp >/dev/null 2>&1; }

# Frames per period: QUILLARC_JACK_PERIOD, for a benchmark that needs a
# server which misses fewer cycles than at the default's 1.3 ms.
period="${QUILLARC_JACK_PERIOD:-64}"

start_jackd() {
  jackd "$@" -d dummy -r 48000 -p "$period" >"$scratch/jackd.log" 2>&1 &
  server_pid=$!
  wait_for 'server_up || ! kill -0 "$server_pid" 2>/dev/null' 10 || true
  if server_up; then
    return 0
  fi
  kill -TERM "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
  return 1
}

if start_jackd -R -P 70; then
  # jackd may carry on without the realtime priority it was refused.
  if grep -qi "cannot use real-time" "$scratch/jackd.log"; then
    export QUILLARC_JACK_REALTIME=0
  else
    export QUILLARC_JACK_REALTIME=1
  fi
elif start_jackd --no-realtime; then
  export QUILLARC_JACK_REALTIME=0
else
  echo "with_jack.sh: the JACK server did not start:" >&2
  cat "$scratch/jackd.log" >&2
  exit 1
fi
export QUILLARC_JACK_PID="$server_pid"

for i in "${!recorders[@]}"; do
  file="$scratch/recorder-$i.txt"
  ready="$scratch/recorder-$i.ready"
  "$recorder_bin" "${recorders[$i]}" --output "$file" --ready "$ready" &
  pid=$!
  recorder_pids+=("$pid")
  if ! wait_for '[ -e "$ready" ] || ! kill -0 "$pid" 2>/dev/null' 10 || [ ! -e "$ready" ]; then
    echo "with_jack.sh: recorder '${recorders[$i]}' did not start" >&2
    exit 1
  fi
  export "QUILLARC_RECORDER_NAME_$i=${recorders[$i]}"
  export "QUILLARC_RECORDER_FILE_$i=$file"
  export "QUILLARC_RECORDER_PID_$i=$pid"
done
if [ "${#recorders[@]}" -gt 0 ]; then
  export QUILLARC_RECORDER_FILE="$QUILLARC_RECORDER_FILE_0"
  export QUILLARC_RECORDER_PID="$QUILLARC_RECORDER_PID_0"
fi

status=0
"$@" || status=$?
# A JACK server that misses cycles (xruns) drops the MIDI events of those
# cycles: a failed check (status 1) then says nothing about the program under
# test. A crash or any other status does not come from lost events and stands.
if [ "$status" -eq 1 ]; then
  xruns=$(grep -ci xrun "$scratch/jackd.log" || true)
  if [ "${xruns:-0}" -gt 0 ]; then
    echo "with_jack.sh: the JACK server missed cycles $xruns times during this run: inconclusive" >&2
    exit "$INCONCLUSIVE"
  fi
fi
exit "$status"
