#include "mail/mailidentity.h"

#include <gtest/gtest.h>

#include "../desktop/xdgsandbox.h"

namespace varnook {
namespace {

using testing::writeFile;

TEST(MailIdentity, EachProgramsDefaultIdentityOrAnyWithAnAddress) {
  using Reader = MailIdentity (*)(std::string_view);
  const std::tuple<Reader, const char*, const char*> cases[] = {
      {thunderbirdIdentity,
       "user_pref(\"mail.accountmanager.defaultaccount\", \"a9\");\n"
       "user_pref(\"mail.identity.idX.useremail\", \"x@y\");",
       "x@y"},
      {thunderbirdIdentity, "user_pref(\"mail.identity.id1.useremail\", \"unclosed", ""},
      {evolutionIdentity,
       "[Data Source]\nDisplayName=Work\nEnabled=true\n"
       "[Mail Identity]\nAddress=w@example.com\nName=Worker\n",
       "Worker <w@example.com>"},
      {evolutionIdentity, "[Data Source]\nEnabled=false\n[Mail Identity]\nAddress=x@y\n", ""},
      {kmailIdentity,
       "[General]\nDefault Identity=222\n[Identity #0]\nEmail Address=a@x\nName=A\nuoid=111\n"
       "[Identity #1]\nEmail Address=b@x\nName=B\nuoid=222\n",
       "B <b@x>"},
      {kmailIdentity, "[Identity #0]\nName=No address\n[Identity #1]\nEmail Address=c@x\n", "c@x"},
      {clawsIdentity,
       "[Account: 1]\nname=One\naddress=one@x\nis_default=0\n"
       "[Account: 2]\nname=Two\naddress=two@x\nis_default=1\n",
       "Two <two@x>"},
  };
  for (const auto& [reader, text, identity] : cases)
    EXPECT_EQ(reader(text).text(), identity) << text;
  EXPECT_EQ(
      thunderbirdProfiles("[Profile0]\nPath=/abs/p\nIsRelative=0\n[Profile1]\nPath=rel\n", "/ini"),
      (std::vector<std::string>{"/abs/p", "/ini/rel"}));
}

TEST(MailIdentity, SearchesTheProgramsInOrderAndIsEmptyWithoutAny) {
  testing::XdgSandbox box;
  EXPECT_EQ(findMailIdentity(box.dirs()).text(), "");
  writeFile(box.home + "/.claws-mail/accountrc", "[Account: 1]\naddress=claws@x\n");
  EXPECT_EQ(findMailIdentity(box.dirs()).text(), "claws@x");
  writeFile(box.configHome + "/emailidentities", "[Identity #0]\nEmail Address=kmail@x\n");
  EXPECT_EQ(findMailIdentity(box.dirs()).text(), "kmail@x");
  writeFile(box.configHome + "/evolution/sources/b.source",
            "[Data Source]\n[Mail Identity]\nAddress=evo@x\n");
  writeFile(box.configHome + "/evolution/sources/a.source",
            "[Data Source]\n[Mail Account]\nIdentityUid=b\n");
  EXPECT_EQ(findMailIdentity(box.dirs()).text(), "evo@x");
  // Thunderbird's default profile (of the installation) and its default account's first
  // identity come first.
  writeFile(box.home + "/.thunderbird/profiles.ini",
            "[Profile1]\nName=old\nIsRelative=1\nPath=old.default\nDefault=1\n\n"
            "[Install4F96D1932A9F858E]\nDefault=abcd.default-release\nLocked=1\n");
  writeFile(box.home + "/.thunderbird/old.default/prefs.js",
            "user_pref(\"mail.identity.id1.useremail\", \"old@example.com\");\n");
  writeFile(box.home + "/.thunderbird/abcd.default-release/prefs.js",
            "// Mozilla User Preferences\n"
            "user_pref(\"mail.account.account1.identities\", \"id1\");\n"
            "user_pref(\"mail.account.account2.identities\", \"id3,id2\");\n"
            "user_pref(\"mail.accountmanager.defaultaccount\", \"account2\");\n"
            "user_pref(\"mail.identity.id1.useremail\", \"first@example.com\");\n"
            "user_pref(\"mail.identity.id3.fullName\", \"J\\u00f6rg \\\"Q\\\" M\");\n"
            "user_pref(\"mail.identity.id3.useremail\", \"joerg@example.com\");\n"
            "user_pref(\"mail.identity.id3.valid\", true);\n");
  EXPECT_EQ(findMailIdentity(box.dirs()).text(), "J\xC3\xB6rg \"Q\" M <joerg@example.com>");
}

}  // namespace
}  // namespace varnook
