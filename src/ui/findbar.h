#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

namespace varnook {

// The bar below a text view that finds text in it: every match highlighted, the current
// one selected and scrolled to, next and previous going round the ends, letter case
// ignored unless "Match case" is checked. Typing finds at once; Enter finds the next
// match and Shift+Enter the previous; Esc closes the bar and gives the focus back to the
// view. The matches follow the view's text while the bar is open. The view must outlive
// the bar.
class FindBar final : public QWidget {
  Q_OBJECT

 public:
  explicit FindBar(QPlainTextEdit& view, QWidget* parent = nullptr);

  // Shows the bar with the focus in its text field, which holds the view's selected text
  // when there is one.
  void open();
  void closeBar();
  // Selects the next or previous match; false when there is none.
  bool findNext() { return find(false); }
  bool findPrevious() { return find(true); }
  // The number of matches highlighted.
  int matchCount() const { return matchCount_; }

  QLineEdit* edFind = nullptr;
  QToolButton* btnPrevious = nullptr;
  QToolButton* btnNext = nullptr;
  QCheckBox* chkMatchCase = nullptr;
  QLabel* lblMatches = nullptr;
  QToolButton* btnClose = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool find(bool backward);
  // Highlights every match of the text, and says how many there are.
  void highlight();

  QPlainTextEdit& view_;
  int matchCount_ = 0;
};

}  // namespace varnook
