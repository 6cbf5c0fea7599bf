# Shared by the script tests: checks that end the test at the first failure,
# and a temporary folder removed at exit.
set -euo pipefail

src=$(realpath "$1")
build=$(realpath "$2")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tst_scripts.XXXXXX")
cleanups=()
main_shell=$BASHPID
at_exit() {
  [ "$BASHPID" = "$main_shell" ] || return 0 # not in a $(...) that failed
  local i
  for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do eval "${cleanups[i]}" || true; done
  rm -rf "$scratch"
}
trap at_exit EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
pass() { echo "PASS: $*"; }

need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || fail "\"$tool\" is missing; bash scripts/setup.sh installs it"
  done
}

# free_port: a free loopback port below the ephemeral range, with its next few
# ports free too, so that the run script's "next free port above" cannot land
# on a client socket another test opened meanwhile.
free_port() {
  python3 - <<'PY'
import random, socket
for _ in range(500):
    base = random.randint(20000, 32000)
    try:
        for p in range(base, base + 4):
            s = socket.socket()
            s.bind(("127.0.0.1", p))
            s.close()
    except OSError:
        continue
    print(base)
    break
else:
    raise SystemExit("no free port found")
PY
}

# wait_for SECONDS COMMAND...: true once COMMAND succeeds, false when time is up.
wait_for() {
  local tenths=$(($1 * 10)) i
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
