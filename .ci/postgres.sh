#!/usr/bin/env bash
# Starts a throw-away PostgreSQL server on 127.0.0.1 for the tests that need one, and stops it.
#   source .ci/postgres.sh; start_test_postgres; ...; stop_test_postgres
# Sets NEWSCLASS_TEST_PG to an ODBC connection string for database newsclass_test, role
# newsclass (password authentication over TCP, so a wrong password is refused).

source "$(dirname "${BASH_SOURCE[0]}")/../scripts/install_packages.sh"

pg_bin=""
pg_dir=""
pg_port=${NEWSCLASS_PG_PORT:-54329}

install_test_postgres() {
  install_missing_packages ci postgresql odbc-postgresql unixodbc
}

start_test_postgres() {
  pg_bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
  pg_dir=$(mktemp -d /tmp/newsclass-pg-XXXXXX)
  chown postgres:postgres "$pg_dir"
  # The server refuses to run as root: everything below runs as the postgres user.
  runuser -u postgres -- "$pg_bin/initdb" -D "$pg_dir/data" -U postgres -E UTF8 --locale=C.UTF-8 \
    --auth-local=trust --auth-host=scram-sha-256 >"$pg_dir/initdb.log" 2>&1
  runuser -u postgres -- "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w \
    -o "-c listen_addresses=127.0.0.1 -p $pg_port -k $pg_dir" start >/dev/null
  runuser -u postgres -- psql -q -h "$pg_dir" -p "$pg_port" -U postgres -d postgres \
    -c "CREATE ROLE newsclass LOGIN PASSWORD 'newsclass-test'" \
    -c "CREATE DATABASE newsclass_test OWNER newsclass" >/dev/null
  export NEWSCLASS_TEST_PG="Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=$pg_port;Database=newsclass_test;UID=newsclass;PWD=newsclass-test"
  export NEWSCLASS_TEST_PG_PORT=$pg_port
  echo "ci: PostgreSQL running on 127.0.0.1:$pg_port ($pg_dir)" >&2
}

stop_test_postgres() {
  if [ -n "$pg_dir" ] && [ -d "$pg_dir/data" ]; then
    runuser -u postgres -- "$pg_bin/pg_ctl" -D "$pg_dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$pg_dir"
  fi
  pg_dir=""
}
