#pragma once

#include <QDateTime>
#include <QString>
#include <string>
#include <string_view>

#include "base/daydate.h"

namespace varnook {

// How the window turns the collection's byte strings into text and back. Bytes that are
// valid UTF-8 are shown as UTF-8, anything else as Windows-1252; what the user types goes
// into the collection as UTF-8.
QString decodeBytes(std::string_view bytes);
std::string encodeText(const QString& text);

// Day-count dates (days since 1899-12-30, the fraction the local time of day) as local
// date-times and back. Only non-negative day counts name a date.
QDateTime toQDateTime(DayDate date);
DayDate fromQDateTime(const QDateTime& dateTime);

}  // namespace varnook
