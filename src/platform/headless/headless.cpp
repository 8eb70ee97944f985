// The headless window system: the windows it made, the records a test reads
// back, and sound that takes virtual time.
#include "platform/headless/headless.h"

#include <algorithm>
#include <utility>

#include "framework/wave_image.h"

namespace headless {
namespace {

// Length of a playable WAVE image in milliseconds, rounded; nullopt when no
// sound output would play it.
std::optional<int64_t> WaveDurationMs(const uint8_t* data, size_t size) {
    const std::optional<fw::WaveImage> wave = fw::ParseWave(data, size);
    if (!wave) return std::nullopt;
    return static_cast<int64_t>((uint64_t(wave->frames) * 1000 + wave->rate / 2) / wave->rate);
}

}  // namespace

HeadlessSystem::HeadlessSystem() = default;
HeadlessSystem::~HeadlessSystem() = default;

HeadlessWindow* HeadlessSystem::Top() const {
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
        if ((*it)->kind == FrameKind::Dialog) return (*it)->window;
    return windows_.empty() ? nullptr : windows_.back();
}

int HeadlessSystem::OpenMessageBoxes() const {
    return static_cast<int>(std::count_if(frames_.begin(), frames_.end(),
                                          [](Frame* f) { return f->kind == FrameKind::Box; }));
}

void HeadlessSystem::Problem(std::string what) { problems_.push_back(std::move(what)); }

std::unique_ptr<port::Window> HeadlessSystem::Create(const res::DialogTemplate& tmpl,
                                                     port::Window* owner,
                                                     port::WindowEvents& events) {
    return std::make_unique<HeadlessWindow>(*this, tmpl, owner, events);
}

int HeadlessSystem::SystemMetric(int index) const {
    if (index == SM_CXICON) return iconCx_;
    if (index == SM_CYICON) return iconCy_;
    return 0;
}

bool HeadlessSystem::OpenHelp(const std::string& path, std::function<void()> failedLater) {
    helpRequests_.push_back(path);
    if (helpFailsLater_ && failedLater) later_.push_back(std::move(failedLater));
    return true;
}

void HeadlessSystem::PlayWave(const uint8_t* data, size_t size) {
    const bool afresh = std::exchange(afresh_, false);
    const std::optional<int> plannedGap = std::exchange(plannedGap_, std::nullopt);
    auto duration = WaveDurationMs(data, size);
    if (!duration) return;  // nothing can be played
    if (soundFailure_) {
        if (!soundFailed_) untoldFailure_ = *soundFailure_;
        soundFailed_ = true;
        return;
    }
    soundFailed_ = false;
    int pressed = 0;
    if (HeadlessWindow* top = Top())
        for (const auto& [id, c] : top->controls_)
            if (c.pressed) pressed = id;
    sounds_.push_back({now_, *duration, std::vector<uint8_t>(data, data + size), pressed, afresh, plannedGap});
    now_ += *duration;
}

}  // namespace headless
