#pragma once
// Text between the program and Qt: a control's text carries the program's
// bytes exactly (framework/byte_text.h), and a limited field keeps to its
// limit as framework/edit_limit.h says.

#include <QString>

#include <string>
#include <string_view>

class QObject;
class QValidator;

namespace platform {

QString FromUtf8(std::string_view s);
QString FromBytes(std::string_view bytes);
std::string ToBytes(const QString& text);

// What a label shows: its access key marker is not drawn.
QString ShownText(const QString& text, bool noPrefix);

// Holds a line edit holding `text` to `bytes` bytes. A text the program sets
// while `programmatic` is on is taken whole.
QValidator* NewByteLimitValidator(int bytes, const QString& text, const bool& programmatic,
                                  QObject* parent);

}  // namespace platform
