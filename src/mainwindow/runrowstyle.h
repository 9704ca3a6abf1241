// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QListWidgetItem;

// How a row of the run looks. The backgrounds are light on every theme, so
// each row also gets a dark text colour that reads on them (at least 4.5:1)
// whatever the palette; a failure also gets the style's critical icon, so it
// stands apart from the row still running in the same red.
enum class RowState { Running, Converted, Failed };
void styleRow(QListWidgetItem *item, RowState state);
