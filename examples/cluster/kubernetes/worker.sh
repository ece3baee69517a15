#!/bin/bash
# Work-queue worker: pops image names (relative to DATA, default /data)
# from the Redis list "images" until it is empty, measures each with one
# `tavex-cli --batch`, writes DATA/results/NAME.csv (the name's slashes as
# "_"), and pushes the names that failed on the list "failed". Exits 0 when
# the queue is empty, so the Job completes once every worker has.
set -u
REDIS_HOST=${REDIS_HOST:-redis}
SCRIPT=${SCRIPT:-/opt/tavex/measure-objects.lsp}
cd "${DATA:-/data}" || exit 1
mkdir -p results
while :; do
  image=$(redis-cli -h "$REDIS_HOST" --raw LPOP images) || exit 1
  [ -n "$image" ] || exit 0
  csv="results/$(printf '%s' "${image%.*}" | tr / _).csv"
  if ! tavex-cli --batch --set image="$image" --set csv="$csv" "$SCRIPT"; then
    redis-cli -h "$REDIS_HOST" RPUSH failed "$image" >/dev/null || exit 1
  fi
done
