#pragma once
#include <optional>

#include "framework/win_types.h"

// Plays one tone clip by its id through the application's sound output and
// returns when it has been heard; silent when the clip or the device is missing.
// gapMs: the silence planned since the tone before; nothing for a tone that
// keeps no time with it (a key, a dial's first tone) and sounds at once.
void PlayDtmfSound(UINT id, std::optional<int> gapMs);
