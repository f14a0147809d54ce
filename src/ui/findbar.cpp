#include "ui/findbar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>

namespace varnook {
namespace {

// Highlighting stops here: a text with more matches than this shows the first ones.
constexpr int kMaxHighlights = 10000;

QToolButton* makeButton(const char* name, const QString& text, const QString& accessibleName,
                        QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(text);
  button->setAccessibleName(accessibleName);
  button->setToolTip(accessibleName);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

}  // namespace

FindBar::FindBar(QPlainTextEdit& view, QWidget* parent) : QWidget(parent), view_(view) {
  setObjectName(QStringLiteral("FindBar"));
  edFind = new QLineEdit(this);
  edFind->setObjectName(QStringLiteral("edFind"));
  edFind->setAccessibleName(QStringLiteral("Find in article"));
  edFind->setPlaceholderText(QStringLiteral("Find in article"));
  edFind->setClearButtonEnabled(true);
  btnPrevious = makeButton("btnFindPrevious", QStringLiteral("Previous"),
                           QStringLiteral("Previous match (Shift+Enter)"), this);
  btnNext =
      makeButton("btnFindNext", QStringLiteral("Next"), QStringLiteral("Next match (Enter)"), this);
  chkMatchCase = new QCheckBox(QStringLiteral("Match case"), this);
  chkMatchCase->setObjectName(QStringLiteral("chkMatchCase"));
  lblMatches = new QLabel(this);
  lblMatches->setObjectName(QStringLiteral("lblMatches"));
  btnClose = makeButton("btnFindClose", QStringLiteral("Close"),
                        QStringLiteral("Close the find bar (Esc)"), this);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(new QLabel(QStringLiteral("Find:"), this));
  layout->addWidget(edFind, 1);
  layout->addWidget(btnPrevious);
  layout->addWidget(btnNext);
  layout->addWidget(chkMatchCase);
  layout->addWidget(lblMatches);
  layout->addWidget(btnClose);

  connect(edFind, &QLineEdit::textChanged, this, [this] {
    // Typing finds from where the current match starts, so it grows in place.
    QTextCursor at = view_.textCursor();
    at.setPosition(at.selectionStart());
    view_.setTextCursor(at);
    highlight();
    if (!edFind->text().isEmpty()) findNext();
  });
  connect(chkMatchCase, &QCheckBox::toggled, this, &FindBar::highlight);
  connect(btnNext, &QToolButton::clicked, this, &FindBar::findNext);
  connect(btnPrevious, &QToolButton::clicked, this, &FindBar::findPrevious);
  connect(btnClose, &QToolButton::clicked, this, &FindBar::closeBar);
  connect(&view_, &QPlainTextEdit::textChanged, this, [this] {
    if (isVisible()) highlight();
  });
  edFind->installEventFilter(this);
  hide();
}

void FindBar::open() {
  const QString selected = view_.textCursor().selectedText();
  if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
    edFind->setText(selected);
  show();
  edFind->setFocus(Qt::ShortcutFocusReason);
  edFind->selectAll();
  highlight();
}

void FindBar::closeBar() {
  hide();
  view_.setExtraSelections({});
  view_.setFocus(Qt::OtherFocusReason);
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edFind && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      find(key->modifiers().testFlag(Qt::ShiftModifier));
      return true;
    }
    if (key->key() == Qt::Key_Escape) {
      closeBar();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool FindBar::find(bool backward) {
  const QString text = edFind->text();
  if (text.isEmpty()) return false;
  QTextDocument::FindFlags flags;
  if (backward) flags |= QTextDocument::FindBackward;
  if (chkMatchCase->isChecked()) flags |= QTextDocument::FindCaseSensitively;
  const QTextDocument& document = *view_.document();
  QTextCursor found = document.find(text, view_.textCursor(), flags);
  if (found.isNull()) {
    // Round the end to the other end.
    QTextCursor from(view_.document());
    if (backward) from.movePosition(QTextCursor::End);
    found = document.find(text, from, flags);
  }
  if (found.isNull()) return false;
  view_.setTextCursor(found);
  view_.ensureCursorVisible();
  return true;
}

void FindBar::highlight() {
  QList<QTextEdit::ExtraSelection> matches;
  const QString text = edFind->text();
  if (!text.isEmpty()) {
    const QTextDocument::FindFlags flags =
        chkMatchCase->isChecked() ? QTextDocument::FindCaseSensitively : QTextDocument::FindFlags();
    QTextCharFormat format;
    format.setBackground(QColor(255, 230, 90));
    QTextCursor at(view_.document());
    while (matches.size() < kMaxHighlights) {
      at = view_.document()->find(text, at, flags);
      if (at.isNull()) break;
      matches.append({at, format});
    }
  }
  matchCount_ = static_cast<int>(matches.size());
  view_.setExtraSelections(matches);
  lblMatches->setText(text.isEmpty()     ? QString()
                      : matchCount_ == 0 ? QStringLiteral("Not found")
                      : matchCount_ == 1 ? QStringLiteral("1 match")
                                         : QStringLiteral("%1 matches").arg(matchCount_));
}

}  // namespace varnook
