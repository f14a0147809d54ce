#pragma once

// Spans as short texts for the viewer's tests: "start-end colour", the colour by name or in
// hexadecimal, with "/zOrder" when it is not 0.

#include <iomanip>
#include <map>
#include <sstream>
#include <string>

#include "viewer/keydescr.h"

namespace varnook::testing {

inline std::string spanText(const KeyDescrList& spans) {
  static const std::map<Color, std::string> names = {{clRed, "red"},   {clBlue, "blue"},
                                                     {clGray, "gray"}, {clLime, "lime"},
                                                     {clNavy, "navy"}, {clWindow, "window"}};
  std::ostringstream out;
  for (const KeyDescr& k : spans) {
    out << (out.tellp() > 0 ? " " : "") << k.startPos << "-" << k.endPos << " ";
    const auto name = names.find(k.color);
    if (name != names.end()) {
      out << name->second;
    } else {
      out << std::hex << std::uppercase << std::setw(6) << std::setfill('0') << k.color << std::dec;
    }
    if (k.zOrder != 0) out << "/" << static_cast<int>(k.zOrder);
  }
  return out.str();
}

}  // namespace varnook::testing
