#include "server/textutil.h"

#include <cstdint>
#include <fstream>
#include <sstream>

#include "archive/charset.h"

namespace varnook::server {
namespace {

// Length of the valid UTF-8 sequence starting at text[i], 0 when there is none.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t code = 0;
  std::uint32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool isDroppedControl(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string toDisplayUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (!isDroppedControl(c)) out += static_cast<char>(c);
      ++i;
      continue;
    }
    if (const std::size_t length = utf8SequenceLength(text, i)) {
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    if (c >= 0xA0) {
      appendUtf8(out, c);
    } else if (!isUnassignedWindows1252(c)) {
      appendUtf8(out, windows1252Char(c));
    }
    ++i;
  }
  return out;
}

std::string htmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string htmlText(std::string_view text) {
  return htmlEscape(toDisplayUtf8(text));
}

std::string singleLine(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c == '\r' || c == '\n') {
      // A folded line continues after its leading white space; keep one blank for it.
      if (!out.empty() && out.back() != ' ') out += ' ';
      while (i + 1 < value.size() && (value[i + 1] == ' ' || value[i + 1] == '\t' ||
                                      value[i + 1] == '\r' || value[i + 1] == '\n'))
        ++i;
      continue;
    }
    out += (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
  }
  return std::string(trimBlanks(out));
}

std::string asciiLowered(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<std::string> readConfigurationFile(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace varnook::server
