#include "ui/querymodedialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace varnook {

QueryModeDialog::QueryModeDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("QueryModeDlg"));
  setWindowTitle(QStringLiteral("Creating a Refined Query"));
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral(
          "A refined search query is about to be sent.  Please choose if you like to..."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  optAdd = new QRadioButton(QStringLiteral("... add results to the current document"), this);
  optAdd->setObjectName(QStringLiteral("optAdd"));
  optClear = new QRadioButton(QStringLiteral("... clear accumulated articles"), this);
  optClear->setObjectName(QStringLiteral("optClear"));
  optOpenNew = new QRadioButton(QStringLiteral("... open in a new window"), this);
  optOpenNew->setObjectName(QStringLiteral("optOpenNew"));
  optClear->setChecked(true);
  for (QRadioButton* option : {optAdd, optClear, optOpenNew}) {
    layout->addWidget(option);
  }
  layout->addSpacing(8);
  chkPreview = new QCheckBox(QStringLiteral("... preview the request before sending"), this);
  chkPreview->setObjectName(QStringLiteral("chkPreview"));
  chkPreview->setChecked(true);
  layout->addWidget(chkPreview);
  chkMakeDefault = new QCheckBox(QStringLiteral("Don't show this dialog again"), this);
  chkMakeDefault->setObjectName(QStringLiteral("chkMakeDefault"));
  layout->addWidget(chkMakeDefault);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QueryModeDialog::Mode QueryModeDialog::mode() const {
  if (optClear->isChecked()) return Mode::Clear;
  if (optOpenNew->isChecked()) return Mode::NewWindow;
  return Mode::Add;
}

bool QueryModeDialog::preview() const {
  return chkPreview->isChecked();
}

void QueryModeDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* shown = screen()) move(shown->availableGeometry().center() - rect().center());
}

bool QueryModeDialog::skipDialog() const {
  return chkMakeDefault->isChecked();
}

}  // namespace varnook
