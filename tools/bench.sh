#!/usr/bin/env bash
# bench: not written yet.
echo "ambrelle: bench is not available yet" >&2
exit 2
