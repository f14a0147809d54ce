// The window and its dialogs by keyboard alone: Tab goes round every control of each page
// and dialog and back to the first, and each control it reaches has an accessible name.
#include <QAccessible>
#include <QRadioButton>
#include <QTabWidget>
#include <set>

#include "ui/querymodedialog.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

// A control Tab stops at; of a group of radio buttons, the checked one.
bool isTabStop(const QWidget* widget) {
  const auto* radio = qobject_cast<const QRadioButton*>(widget);
  return widget->isVisible() && widget->isEnabled() && widget->focusProxy() == nullptr &&
         (widget->focusPolicy() & Qt::TabFocus) && (radio == nullptr || radio->isChecked());
}

// Tabs round `window` from `first`: what went wrong, as "missed: name" and "nameless: name".
QStringList tabRound(QWidget& window, QWidget* first) {
  first->setFocus(Qt::TabFocusReason);
  QStringList faults;
  std::set<const QWidget*> reached;
  QWidget* at = first;
  bool round = false;
  for (int step = 0; step < 60 && !round; ++step) {
    if (QAccessible::queryAccessibleInterface(at)->text(QAccessible::Name).isEmpty())
      faults << "nameless: " + at->objectName() + " " + at->metaObject()->className();
    for (const QWidget* inside = at; inside != nullptr; inside = inside->parentWidget())
      reached.insert(inside);
    QTest::keyClick(at, Qt::Key_Tab);
    QWidget* next = QApplication::focusWidget();
    round = next == first && at != first;  // a label keeps the focus for each of its links
    at = next;
  }
  if (!round) faults << "no way round from " + first->objectName();
  for (const QWidget* control : window.findChildren<QWidget*>())
    if (isTabStop(control) && reached.count(control) == 0)
      faults << "missed: " + control->objectName() + " " + control->metaObject()->className();
  return faults;
}

// Each page of a dialog with pages, from its page tabs.
QStringList tabRounds(QDialog& dialog) {
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  QStringList faults;
  auto* pages = dialog.findChild<QTabWidget*>();
  for (int page = 0; page < (pages != nullptr ? pages->count() : 1); ++page) {
    if (pages != nullptr) pages->setCurrentIndex(page);
    QWidget* first = pages != nullptr ? pages->tabBar() : dialog.nextInFocusChain();
    while (!isTabStop(first)) first = first->nextInFocusChain();
    faults << tabRound(dialog, first);
  }
  return faults;
}

TEST_F(WindowTest, TabGoesRoundEveryPageAndDialogAndReachesOnlyNamedControls) {
  addArticle(1, "loaded", "a@b", "", "text");
  for (int page = 0; page < 3; ++page) {
    showPage(page);
    EXPECT_EQ(tabRound(window(), child<QWidget>("PageSwitch")), QStringList()) << page;
  }
  QStringList faults, shown;
  prompts_.onDialog = [&](QDialog& dialog) {
    shown << dialog.objectName();
    faults << tabRounds(dialog);
    return QDialog::Rejected;
  };
  action("mnuOptions")->trigger();
  action("mnuAbout")->trigger();
  QueryModeDialog refine(&window());
  faults << tabRounds(refine);
  EXPECT_EQ(shown, QStringList({"OptionDlg", "AboutDlg"}));
  EXPECT_EQ(faults, QStringList());
}

}  // namespace
}  // namespace varnook::testing
