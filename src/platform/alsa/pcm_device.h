#pragma once
// The few things the sound output asks of a PCM. Behind this seam sits ALSA;
// a test stands in a device that runs dry or drops what it holds at chosen
// moments. Errors are negative errno values, as ALSA gives them.

#include <memory>
#include <string>

namespace platform {

struct PcmFormat {
    unsigned channels = 0;
    unsigned rate = 0;
    unsigned bits = 0;  // 8 (unsigned), 16, 24 (packed) or 32, little endian
    bool operator==(const PcmFormat&) const = default;
};

// Sizes in frames.
struct PcmSizes {
    long buffer = 0;
    long period = 0;
};

class PcmDevice {
public:
    virtual ~PcmDevice() = default;
    // The buffer and period the device granted.
    virtual PcmSizes Sizes() const = 0;
    // Sets the stream to start by itself once this many frames are queued,
    // and to count as ready for writing once this many frames are free.
    virtual int SetThresholds(long startFrames, long readyFrames) = 0;
    // Frames there is room for; -EPIPE after an underrun.
    virtual long Avail() = 0;
    // Frames written and not yet heard, the server's own latency included;
    // negative when it cannot tell.
    virtual long Delay() = 0;
    // Writes up to n frames; the number written, or -EPIPE/-ESTRPIPE when the
    // stream has run dry or been suspended (and so dropped what it held).
    virtual long Write(const void* frames, unsigned long n) = 0;
    virtual bool Running() = 0;
    virtual int Start() = 0;
    // Makes the stream writable again after err; everything queued is gone.
    virtual int Recover(int err) = 0;
    // Stops at once, dropping what is queued, and readies the next start.
    virtual void Drop() = 0;
    // Lets what is queued play out.
    virtual void Drain() = 0;
    // Sleeps up to timeoutMs (forever when negative), until wakeFd is
    // readable or, when onDevice, the device is ready for writing.
    virtual void Wait(int wakeFd, bool onDevice, int timeoutMs) = 0;
};

// Opens and sets up a PCM by name for format, with a period and buffer near
// the wishes; nothing when the device cannot be opened or play the format.
std::unique_ptr<PcmDevice> OpenAlsaPcm(const std::string& name, const PcmFormat& format,
                                       unsigned periodUs, unsigned bufferUs);

}  // namespace platform
