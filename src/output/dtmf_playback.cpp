#include "output/dtmf_playback.h"

#include "framework/afxwin.h"
#include "output/tones.h"

void PlayDtmfSound(UINT id, std::optional<int> gapMs) {
    CWinApp* app = AfxGetApp();
    port::SoundOutput* sound = app->Sound();
    if (!sound) return;
    if (gapMs)
        sound->PlanGap(*gapMs);
    else
        sound->StartAfresh();
    // Clips the platform carries are looked up and released around each play.
    if (port::SoundClips* clips = app->Clips()) {
        clips->Play(id & 0xFFFF, *sound);
        return;
    }
    PlayDtmfSoundOn(*sound, id);
}
