#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# The settings Windows reads from a program's application manifest (its
# RT_MANIFEST resource), one "{namespace}name=value" a line, sorted:
#   manifest-settings.sh <program.exe>
set -euo pipefail
wrestool -x --raw -t 24 "$1" | python3 -c '
import sys, xml.etree.ElementTree as tree
lines = []
for element in tree.fromstring(sys.stdin.buffer.read()).iter():
    name = element.tag.rsplit("}", 1)[-1]
    if name == "supportedOS":
        lines.append(element.tag + "=" + element.get("Id"))
    elif name in ("longPathAware", "dpiAware", "dpiAwareness", "requestedExecutionLevel"):
        lines.append(element.tag + "=" + (element.text or element.get("level") or "").strip())
print("\n".join(sorted(lines)))
'
