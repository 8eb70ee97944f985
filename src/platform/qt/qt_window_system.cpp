#include "platform/qt/qt_window_system.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

#include "framework/translation.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/qt_window.h"

namespace platform {
namespace {

constexpr UINT kMbOkCancel = 0x1;
constexpr UINT kMbYesNoCancel = 0x3;
constexpr UINT kMbIconHand = 0x10;
constexpr UINT kMbIconQuestion = 0x20;
constexpr UINT kMbIconAsterisk = 0x40;
constexpr UINT kOfnOverwritePrompt = 0x2;
// An opener that has not failed by then has found something to show the page with.
constexpr qint64 kHelpOpenerAnswersMs = 10000;

QtWindow* AsQt(port::Window* window) { return dynamic_cast<QtWindow*>(window); }

QWidget* OwnerWidget(port::Window* owner) {
    QtWindow* w = AsQt(owner);
    return w ? w->Dialog() : nullptr;
}

// A desk telephone: handset on its cradle over a body with a keypad.
QPixmap DrawTelephone(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const QColor body(0x2b, 0x5d, 0x9c);
    const QColor dark(0x1a, 0x3a, 0x63);
    // Body.
    QPainterPath base;
    base.moveTo(7, 13);
    base.lineTo(25, 13);
    base.lineTo(30, 29);
    base.quadTo(30, 30.5, 28.5, 30.5);
    base.lineTo(3.5, 30.5);
    base.quadTo(2, 30.5, 2, 29);
    base.closeSubpath();
    p.setPen(QPen(dark, 1));
    p.setBrush(body);
    p.drawPath(base);
    // Handset.
    QPainterPath handset;
    handset.moveTo(1.5, 9);
    handset.quadTo(1.5, 3, 16, 3);
    handset.quadTo(30.5, 3, 30.5, 9);
    handset.lineTo(30.5, 11);
    handset.quadTo(30.5, 12.5, 29, 12.5);
    handset.lineTo(24, 12.5);
    handset.quadTo(22.5, 12.5, 22.5, 11);
    handset.lineTo(22.5, 9.5);
    handset.quadTo(16, 8, 9.5, 9.5);
    handset.lineTo(9.5, 11);
    handset.quadTo(9.5, 12.5, 8, 12.5);
    handset.lineTo(3, 12.5);
    handset.quadTo(1.5, 12.5, 1.5, 11);
    handset.closeSubpath();
    p.setBrush(dark);
    p.drawPath(handset);
    // Keypad.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(10.5 + col * 4, 16.5 + row * 4, 3, 2.6), 0.6, 0.6);
    return pm;
}

QIcon TelephoneIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(DrawTelephone(size));
    return icon;
}

}  // namespace

std::string ToQtFileFilter(std::string_view filter) {
    // Pairs of name and pattern, ended by an empty name.
    QStringList parts = FromUtf8(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i];
        if (name.isEmpty()) break;
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        for (QString& pat : patterns) {
            pat = pat.trimmed();
            // "*.*" means every file on Windows, dotted or not.
            if (pat == "*.*") pat = "*";
        }
        // A name that already shows its patterns, "Data(*.vtl)", is shown as it is.
        const QString shown = patterns.join(' ');
        if (name.endsWith('(' + shown + ')'))
            out << name;
        else
            out << QStringLiteral("%1 (%2)").arg(name, shown);
    }
    return out.join(QStringLiteral(";;")).toStdString();
}

QtWindowSystem::QtWindowSystem() = default;
QtWindowSystem::~QtWindowSystem() {
    // An opener still running is ended with the program, without a word.
    if (openers_)
        for (QProcess* opener : openers_->findChildren<QProcess*>()) opener->disconnect();
}

void QtWindowSystem::SetIconPath(int iconId, std::string path) {
    iconPaths_[iconId] = std::move(path);
    icons_.erase(iconId);
}

QIcon QtWindowSystem::Icon(int iconId) const {
    if (auto cached = icons_.find(iconId); cached != icons_.end()) return cached->second;
    QIcon icon;
    if (auto it = iconPaths_.find(iconId); it != iconPaths_.end()) {
        const QString path = QString::fromStdString(it->second);
        if (QFileInfo::exists(path)) icon = QIcon(path);
    }
    if (icon.isNull()) icon = TelephoneIcon();
    icons_[iconId] = icon;
    return icon;
}

std::unique_ptr<port::Window> QtWindowSystem::Create(const res::DialogTemplate& tmpl,
                                                     port::Window* owner,
                                                     port::WindowEvents& events) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    return std::make_unique<QtWindow>(*this, tmpl, AsQt(owner), events);
}

int QtWindowSystem::RunModal(port::Window& window) {
    QtWindow* w = AsQt(&window);
    if (!w) return -1;
    running_.push_back(w);
    const int result = w->RunModal();
    running_.pop_back();
    Reactivate(w->Dialog() ? w->Dialog()->parentWidget() : nullptr);
    return result;
}

