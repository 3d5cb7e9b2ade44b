#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace kqa {

// Texts cross between the logic (std::string, UTF-8) and the widgets here.
inline QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStdString(const QString& text) {
  return text.toStdString();
}

}  // namespace kqa
