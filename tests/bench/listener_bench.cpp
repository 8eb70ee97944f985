// What a listener hears from the sound server, measured from a recording of
// what its sink rendered. Run through listener_bench.sh.
//
//   listener_bench record PREFIX
//       Copies raw 16-bit mono samples from stdin into PREFIX.raw until end of
//       input, and notes in PREFIX.times when each read arrived: the sample
//       counts before and after it and the CLOCK_REALTIME seconds.
//   listener_bench press KEYSYM
//       Presses a key on the X display and lets it go; prints the CLOCK_REALTIME
//       seconds just before the release was sent and once the server had it
//       (buttons act on the release).
//   listener_bench now
//       Prints the CLOCK_REALTIME seconds.
//   listener_bench analyse PREFIX RATE EVENTS
//       EVENTS holds one line per thing set off: "KIND EXPECTED WAIT BEFORE
//       AFTER", KIND one of dial, key, key-typing, aplay-dial, aplay-key;
//       EXPECTED the symbols it should sound; WAIT the gap due between them
//       in ms; BEFORE and
//       AFTER the seconds around the press. The sound that starts after one
//       event and before the next is that event's. Prints, per kind and wait:
//       how many were intact (every symbol, in order, each tone 95-105 ms), how
//       many began with their first tone, the tone lengths, the gap errors and
//       the time from the press to the first sample.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include "bench/clock_and_keys.h"
#include "support/goertzel.h"

namespace {

int Record(const std::string& prefix) {
    // Room for a second and more of sound, should the reader be held up.
    fcntl(0, F_SETPIPE_SZ, 1 << 20);
    FILE* raw = std::fopen((prefix + ".raw").c_str(), "wb");
    FILE* times = std::fopen((prefix + ".times").c_str(), "w");
    if (raw == nullptr || times == nullptr) return 1;
    std::vector<char> buf(1 << 16);
    unsigned long long bytes = 0;
    for (;;) {
        const ssize_t n = read(0, buf.data(), buf.size());
        const double at = Now();
        if (n <= 0) break;
        std::fwrite(buf.data(), 1, static_cast<size_t>(n), raw);
        const unsigned long long before = bytes / 2;
        bytes += static_cast<unsigned long long>(n);
        std::fprintf(times, "%llu %llu %.6f\n", before, bytes / 2, at);
    }
    std::fclose(raw);
    std::fclose(times);
    return 0;
}

struct Event {
    std::string kind, expected;
    int waitMs = 0;
    double before = 0, after = 0;
};

struct Arrival {
    double first, count, at;
};

// When a sample was rendered. A read arrives no earlier than its first
// sample was rendered, so the time of sample 0 is at most its arrival less
// the samples before it; the reads that came promptly give the tightest
// bound. Only reads near the moment asked about count, so that samples a
// recorder lost earlier do not shift it.
double SampleTime(const std::vector<Arrival>& arrivals, double rate, double sample, double around) {
    double origin = 1e300;
    for (const auto& a : arrivals)
        if (std::fabs(a.at - around) < 3.0) origin = std::min(origin, a.at - a.first / rate);
    if (origin == 1e300)
        for (const auto& a : arrivals) origin = std::min(origin, a.at - a.first / rate);
    return origin + sample / rate;
}

struct Summary {
    int count = 0, intact = 0, firstPresent = 0, firstWhole = 0;
    std::vector<double> lengths, gapErrors, toFirst;
    std::string failures;
};

double Median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[(v.size() - 1) / 2];
}
double Max(const std::vector<double>& v) { return v.empty() ? NAN : *std::max_element(v.begin(), v.end()); }
double Min(const std::vector<double>& v) { return v.empty() ? NAN : *std::min_element(v.begin(), v.end()); }

