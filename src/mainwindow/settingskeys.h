#pragma once

// The only value Tessel keeps between runs: the folder last worked on.
inline constexpr char lastOpenDirectoryKey[] = "lastOpenDirectory";
