#!/usr/bin/env bash
# package: not written yet.
echo "ambrelle: package is not available yet" >&2
exit 2
