#!/usr/bin/env bash
# PLACEHOLDER: 'make viewer' has no content yet.
echo "make viewer: PLACEHOLDER - not built yet." >&2
exit 1
