#include "settings/optionsstream.h"

#include <array>
#include <cstdint>

#include "settings/color.h"
#include "settings/fontnames.h"
#include "settings/propertyreader.h"
#include "settings/propertywriter.h"

namespace varnook {

namespace {

// One stored property: how it is written and how a read value is taken over. `apply`
// answers false, leaving the options alone, when the value does not fit the property.
struct StoredProperty {
  std::string_view name;
  void (*write)(PropertyWriter& writer, std::string_view name, const VnkOptions& options);
  bool (*apply)(const PropertyValue& value, VnkOptions& options);
};

template <bool VnkOptions::*field>
void writeBoolean(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  writer.writeBoolean(name, options.*field);
}

template <bool VnkOptions::*field>
bool applyBoolean(const PropertyValue& value, VnkOptions& options) {
  if (!value.isBoolean()) return false;
  options.*field = value.kind == PropertyKind::TrueValue;
  return true;
}

template <std::int32_t VnkOptions::*field>
void writeInteger(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  writer.writeInteger(name, options.*field);
}

template <std::int32_t VnkOptions::*field>
bool applyInteger(const PropertyValue& value, VnkOptions& options) {
  if (!value.isInteger()) return false;
  options.*field = value.integer;
  return true;
}

void writeStringValue(PropertyWriter& writer, std::string_view name, const std::string& text) {
  if (!text.empty()) writer.writeString(name, text);
}

bool applyStringValue(const PropertyValue& value, std::string& text) {
  if (!value.isString()) return false;
  text.assign(value.text);
  return true;
}

template <std::string VnkOptions::*field>
void writeString(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  writeStringValue(writer, name, options.*field);
}

template <std::string VnkOptions::*field>
bool applyString(const PropertyValue& value, VnkOptions& options) {
  return applyStringValue(value, options.*field);
}

void writeColorValue(PropertyWriter& writer, std::string_view name, Color color) {
  if (const auto identifier = colorName(color)) {
    writer.writeIdentifier(name, *identifier);
  } else {
    writer.writeInteger(name, static_cast<std::int32_t>(color));
  }
}

bool applyColorValue(const PropertyValue& value, Color& color) {
  if (value.isInteger()) {
    color = static_cast<Color>(value.integer);
    return true;
  }
  if (value.kind != PropertyKind::Identifier) return false;
  const auto named = colorFromName(value.text);
  if (!named) return false;
  color = *named;
  return true;
}

template <Color VnkOptions::*field>
void writeColor(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  writeColorValue(writer, name, options.*field);
}

template <Color VnkOptions::*field>
bool applyColor(const PropertyValue& value, VnkOptions& options) {
  return applyColorValue(value, options.*field);
}

void writeFontCharset(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  const std::int32_t charset = options.articleFont.charset;
  if (const auto identifier = charsetName(charset)) {
    writer.writeIdentifier(name, *identifier);
  } else {
    writer.writeInteger(name, charset);
  }
}

bool applyFontCharset(const PropertyValue& value, VnkOptions& options) {
  if (value.isInteger()) {
    options.articleFont.charset = value.integer;
    return true;
  }
  if (value.kind != PropertyKind::Identifier) return false;
  const auto charset = charsetFromName(value.text);
  if (!charset) return false;
  options.articleFont.charset = *charset;
  return true;
}

void writeFontColor(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  writeColorValue(writer, name, options.articleFont.color);
}

bool applyFontColor(const PropertyValue& value, VnkOptions& options) {
  return applyColorValue(value, options.articleFont.color);
}

void writeFontHeight(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  writer.writeInteger(name, options.articleFont.height);
}

bool applyFontHeight(const PropertyValue& value, VnkOptions& options) {
  if (!value.isInteger()) return false;
  options.articleFont.height = value.integer;
  return true;
}

void writeFontName(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  writeStringValue(writer, name, options.articleFont.name);
}

bool applyFontName(const PropertyValue& value, VnkOptions& options) {
  return applyStringValue(value, options.articleFont.name);
}

void writeFontPitch(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  if (options.articleFont.pitch != FontPitch::fpDefault) {
    writer.writeIdentifier(name, pitchName(options.articleFont.pitch));
  }
}

bool applyFontPitch(const PropertyValue& value, VnkOptions& options) {
  if (value.kind != PropertyKind::Identifier) return false;
  const auto pitch = pitchFromName(value.text);
  if (!pitch) return false;
  options.articleFont.pitch = *pitch;
  return true;
}

void writeFontStyle(PropertyWriter& writer, std::string_view name, const VnkOptions& options) {
  writer.beginSet(name);  // an empty set is written too
  for (const FontStyleName& style : kFontStyleNames) {
    if (options.articleFont.style & style.bit) writer.addSetMember(style.name);
  }
  writer.endSet();
}

bool applyFontStyle(const PropertyValue& value, VnkOptions& options) {
  if (value.kind != PropertyKind::Set) return false;
  std::uint8_t style = 0;
  for (std::string_view member : value.members) {
    const auto bit = fontStyleFromName(member);
    if (!bit) return false;
    style |= *bit;
  }
  options.articleFont.style = style;
  return true;
}

// Every stored property in the order it is written.
constexpr std::array<StoredProperty, 37> kStoredProperties{{
    {"UseProxy", writeBoolean<&VnkOptions::useProxy>, applyBoolean<&VnkOptions::useProxy>},
    {"ProxyURL", writeString<&VnkOptions::proxyURL>, applyString<&VnkOptions::proxyURL>},
    {"ProxyPort", writeString<&VnkOptions::proxyPort>, applyString<&VnkOptions::proxyPort>},
    {"ProxyUser", writeString<&VnkOptions::proxyUser>, applyString<&VnkOptions::proxyUser>},
    {"ProxyPWD", writeString<&VnkOptions::proxyPWD>, applyString<&VnkOptions::proxyPWD>},
    {"HostList", writeString<&VnkOptions::hostList>, applyString<&VnkOptions::hostList>},
    {"MultiHost", writeBoolean<&VnkOptions::multiHost>, applyBoolean<&VnkOptions::multiHost>},
    {"HitsPerPage", writeInteger<&VnkOptions::hitsPerPage>, applyInteger<&VnkOptions::hitsPerPage>},
    {"MaxRequests", writeInteger<&VnkOptions::maxRequests>, applyInteger<&VnkOptions::maxRequests>},
    {"HighLightLinks", writeBoolean<&VnkOptions::highLightLinks>,
     applyBoolean<&VnkOptions::highLightLinks>},
    {"HighLightQuotes", writeBoolean<&VnkOptions::highLightQuotes>,
     applyBoolean<&VnkOptions::highLightQuotes>},
    {"HighLightKW", writeBoolean<&VnkOptions::highLightKW>, applyBoolean<&VnkOptions::highLightKW>},
    {"ColorG", writeColor<&VnkOptions::colorG>, applyColor<&VnkOptions::colorG>},
    {"ColorGG", writeColor<&VnkOptions::colorGG>, applyColor<&VnkOptions::colorGG>},
    {"ColorGGG", writeColor<&VnkOptions::colorGGG>, applyColor<&VnkOptions::colorGGG>},
    {"ColorGGGG", writeColor<&VnkOptions::colorGGGG>, applyColor<&VnkOptions::colorGGGG>},
    {"KeywordColor", writeColor<&VnkOptions::keywordColor>, applyColor<&VnkOptions::keywordColor>},
    {"LinkColor", writeColor<&VnkOptions::linkColor>, applyColor<&VnkOptions::linkColor>},
    {"UnderlineLink", writeBoolean<&VnkOptions::underlineLink>,
     applyBoolean<&VnkOptions::underlineLink>},
    {"ArticleFont.Charset", writeFontCharset, applyFontCharset},
    {"ArticleFont.Color", writeFontColor, applyFontColor},
    {"ArticleFont.Height", writeFontHeight, applyFontHeight},
    {"ArticleFont.Name", writeFontName, applyFontName},
    {"ArticleFont.Pitch", writeFontPitch, applyFontPitch},
    {"ArticleFont.Style", writeFontStyle, applyFontStyle},
    {"ServiceHost", writeString<&VnkOptions::serviceHost>, applyString<&VnkOptions::serviceHost>},
    {"ServiceDomain", writeString<&VnkOptions::serviceDomain>,
     applyString<&VnkOptions::serviceDomain>},
    {"HomeSite", writeString<&VnkOptions::homeSite>, applyString<&VnkOptions::homeSite>},
    {"TrustedCertificates", writeString<&VnkOptions::trustedCertificates>,
     applyString<&VnkOptions::trustedCertificates>},
    {"TransferTimeout", writeInteger<&VnkOptions::transferTimeout>,
     applyInteger<&VnkOptions::transferTimeout>},
    {"GroupByThread", writeBoolean<&VnkOptions::groupByThread>,
     applyBoolean<&VnkOptions::groupByThread>},
    {"LoadOnSelect", writeBoolean<&VnkOptions::loadOnSelect>,
     applyBoolean<&VnkOptions::loadOnSelect>},
    {"WindowGeometry", writeString<&VnkOptions::windowGeometry>,
     applyString<&VnkOptions::windowGeometry>},
    {"QueriesSplitter", writeString<&VnkOptions::queriesSplitter>,
     applyString<&VnkOptions::queriesSplitter>},
    {"ArticlesSplitter", writeString<&VnkOptions::articlesSplitter>,
     applyString<&VnkOptions::articlesSplitter>},
    {"QueryColumns", writeString<&VnkOptions::queryColumns>,
     applyString<&VnkOptions::queryColumns>},
    {"ArticleColumns", writeString<&VnkOptions::articleColumns>,
     applyString<&VnkOptions::articleColumns>},
}};

const StoredProperty* findProperty(std::string_view name) {
  for (const StoredProperty& property : kStoredProperties) {
    if (property.name == name) return &property;
  }
  return nullptr;
}

void stopReading(OptionsStreamReport& report, PropertyReader::Result result, std::size_t offset,
                 std::string_view what) {
  report.status = result == PropertyReader::Result::Truncated ? OptionsStreamStatus::Truncated
                                                              : OptionsStreamStatus::Malformed;
  report.offset = offset;
  if (report.message.empty()) {
    report.message = std::string(what) + " at byte " + std::to_string(offset);
  }
}

}  // namespace

std::string writeOptionsStream(const VnkOptions& options) {
  PropertyWriter writer(kOptionsClassName, kOptionsComponentName);
  for (const StoredProperty& property : kStoredProperties) {
    property.write(writer, property.name, options);
  }
  return writer.finish();
}

OptionsStreamReport readOptionsStream(std::string_view bytes, VnkOptions& options) {
  OptionsStreamReport report;
  PropertyReader reader(bytes);
  std::string_view className;
  std::string_view componentName;
  PropertyReader::Result result = reader.readHeader(className, componentName);
  if (result != PropertyReader::Result::Item) {
    stopReading(report, result, reader.position(),
                result == PropertyReader::Result::Truncated ? "Options stream cut short"
                                                            : "Not an options stream");
    return report;
  }
  PropertyValue value;
  for (;;) {
    std::string_view name;
    result = reader.readProperty(name, value);
    if (result == PropertyReader::Result::End) break;
    if (result != PropertyReader::Result::Item) {
      stopReading(report, result, reader.position(),
                  result == PropertyReader::Result::Truncated
                      ? "Options stream cut short"
                      : "Unknown value kind in property \"" + std::string(name) + "\"");
      return report;
    }
    const StoredProperty* property = findProperty(name);
    if (property && property->apply(value, options)) {
      ++report.applied;
      continue;
    }
    ++report.skipped;
    if (report.message.empty()) {
      report.message = (property ? "Unusable value for option \"" : "Unknown option \"") +
                       std::string(name) + "\"";
    }
  }
  result = reader.readSubComponentsEnd();
  if (result != PropertyReader::Result::End) {
    stopReading(report, result, reader.position(),
                result == PropertyReader::Result::Truncated ? "Options stream cut short"
                                                            : "Unexpected sub-component");
  }
  return report;
}

}  // namespace varnook
