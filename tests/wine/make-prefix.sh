#!/bin/bash
# Makes the fresh 32-bit Wine prefix the end-to-end cases of one test run share.
#   make-prefix.sh PREFIX_DIR
set -u
. "$(dirname "$0")/wine-env.sh"
wine_env_create_prefix "$1"
