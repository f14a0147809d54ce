#pragma once

#include <QString>

namespace varnook {

// The user-level file association of collection files (the same files, under the same
// names, as the installed package, but naming this program file): a shared-mime-info package that
// names "*.vnk" files application/x-news-collection ("<dataHome>/mime/packages/varnook.xml")
// and a desktop entry that opens them with this program
// ("<dataHome>/applications/varnook.desktop"). Each file is written only when it is missing
// or its contents differ, whole or not at all.
struct FileAssociation {
  bool mimeWritten = false;
  bool desktopWritten = false;
  bool failed = false;  // a file could not be written (the program goes on without it)
};

// The desktop entry and the MIME package for a program file.
QString desktopEntryText(const QString& programFile);
QString mimePackageText();

// Writes what differs under `dataHome` (normally $XDG_DATA_HOME). Never throws; failures
// are reported in the result only.
FileAssociation writeFileAssociation(const QString& dataHome, const QString& programFile);

// At start-up: writes the association into the user's XDG data folder and, for what was
// written, lets the desktop's database tools (update-mime-database,
// update-desktop-database) refresh their caches in the background. Failures are ignored.
void registerFileAssociation(const QString& programFile);

}  // namespace varnook
