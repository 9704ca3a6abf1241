#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# tessel.exe's manifest, read back out of the built program: paths beyond
# MAX_PATH, Windows 10 and 11 as the systems it was made for (without them
# Windows runs it in the compatibility mode of Vista), the DPI awareness Qt 6
# sets at its start, and no elevation.
#   tst_manifest.sh <tessel.exe>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
expected='{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware=true/pm
{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness=PerMonitorV2
{http://schemas.microsoft.com/SMI/2016/WindowsSettings}longPathAware=true
{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel=asInvoker
{urn:schemas-microsoft-com:compatibility.v1}supportedOS={8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'
actual=$(bash "$here/manifest-settings.sh" "$1")
if [ "$actual" != "$expected" ]; then
    printf 'FAIL: the manifest of %s says\n%s\nexpected\n%s\n' "$1" "$actual" "$expected" >&2
    exit 1
fi
echo "PASS: $1 declares long paths, Windows 10/11 and PerMonitorV2"
