#include "mail/mailidentity.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "archive/charset.h"
#include "base/wholefile.h"
#include "desktop/keyfile.h"

namespace varnook {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A JavaScript string literal starting at text[pos] (the opening quote); returns the
// decoded text and moves pos behind the closing quote. Nothing when it is not closed.
std::optional<std::string> jsString(std::string_view text, std::size_t& pos) {
  const char quote = text[pos];
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == quote) {
      ++pos;
      return out;
    }
    if (c != '\\' || pos + 1 == text.size()) {
      out += c;
      continue;
    }
    const char e = text[++pos];
    if (e == 'n') {
      out += '\n';
    } else if (e == 't') {
      out += '\t';
    } else if (e == 'u' && pos + 4 < text.size()) {
      unsigned code = 0;
      bool ok = true;
      for (std::size_t i = 1; i <= 4; ++i) {
        const char h = text[pos + i];
        code <<= 4;
        if (h >= '0' && h <= '9')
          code |= static_cast<unsigned>(h - '0');
        else if (h >= 'a' && h <= 'f')
          code |= static_cast<unsigned>(h - 'a' + 10);
        else if (h >= 'A' && h <= 'F')
          code |= static_cast<unsigned>(h - 'A' + 10);
        else
          ok = false;
      }
      if (ok && code != 0) {
        appendUtf8(out, code);
        pos += 4;
      } else {
        out += e;
      }
    } else {
      out += e;
    }
  }
  return std::nullopt;
}

// The string values of the user_pref("name", "value") lines of a prefs.js.
std::map<std::string, std::string> stringPrefs(std::string_view prefs) {
  std::map<std::string, std::string> values;
  std::size_t pos = 0;
  while ((pos = prefs.find("user_pref(", pos)) != std::string_view::npos) {
    pos += 10;
    while (pos < prefs.size() && prefs[pos] == ' ') ++pos;
    if (pos >= prefs.size() || prefs[pos] != '"') continue;
    auto name = jsString(prefs, pos);
    if (!name) break;
    while (pos < prefs.size() && (prefs[pos] == ' ' || prefs[pos] == ',')) ++pos;
    if (pos >= prefs.size() || prefs[pos] != '"') continue;  // a number or a Boolean
    auto value = jsString(prefs, pos);
    if (!value) break;
    values.emplace(std::move(*name), std::move(*value));
  }
  return values;
}

std::string valueOr(const std::map<std::string, std::string>& values, const std::string& key) {
  auto it = values.find(key);
  return it == values.end() ? std::string() : it->second;
}

std::string firstListItem(std::string_view list) {
  const std::size_t comma = list.find(',');
  return std::string(trimBlanks(list.substr(0, comma)));
}

MailIdentity fromGroup(const KeyFile::Group& group, std::string_view nameKey,
                       std::string_view addressKey) {
  MailIdentity identity;
  identity.name = groupValue(group, nameKey).value_or("");
  identity.address = groupValue(group, addressKey).value_or("");
  return identity;
}

MailIdentity firstWithAddress(const std::vector<MailIdentity>& identities) {
  for (const auto& identity : identities) {
    if (!identity.address.empty()) return identity;
  }
  return {};
}

std::vector<std::string> filesIn(const std::string& folder, std::string_view extension) {
  std::vector<std::string> files;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().extension() == extension) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

std::string MailIdentity::text() const {
  if (address.empty()) return {};
  if (name.empty()) return address;
  return name + " <" + address + ">";
}

std::vector<std::string> thunderbirdProfiles(std::string_view profilesIni,
                                             const std::string& iniFolder) {
  const KeyFile ini = KeyFile::parse(profilesIni);
  std::vector<std::string> installs, defaults, others;
  auto resolve = [&](const std::string& path, bool relative) {
    return relative || (!path.empty() && path.front() != '/') ? iniFolder + "/" + path : path;
  };
  for (const auto& group : ini.groups()) {
    if (startsWith(group.name, "Install")) {
      if (auto path = groupValue(group, "Default"); path && !path->empty()) {
        installs.push_back(resolve(*path, false));
      }
    } else if (startsWith(group.name, "Profile")) {
      auto path = groupValue(group, "Path");
      if (!path || path->empty()) continue;
      const bool relative = groupValue(group, "IsRelative").value_or("1") == "1";
      auto& list = groupValue(group, "Default").value_or("") == "1" ? defaults : others;
      list.push_back(resolve(*path, relative));
    }
  }
  std::vector<std::string> all = installs;
  all.insert(all.end(), defaults.begin(), defaults.end());
  all.insert(all.end(), others.begin(), others.end());
  return all;
}

