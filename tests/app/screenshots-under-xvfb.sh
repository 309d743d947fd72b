#!/bin/sh
# Renders the application's windows under a virtual X server: the PNG files land beside
# the test program. Exits 77 (skipped) when xvfb-run is not installed.
set -e
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is not installed (scripts/setup installs it): screenshots skipped"
  exit 77
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$1" --gtest_filter=ProcessWindowTest.Screenshots
