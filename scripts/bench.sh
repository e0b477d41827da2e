#!/usr/bin/env bash
# PLACEHOLDER: 'make bench' has no content yet.
echo "make bench: PLACEHOLDER - not built yet." >&2
exit 1
