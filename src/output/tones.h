#pragma once
// The sixteen DTMF clips, one per keypad symbol, and their playback.

#include <cstdint>
#include <span>

#include "framework/ports.h"
#include "framework/win_types.h"

struct ToneEntry {
    char symbol;
    UINT clipId;
    int lowHz;
    int highHz;
};

// The sixteen rows, low group by high group.
std::span<const ToneEntry> ToneTable();

// 0 when c is not a tone symbol.
UINT ClipIdForSymbol(char c);

// The complete RIFF WAVE image of a clip; empty when no clip has that id.
// Only the low 16 bits of id take part in the lookup.
std::span<const uint8_t> FindDtmfClip(UINT id);

// Plays the clip through out and returns when it has been played. An unknown
// id plays nothing and returns at once.
void PlayDtmfSoundOn(port::SoundOutput& out, UINT id);
