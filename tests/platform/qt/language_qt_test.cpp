// Real Qt windows (offscreen platform) in each language: every label, title and
// message box button shows the catalog's text. The QApplication comes from the
// environment registered in qt_window_system_test.cpp.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "framework/translation.h"
#include "platform/qt/qt_window.h"
#include "platform/qt/qt_window_system.h"
#include "resources/resource_ids.h"
#include "framework/dialog_template.h"

namespace fw {
// Test names and failures show the language by its catalog's name.
void PrintTo(const Language& language, std::ostream* out) { *out << '"' << language.code << '"'; }
}  // namespace fw

namespace {

struct Quiet : port::WindowEvents {
    void OnCommandEvent(int, UINT) override {}
    void OnTimerEvent(UINT) override {}
    void OnSysCommandEvent(UINT, long) override {}
    void OnVScrollEvent(UINT, int) override {}
    void OnPaintEvent() override {}
};

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// What a control shows, as the user reads it (Qt's '&' marks removed).
QString Shown(const QWidget* w) {
    QString text;
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        text = b->text();
    } else if (auto* l = qobject_cast<const QLabel*>(w)) {
        text = l->text();
    } else if (auto* g = qobject_cast<const QGroupBox*>(w)) {
        text = g->title();
    }
    return text.remove('&');
}

class LanguageQtTest : public ::testing::TestWithParam<fw::Language> {
protected:
    void SetUp() override { fw::SetLanguage(GetParam()); }
    void TearDown() override { fw::SetLanguage(fw::Language::Source); }
    platform::QtWindowSystem ws;
};

TEST_P(LanguageQtTest, WindowsShowTheCatalogsTexts) {
    for (int id : {res::IDD_DIALER, res::IDD_OPTION, res::IDD_ABOUTBOX}) {
        const res::DialogTemplate& source = *res::FindDialogTemplate(id);
        Quiet events;
        std::unique_ptr<port::Window> window = ws.Create(*fw::TranslatedTemplate(id), nullptr, events);
        auto* qt = dynamic_cast<platform::QtWindow*>(window.get());
        ASSERT_NE(qt, nullptr);
        EXPECT_EQ(qt->Dialog()->windowTitle(), Q(fw::Tr(source.caption)));
        QStringList shown;
        for (const QWidget* w : qt->Dialog()->findChildren<QWidget*>())
            if (QString text = Shown(w); !text.isEmpty()) shown << text;
        int checked = 0;
        for (const auto& c : source.controls) {
            const bool labelled = c.kind == res::ControlKind::PushButton ||
                                  c.kind == res::ControlKind::Static ||
                                  c.kind == res::ControlKind::GroupBox ||
                                  c.kind == res::ControlKind::RadioButton;
            if (!labelled || c.text.empty() || !(c.style & WS_VISIBLE)) continue;
            const QString expected = Q(fw::Tr(c.text)).remove('&');
            EXPECT_TRUE(shown.contains(expected)) << id << ": " << expected.toStdString();
            ++checked;
        }
        EXPECT_GE(checked, 2);
    }
}

TEST_P(LanguageQtTest, MessageBoxButtonsSpeakTheLanguage) {
    QStringList seen;
    QTimer::singleShot(100, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons()) seen << b->text();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(ws.MessageBox(nullptr, "?", "Vantrel", MB_YESNO), IDNO);
    seen.sort();
    QStringList expected{Q(fw::Tr("&Yes")), Q(fw::Tr("&No"))};
    expected.sort();
    EXPECT_EQ(seen, expected);
    if (GetParam() == fw::Language::Japanese) {
        EXPECT_TRUE(seen.contains(QString::fromUtf8("はい(&Y)")));
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageQtTest,
                         ::testing::Values(fw::Language::English, fw::Language::Japanese),
                         [](const auto& info) {
                             return info.param == fw::Language::English ? "English" : "Japanese";
                         });

}  // namespace
