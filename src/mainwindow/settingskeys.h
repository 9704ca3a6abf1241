// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The only value Tessel keeps between runs: the folder last worked on.
inline constexpr char lastOpenDirectoryKey[] = "lastOpenDirectory";
