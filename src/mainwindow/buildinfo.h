// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The one build number: shown by the window's build label and compared by the
// update check against the number the publisher announces.
inline constexpr int buildNumber = 405;
