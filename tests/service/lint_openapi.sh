#!/bin/sh
# Lints tauravatd's OpenAPI document with the Redocly CLI pinned in openapi_lint/ (its whole
# tree locked), installed into DIR the first time and again whenever the lock changes.
# Fails on any problem the rules in openapi_lint/redocly.yaml find.
#
#   lint_openapi.sh DOCUMENT DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
document=$1
dir=$2
pinned=$here/openapi_lint

# No usage reports or update checks from inside a test.
export REDOCLY_TELEMETRY=off REDOCLY_SUPPRESS_UPDATE_NOTICE=true NO_UPDATE_NOTIFIER=1

mkdir -p "$dir"
# installed.json is the lock of the last install that worked.
if ! cmp -s "$pinned/package-lock.json" "$dir/installed.json"; then
  rm -f "$dir/installed.json"
  cp "$pinned/package.json" "$pinned/package-lock.json" "$dir/"
  (cd "$dir" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error)
  cp "$pinned/package-lock.json" "$dir/installed.json"
fi
exec "$dir/node_modules/.bin/redocly" lint --config "$pinned/redocly.yaml" "$document"
