#pragma once
// Runs the real program on the headless window system with a profile in a
// temporary directory; tests script the user and read back what happened.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/dialer_app.h"
#include "dialer/dialer_dlg.h"
#include "output/tones.h"
#include "framework/profile_store.h"
#include "platform/headless/headless.h"
#include "settings/profile_keys.h"
#include "support/temp_dir.h"

namespace testing_support {

// The symbol whose clip a recorded sound is, or '?' when it is none of them.
inline char SymbolOfSound(const headless::SoundRecord& s) {
    for (const ToneEntry& t : ToneTable()) {
        auto clip = FindDtmfClip(t.clipId);
        if (clip.size() == s.wave.size() && std::equal(clip.begin(), clip.end(), s.wave.begin()))
            return t.symbol;
    }
    return '?';
}

// The program's application object, logging every profile write in order.
class LoggingApp : public CDialerApp {
public:
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override {
        writes.push_back(std::string(section) + "/" + std::string(entry) + "=" +
                         std::to_string(value));
        return CDialerApp::WriteProfileInt(section, entry, value);
    }
    bool WriteProfileString(std::string_view section, std::string_view entry,
                            std::string_view value) override {
        writes.push_back(std::string(section) + "/" + std::string(entry) + "=" +
                         std::string(value));
        return CDialerApp::WriteProfileString(section, entry, value);
    }
    std::vector<std::string> writes;
};

class DialerTest : public ::testing::Test {
protected:
    DialerTest() {
        app.AttachPlatform(&ui, &ui, nullptr);
        app.SetProfilePath(ProfilePath());
    }

    std::string ProfilePath() const { return dir / "vantrel.ini"; }
    std::string Profile() const { return ReadFileBytes(ProfilePath()); }
    void SetProfile(const std::string& text) { WriteFileBytes(ProfilePath(), text); }

    // Runs the dialer window as the program does, keeping the window object for
    // the test to look at afterwards; returns how the window ended.
    int Run() {
        dlg_ = std::make_unique<CDialerDlg>();
        app.m_pMainWnd = dlg_.get();
        return dlg_->DoModal();
    }

    // Runs the whole program, start-up to shutdown.
    int RunProgram() {
        dlg_.reset();
        app.Start();
        return app.LastDialogResult();
    }

    CDialerDlg& Dlg() { return dlg_ ? *dlg_ : *static_cast<CDialerDlg*>(app.m_pMainWnd); }
    headless::HeadlessWindow& Win() { return *ui.Top(); }
    std::string Text(int id) { return Win().Text(id); }
    bool Checked(int id) { return Win().Checked(id); }

    // The symbols heard so far, in order.
    std::string Heard() const {
        std::string s;
        for (const auto& r : ui.Sounds()) s += SymbolOfSound(r);
        return s;
    }

    TempDir dir;
    headless::HeadlessSystem ui;
    LoggingApp app;

private:
    std::unique_ptr<CDialerDlg> dlg_;
};

}  // namespace testing_support