int Analyse(const std::string& prefix, double rate, const std::string& eventsPath) {
    std::ifstream in(prefix + ".raw", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const auto samples = goertzel::SamplesFromBytes(bytes);
    std::vector<Arrival> arrivals;
    {
        std::ifstream t(prefix + ".times");
        Arrival a{};
        while (t >> a.first >> a.count >> a.at) arrivals.push_back(a);
    }
    std::vector<Event> events;
    {
        std::ifstream e(eventsPath);
        Event ev;
        while (e >> ev.kind >> ev.expected >> ev.waitMs >> ev.before >> ev.after) events.push_back(ev);
    }
    // Tones are 100 ms and the gaps due at least 10 ms; 5 ms of silence parts them.
    const auto bursts = goertzel::SplitBursts(samples, rate, 5.0);
    std::vector<double> burstAt(bursts.size());
    for (size_t i = 0; i < bursts.size(); ++i) {
        // Look up the time near a rough guess first: the whole-recording origin.
        const double rough = SampleTime(arrivals, rate, static_cast<double>(bursts[i].begin), -1e9);
        burstAt[i] = SampleTime(arrivals, rate, static_cast<double>(bursts[i].begin), rough);
    }

    // Cycles the sink skipped (or the recorder lost) leave later samples
    // arriving later than their count says; a sink catching up, earlier. Seen
    // second by second, as steps in the time of sample 0.
    if (!arrivals.empty()) {
        double skipped = 0, regained = 0, previous = NAN;
        int steps = 0;
        for (size_t i = 0; i < arrivals.size();) {
            double origin = 1e300;
            const double second = std::floor(arrivals[i].at);
            for (; i < arrivals.size() && std::floor(arrivals[i].at) == second; ++i)
                origin = std::min(origin, arrivals[i].at - arrivals[i].first / rate);
            if (!std::isnan(previous) && std::fabs(origin - previous) > 0.002) {
                ++steps;
                (origin > previous ? skipped : regained) += std::fabs(origin - previous);
            }
            previous = origin;
        }
        std::printf("recorded %.1f s of sound in %.1f s; the sink's clock skipped %.0f ms and caught up %.0f ms "
                    "in %d steps\n",
                    arrivals.back().count / rate, arrivals.back().at - arrivals.front().at, skipped * 1000,
                    regained * 1000, steps);
    }
    std::map<std::string, Summary> summaries;
    size_t b = 0;
    for (size_t e = 0; e < events.size(); ++e) {
        const Event& ev = events[e];
        // A sample's time is known to within the sink's blocks, so a little
        // before a press belongs to it already.
        constexpr double kSlack = 0.05;
        const double from = ev.before - kSlack;
        const double to = e + 1 < events.size() ? events[e + 1].before - kSlack : 1e300;
        while (b < bursts.size() && burstAt[b] < from) ++b;
        std::string heard;
        std::vector<double> lengths, gaps;
        double first = NAN;
        for (size_t i = b; i < bursts.size() && burstAt[i] < to; ++i) {
            heard += bursts[i].symbol ? bursts[i].symbol : '?';
            lengths.push_back((bursts[i].end - bursts[i].begin) / rate * 1000);
            if (i == b) first = burstAt[i];
            else gaps.push_back((static_cast<double>(bursts[i].begin) - bursts[i - 1].end) / rate * 1000);
        }
        const std::string key = ev.kind + (ev.kind == "dial" ? " PlayWait " + std::to_string(ev.waitMs) : "");
        Summary& s = summaries[key];
        ++s.count;
        const bool whole = std::all_of(lengths.begin(), lengths.end(),
                                       [](double l) { return l >= 95 && l <= 105; });
        if (heard == ev.expected && whole) ++s.intact;
        else s.failures += " '" + heard + "'";
        if (!heard.empty() && heard[0] == ev.expected[0]) {
            ++s.firstPresent;
            if (lengths[0] >= 95 && lengths[0] <= 105) ++s.firstWhole;
        }
        s.lengths.insert(s.lengths.end(), lengths.begin(), lengths.end());
        // Gaps count where the right tones were heard, so that each compares
        // like with like; aplay's are its start-up, nothing to compare with.
        if (heard == ev.expected && ev.kind.rfind("aplay", 0) != 0)
            for (double g : gaps) s.gapErrors.push_back(std::fabs(g - ev.waitMs));
        if (!std::isnan(first)) s.toFirst.push_back((first - ev.after) * 1000);
    }

    for (const auto& [key, s] : summaries) {
        std::printf("%-17s intact %2d/%-2d  first tone present %2d/%-2d (whole %2d)  tones %.1f-%.1f ms (median %.1f)",
                    key.c_str(), s.intact, s.count, s.firstPresent, s.count, s.firstWhole, Min(s.lengths),
                    Max(s.lengths), Median(s.lengths));
        if (!s.gapErrors.empty())
            std::printf("  gap error median %.1f max %.1f ms", Median(s.gapErrors), Max(s.gapErrors));
        std::printf("  press to first sample median %.0f max %.0f ms\n", Median(s.toFirst), Max(s.toFirst));
        if (!s.failures.empty()) std::printf("    heard instead:%s\n", s.failures.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && !std::strcmp(argv[1], "record")) return Record(argv[2]);
    if (argc >= 3 && !std::strcmp(argv[1], "press")) return Press(argv[2]);
    if (argc >= 2 && !std::strcmp(argv[1], "now")) return std::printf("%.6f\n", Now()) < 0;
    if (argc >= 5 && !std::strcmp(argv[1], "analyse")) return Analyse(argv[2], std::atof(argv[3]), argv[4]);
    std::fprintf(stderr,
                 "usage: %s record PREFIX\n"
                 "       %s press KEYSYM\n"
                 "       %s now\n"
                 "       %s analyse PREFIX RATE EVENTS\n",
                 argv[0], argv[0], argv[0], argv[0]);
    return 2;
}
