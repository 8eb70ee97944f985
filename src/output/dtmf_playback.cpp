#include "output/dtmf_playback.h"

#include "framework/afxwin.h"
#include "output/tones.h"

void PlayDtmfSound(UINT id) {
    if (port::SoundOutput* sound = AfxGetApp()->Sound()) PlayDtmfSoundOn(*sound, id);
}
