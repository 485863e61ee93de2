#!/bin/sh
# The demo's follow-up program: notes when it ran, so the demo can show it.
echo "$(date '+%H:%M:%S') follow-up program started: the connection is up" >>"${1:-/dev/stdout}"
