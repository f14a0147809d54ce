#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "archive/service.h"
#include "settings/color.h"

namespace varnook {

enum class FontPitch { fpDefault, fpVariable, fpFixed };

// Style bits of a font, as stored ("fsBold", "fsItalic", "fsUnderline", "fsStrikeOut").
enum FontStyle : std::uint8_t {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
  fsStrikeOut = 8,
};

// The article viewer's font. The height is in the stored convention: negative values are
// character heights in pixels, positive ones cell heights.
struct FontSpec {
  std::int32_t charset = 1;  // DEFAULT_CHARSET
  Color color = clWindowText;
  std::int32_t height = -13;
  std::string name = "MS Sans Serif";
  FontPitch pitch = FontPitch::fpDefault;
  std::uint8_t style = 0;  // FontStyle bits

  bool operator==(const FontSpec&) const = default;
};

// The program's options with their defaults. The option store writes and reads them as a
// property stream in this declaration order.
struct VnkOptions {
  bool useProxy = false;
  std::string proxyURL;
  std::string proxyPort;
  std::string proxyUser;
  std::string proxyPWD;
  std::string hostList = "www,x1,x2,x3,x4,x5,x6,x7,x8,x9,x10,x11,x12,x13,x14,x15";
  bool multiHost = true;
  std::int32_t hitsPerPage = 40;  // the dialog allows 10..200
  std::int32_t maxRequests = 4;   // the dialog allows 1..100
  bool highLightLinks = true;
  bool highLightQuotes = true;
  bool highLightKW = true;
  Color colorG = 0x404040;
  Color colorGG = clGreen;
  Color colorGGG = 0x00C000;
  Color colorGGGG = 0x00F000;
  Color keywordColor = clRed;
  Color linkColor = clNavy;
  bool underlineLink = true;
  FontSpec articleFont;
  // Where the archive service and the home site are; values may carry a port. A service
  // host written "https://host[:port]" makes every URL of the service use HTTPS.
  std::string serviceHost = "localhost:8119";
  std::string serviceDomain = "localhost:8119";
  std::string homeSite = "http://localhost:8119/varnook/update.txt";
  // A PEM file of certificates trusted for HTTPS besides the system's store; empty: none.
  std::string trustedCertificates;
  // Seconds a transfer may take in all, however steadily data trickles in (besides the
  // minute of silence that ends any transfer); the dialog allows 10..3600.
  std::int32_t transferTimeout = 300;
  // The Articles page shows reply trees instead of a flat list.
  bool groupByThread = false;
  // Selecting an article whose text is missing starts its download.
  bool loadOnSelect = true;
  // The window as the user arranged it, written by the window, read back at the next run:
  // its geometry (the toolkit's own form, base64), the sizes of the Queries and Articles
  // pages' splitters ("380,200"), and the columns of the two lists (see the window's
  // layout code for their form). Empty: the window's defaults.
  std::string windowGeometry;
  std::string queriesSplitter;
  std::string articlesSplitter;
  std::string queryColumns;
  std::string articleColumns;

  bool operator==(const VnkOptions&) const = default;

  // Brings the counts into the ranges the options dialog allows; a stored file may hold
  // anything (no transfers at once would stall every download).
  void clampToDialogRanges() {
    hitsPerPage = std::clamp(hitsPerPage, 10, 200);
    maxRequests = std::clamp(maxRequests, 1, 100);
  }

  // The service settings that the URL builder reads, taken at the moment of use.
  ServiceSettings serviceSettings() const {
    ServiceSettings s;
    s.serviceHost = serviceHost;
    s.serviceDomain = serviceDomain;
    s.hostList = hostList;
    s.multiHost = multiHost;
    s.hitsPerPage = hitsPerPage;
    return s;
  }
};

}  // namespace varnook
