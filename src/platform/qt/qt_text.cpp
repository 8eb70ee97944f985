#include "platform/qt/qt_text.h"

#include <QValidator>

#include <algorithm>

#include "framework/byte_text.h"
#include "framework/edit_limit.h"

namespace platform {
namespace {

// Holds a field to its limit as framework/edit_limit.h says. A text the
// program sets (while `programmatic` is on) is taken whole.
class ByteLimitValidator : public QValidator {
public:
    ByteLimitValidator(int bytes, const QString& text, const bool& programmatic, QObject* parent)
        : QValidator(parent), bytes_(bytes), last_(text), programmatic_(programmatic) {}
    State validate(QString& input, int& pos) const override {
        const std::u16string_view before(reinterpret_cast<const char16_t*>(last_.utf16()), size_t(last_.size()));
        const std::u16string_view after(reinterpret_cast<const char16_t*>(input.utf16()), size_t(input.size()));
        if (!programmatic_) {
            const fw::FittedEdit fitted = fw::FitEditToLimit(before, after, size_t(std::max(pos, 0)), bytes_);
            if (fitted.text != after) {
                // Qt puts the text back as it was before a refused edit.
                if (fitted.text == before) return Invalid;
                input = QString::fromUtf16(fitted.text.data(), qsizetype(fitted.text.size()));
                pos = int(fitted.caret);
            }
        }
        last_ = input;
        return Acceptable;
    }

private:
    int bytes_;
    mutable QString last_;  // what the field held after the last edit it took
    const bool& programmatic_;
};

}  // namespace

QString FromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// A control's text carries the program's bytes exactly (see byte_text.h).
QString FromBytes(std::string_view bytes) {
    const std::u16string u = fw::BytesToUtf16(bytes);
    return QString::fromUtf16(u.data(), qsizetype(u.size()));
}

std::string ToBytes(const QString& text) {
    return fw::Utf16ToBytes(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                size_t(text.size())));
}

QString ShownText(const QString& text, bool noPrefix) {
    if (noPrefix) return text;
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

QValidator* NewByteLimitValidator(int bytes, const QString& text, const bool& programmatic,
                                  QObject* parent) {
    return new ByteLimitValidator(bytes, text, programmatic, parent);
}

}  // namespace platform