MailIdentity thunderbirdIdentity(std::string_view prefsJs) {
  const auto prefs = stringPrefs(prefsJs);
  auto identityNamed = [&](const std::string& id) {
    MailIdentity identity;
    identity.address = valueOr(prefs, "mail.identity." + id + ".useremail");
    identity.name = valueOr(prefs, "mail.identity." + id + ".fullName");
    return identity;
  };
  const std::string account = valueOr(prefs, "mail.accountmanager.defaultaccount");
  if (!account.empty()) {
    const std::string id = firstListItem(valueOr(prefs, "mail.account." + account + ".identities"));
    if (!id.empty()) {
      MailIdentity identity = identityNamed(id);
      if (!identity.address.empty()) return identity;
    }
  }
  for (const auto& [key, value] : prefs) {
    const std::string_view k = key;
    if (startsWith(k, "mail.identity.") && k.size() > 24 &&
        k.substr(k.size() - 10) == ".useremail" && !value.empty()) {
      return identityNamed(key.substr(14, key.size() - 24));
    }
  }
  return {};
}

MailIdentity evolutionIdentity(std::string_view sourceFile) {
  const KeyFile file = KeyFile::parse(sourceFile);
  if (file.value("Data Source", "Enabled").value_or("true") == "false") return {};
  const KeyFile::Group* group = file.group("Mail Identity");
  if (group == nullptr) return {};
  return fromGroup(*group, "Name", "Address");
}

MailIdentity kmailIdentity(std::string_view emailIdentities) {
  const KeyFile file = KeyFile::parse(emailIdentities);
  const std::string wanted = file.value("General", "Default Identity").value_or("");
  std::vector<MailIdentity> identities;
  for (const auto& group : file.groups()) {
    if (!startsWith(group.name, "Identity")) continue;
    MailIdentity identity = fromGroup(group, "Name", "Email Address");
    if (!wanted.empty() && groupValue(group, "uoid").value_or("") == wanted &&
        !identity.address.empty()) {
      return identity;
    }
    identities.push_back(std::move(identity));
  }
  return firstWithAddress(identities);
}

MailIdentity clawsIdentity(std::string_view accountrc) {
  const KeyFile file = KeyFile::parse(accountrc);
  std::vector<MailIdentity> identities;
  for (const auto& group : file.groups()) {
    if (!startsWith(group.name, "Account")) continue;
    MailIdentity identity = fromGroup(group, "name", "address");
    if (groupValue(group, "is_default").value_or("0") == "1" && !identity.address.empty()) {
      return identity;
    }
    identities.push_back(std::move(identity));
  }
  return firstWithAddress(identities);
}

MailIdentity findMailIdentity(const XdgDirs& dirs) {
  if (!dirs.home.empty()) {
    const std::string iniFolder = dirs.home + "/.thunderbird";
    if (auto ini = smallFileBytes(iniFolder + "/profiles.ini")) {
      for (const std::string& profile : thunderbirdProfiles(*ini, iniFolder)) {
        if (auto prefs = smallFileBytes(profile + "/prefs.js", 16 << 20)) {
          MailIdentity identity = thunderbirdIdentity(*prefs);
          if (!identity.address.empty()) return identity;
        }
      }
    }
  }
  if (!dirs.configHome.empty()) {
    for (const std::string& file : filesIn(dirs.configHome + "/evolution/sources", ".source")) {
      if (auto bytes = smallFileBytes(file)) {
        MailIdentity identity = evolutionIdentity(*bytes);
        if (!identity.address.empty()) return identity;
      }
    }
    if (auto bytes = smallFileBytes(dirs.configHome + "/emailidentities")) {
      MailIdentity identity = kmailIdentity(*bytes);
      if (!identity.address.empty()) return identity;
    }
  }
  if (!dirs.home.empty()) {
    if (auto bytes = smallFileBytes(dirs.home + "/.claws-mail/accountrc")) {
      MailIdentity identity = clawsIdentity(*bytes);
      if (!identity.address.empty()) return identity;
    }
  }
  return {};
}

}  // namespace varnook
