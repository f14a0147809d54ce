#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/xdgdirs.h"

namespace varnook {

// The sender of replies as the user's mail program knows it.
struct MailIdentity {
  std::string name;     // display name, may be empty
  std::string address;  // empty: none found

  // "Name <address>", the address alone without a name, empty without an address.
  std::string text() const;
};

// Looks for the user's default identity in the settings of the well-known mail programs,
// in this order: Thunderbird (~/.thunderbird, profiles.ini and the profile's prefs.js),
// Evolution ($XDG_CONFIG_HOME/evolution/sources), KMail ($XDG_CONFIG_HOME/emailidentities)
// and Claws Mail (~/.claws-mail/accountrc). Everything is read only; an identity without
// an address does not count. Empty when none is found.
MailIdentity findMailIdentity(const XdgDirs& dirs);

// The readers, one per program, over the bytes of its files (also what the fuzz target
// feeds).

// The profile folders that profiles.ini names, the default first: an "[Install...]"
// group's Default, then a profile with "Default=1", then the others. Relative paths are
// taken below `iniFolder`.
std::vector<std::string> thunderbirdProfiles(std::string_view profilesIni,
                                             const std::string& iniFolder);
// The default account's first identity in prefs.js ("mail.accountmanager.defaultaccount",
// "mail.account.<a>.identities", "mail.identity.<id>.useremail" and ".fullName"), else
// the first identity that has an address.
MailIdentity thunderbirdIdentity(std::string_view prefsJs);
// An Evolution source file's "[Mail Identity]" (nothing when the source is disabled).
MailIdentity evolutionIdentity(std::string_view sourceFile);
// KMail's emailidentities: the identity whose uoid "[General] Default Identity" names,
// else the first with an address.
MailIdentity kmailIdentity(std::string_view emailIdentities);
// Claws Mail's accountrc: the account with "is_default=1", else the first with an address.
MailIdentity clawsIdentity(std::string_view accountrc);

}  // namespace varnook
