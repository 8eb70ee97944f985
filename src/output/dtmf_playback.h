#pragma once
#include "framework/win_types.h"

// Plays one tone clip by its id through the application's sound output and
// returns when it has been heard; silent when the clip or the device is missing.
// afresh: the tone keeps no time with the one before, and sounds at once.
void PlayDtmfSound(UINT id, bool afresh = false);
