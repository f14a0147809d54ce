#include "ui/qttext.h"

#include <QTime>
#include <cmath>

#include "viewer/displaytext.h"

namespace varnook {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones keep their C1 code points.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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
    text += QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
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