// Gives the keyboard back to the innermost modal window once a box above it
// has closed, whichever window the box named as its owner. A window manager
// would do it, but without one the keys would go nowhere.
void QtWindowSystem::Reactivate(QWidget* owner) const {
    QWidget* target = nullptr;
    for (auto it = running_.rbegin(); it != running_.rend() && !target; ++it)
        if ((*it)->Dialog() && (*it)->Dialog()->isVisible()) target = (*it)->Dialog();
    if (!target && owner) target = owner->window();
    if (target && target->isVisible()) target->activateWindow();
}

void QtWindowSystem::EndModal(port::Window& window, int result) {
    if (QtWindow* w = AsQt(&window)) w->EndModal(result);
}

int QtWindowSystem::MessageBox(port::Window* owner, std::string_view text,
                               std::string_view caption, UINT style) {
    QMessageBox box(OwnerWidget(owner));
    box.setWindowTitle(FromUtf8(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(FromUtf8(text));
    switch (style & MB_ICONMASK) {
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case kMbIconHand: box.setIcon(QMessageBox::Critical); break;
    case kMbIconQuestion: box.setIcon(QMessageBox::Question); break;
    case kMbIconAsterisk: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    switch (style & MB_TYPEMASK) {
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case kMbYesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case kMbOkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    }
    // Ours, not Qt's: the buttons speak the program's language with its accelerators.
    for (auto [button, text] : {std::pair{QMessageBox::Ok, "OK"}, {QMessageBox::Cancel, "Cancel"},
                                {QMessageBox::Yes, "&Yes"}, {QMessageBox::No, "&No"}})
        if (QAbstractButton* b = box.button(button)) b->setText(FromUtf8(fw::Tr(text)));
    box.exec();
    Reactivate(OwnerWidget(owner));
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Ok: return IDOK;
    default:
        // Closed without a button: the box's escape answer.
        switch (style & MB_TYPEMASK) {
        case MB_YESNO: return IDNO;
        case MB_OK: return IDOK;
        default: return IDCANCEL;
        }
    }
}

std::optional<std::string> QtWindowSystem::FileDialog(port::Window* owner,
                                                      const port::FileDialogRequest& request) {
    QFileDialog dialog(OwnerWidget(owner));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (request.open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!(request.flags & kOfnOverwritePrompt)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    const std::string filter = ToQtFileFilter(request.filter);
    if (!filter.empty()) dialog.setNameFilters(QString::fromStdString(filter).split(";;"));
    QString ext = FromUtf8(request.defaultExt);
    while (ext.startsWith('*') || ext.startsWith('.')) ext.remove(0, 1);
    if (!ext.isEmpty()) dialog.setDefaultSuffix(ext);
    // A folder that has gone since (a list file moved away) gives way to the documents folder.
    QFileInfo folder(FromUtf8(request.folder));
    if (request.folder.empty() || !folder.isDir()) folder.setFile(FromUtf8(DocumentsFolder()));
    if (folder.isDir()) dialog.setDirectory(folder.absoluteFilePath());
    if (!request.fileName.empty()) dialog.selectFile(FromUtf8(request.fileName));
    const int answer = dialog.exec();
    Reactivate(OwnerWidget(owner));
    if (answer != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return QFileInfo(files.first()).absoluteFilePath().toStdString();
}

int QtWindowSystem::SystemMetric(int index) const {
    switch (index) {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    default:
        return 0;
    }
}

std::string QtWindowSystem::DocumentsFolder() const {
    // The XDG user folder (XDG_DOCUMENTS_DIR in user-dirs.dirs), else the home folder.
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty() || !QFileInfo(docs).isDir()) docs = QDir::homePath();
    return docs.toStdString();
}

bool QtWindowSystem::OpenHelp(const std::string& path, std::function<void()> failedLater) {
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
    // The desktop's opener is run here rather than through QDesktopServices,
    // which says only that it started it: xdg-open that finds no browser
    // fails a moment later, and the user would see nothing.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return QDesktopServices::openUrl(url);
    // Owned by the window system, so that none outlives it.
    if (!openers_) openers_ = std::make_unique<QObject>();
    auto* process = new QProcess(openers_.get());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer started;
    started.start();
    QObject::connect(process, &QProcess::finished, process,
                     [process, started, failedLater](int code, QProcess::ExitStatus status) {
                         // An opener that runs the browser in its own place ends
                         // when the browser does; only a prompt failure is one.
                         if ((status != QProcess::NormalExit || code != 0) &&
                             started.elapsed() < kHelpOpenerAnswersMs && failedLater)
                             failedLater();
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, failedLater](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         if (failedLater) failedLater();
                         process->deleteLater();
                     });
    process->start(opener, {url.toString(QUrl::FullyEncoded)});
    return true;
}

std::optional<std::string> QtWindowSystem::ClipboardText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return std::nullopt;
    return data->text().toStdString();
}

void QtWindowSystem::SetClipboardText(std::string_view text) {
    QGuiApplication::clipboard()->setText(FromUtf8(text));
}

}  // namespace platform
