#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is missing, builds Tessel and starts it. Only the program is
# built (its encoder link is made when configuring): the tests and benchmarks
# are the test command's to build, and would triple a first start.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tessel
exec build/default/bin/tessel
