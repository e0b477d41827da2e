#!/usr/bin/env bash
# PLACEHOLDER: 'make fuzz' has no content yet.
echo "make fuzz: PLACEHOLDER - not built yet." >&2
exit 1
