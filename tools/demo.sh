#!/usr/bin/env bash
# Placeholder until the headless program and the virtual scanner land.
echo "demo: not available yet" >&2
exit 1
