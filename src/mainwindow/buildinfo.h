#pragma once

// The one build number: shown by the window's build label and compared by the
// update check against the number the publisher announces.
inline constexpr int buildNumber = 405;
