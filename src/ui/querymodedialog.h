#pragma once

#include <QDialog>

class QCheckBox;
class QRadioButton;

namespace varnook {

// "Creating a Refined Query": how a refined search is to be sent. The window keeps one
// dialog for the whole run, so the last choices stay in force; they are not stored.
class QueryModeDialog final : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { Add, Clear, NewWindow };

  explicit QueryModeDialog(QWidget* parent = nullptr);

  // "clear" when optClear is on, else "new window" when optOpenNew is on, else "add".
  Mode mode() const;
  bool preview() const;
  // "Don't show this dialog again": the window then uses the last settings directly.
  bool skipDialog() const;

  QRadioButton* optAdd = nullptr;
  QRadioButton* optClear = nullptr;
  QRadioButton* optOpenNew = nullptr;
  QCheckBox* chkPreview = nullptr;
  QCheckBox* chkMakeDefault = nullptr;

 protected:
  // Centred on the screen, not over the window.
  void showEvent(QShowEvent* event) override;
};

}  // namespace varnook
