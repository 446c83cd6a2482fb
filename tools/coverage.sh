#!/usr/bin/env bash
# coverage: not written yet.
echo "ambrelle: coverage is not available yet" >&2
exit 2
