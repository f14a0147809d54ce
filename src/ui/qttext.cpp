#include "ui/qttext.h"

#include <QTime>
#include <cmath>

#include "archive/charset.h"
#include "viewer/displaytext.h"

namespace varnook {
namespace {

const QDate kDayZero(1899, 12, 30);
constexpr qint64 kMsPerDay = 86400000;

}  // namespace

QString decodeBytes(std::string_view bytes) {
  if (isValidUtf8(bytes))
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text += QChar(windows1252Char(b));
  }
  return text;
}

std::string encodeText(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

QDateTime toQDateTime(DayDate date) {
  if (!(date >= 0)) date = 0;  // also NaN
  double whole = std::floor(date);
  auto ms = static_cast<qint64>(std::llround((date - whole) * kMsPerDay));
  if (ms >= kMsPerDay) {
    whole += 1;
    ms = 0;
  }
  return QDateTime(kDayZero.addDays(static_cast<qint64>(whole)),
                   QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

DayDate fromQDateTime(const QDateTime& dateTime) {
  const qint64 days = kDayZero.daysTo(dateTime.date());
  const int ms = dateTime.time().msecsSinceStartOfDay();
  return static_cast<double>(days) + static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

}  // namespace varnook
