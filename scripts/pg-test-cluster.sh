#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests and the benchmark.
#
#   pg-test-cluster.sh start URI_FILE   initdb in a new temporary folder, start it, write its URI to URI_FILE
#   pg-test-cluster.sh stop URI_FILE    stop the cluster named in URI_FILE and delete its folder
#   pg-test-cluster.sh ctl URI_FILE stop|start   stop or start the server but keep its data (restart tests)
#
# The server listens only on a socket inside its own folder, so it never competes
# for a TCP port with anything else on the machine. PostgreSQL refuses to run as
# root; as root the server runs as the unprivileged user "nobody".
set -euo pipefail

die() { echo "pg-test-cluster: $*" >&2; exit 1; }

bindir=""
for d in /usr/lib/postgresql/*/bin; do
  [ -x "$d/initdb" ] && bindir="$d"
done
[ -n "$bindir" ] || die "no PostgreSQL server found (run scripts/setup.sh: it installs postgresql-15)"

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u nobody -- "$@"
  else
    "$@"
  fi
}

# Any number names the socket; the socket lives in the cluster's own folder.
port=54329

folder_of() {
  [ -f "$1.folder" ] || die "no cluster recorded beside $1"
  sed -n 's/^# folder //p' "$1.folder"
}

start() {
  local uri_file=$1
  local dir
  dir=$(mktemp -d /tmp/plivora-pg.XXXXXX)
  chmod 755 "$dir"
  [ "$(id -u)" -ne 0 ] || chown nobody "$dir"
  echo "# folder $dir" > "$uri_file.folder"
  as_owner "$bindir/initdb" -D "$dir/data" -U plivora -A trust -E UTF8 --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; die "initdb failed"; }
  cat >> "$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
port = $port
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 200
shared_buffers = 64MB
EOF
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null \
    || { cat "$dir/server.log" >&2; die "the server did not start"; }
  # The socket folder as a percent-encoded host: libpq takes a host starting with "/" as a socket folder.
  local host=${dir//\//%2F}
  echo "postgresql://plivora@$host:$port/postgres" > "$uri_file"
  echo "PostgreSQL test cluster in $dir, URI in $uri_file"
}

stop() {
  local uri_file=$1
  [ -f "$uri_file.folder" ] || return 0
  local dir
  dir=$(folder_of "$uri_file")
  if [ -n "$dir" ] && [ -d "$dir" ]; then
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$dir"
  fi
  rm -f "$uri_file" "$uri_file.folder"
}

ctl() {
  local dir
  dir=$(folder_of "$1")
  case "$2" in
    stop) as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null ;;
    start) as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null ;;
    *) die "ctl takes stop or start" ;;
  esac
}

case "${1:-}" in
  start) [ $# -eq 2 ] || die "usage: $0 start URI_FILE"; stop "$2"; start "$2" ;;
  stop) [ $# -eq 2 ] || die "usage: $0 stop URI_FILE"; stop "$2" ;;
  ctl) [ $# -eq 3 ] || die "usage: $0 ctl URI_FILE stop|start"; ctl "$2" "$3" ;;
  *) die "usage: $0 start|stop|ctl URI_FILE [stop|start]" ;;
esac
