#pragma once
#include "framework/win_types.h"

// Plays one tone clip by its id through the application's sound output and
// returns when it has been heard; silent when the clip or the device is missing.
void PlayDtmfSound(UINT id);
