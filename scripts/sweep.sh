#!/usr/bin/env bash
# Scans (and with --repair repairs) every Wine prefix of the user with the console scanner in
# build/ and prints one table; the command tarnwell-sweep from the checkout. See --help.
exec bash "$(dirname "$0")/../linux/tarnwell.sh" sweep "$@"
