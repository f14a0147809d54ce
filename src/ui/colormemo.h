#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPlainTextEdit>
#include <QString>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "settings/color.h"
#include "settings/vnkoptions.h"
#include "viewer/displaytext.h"
#include "viewer/drawrules.h"
#include "viewer/hotspot.h"
#include "viewer/spanresolver.h"

namespace varnook {

// A colour value as Qt paints it: plain colours directly, system colours through the
// palette's matching role.
QColor toQColor(Color color, const QPalette& palette);

// The font a font setting describes. A family that is not installed (such as "MS Sans
// Serif" on Linux) gives the desktop's general font; negative heights are pixel sizes of
// the characters, positive ones of the whole cell.
QFont toQFont(const FontSpec& spec);

// The read-only article view: plain text, with the colours of its rules and its links
// painted over the visible lines only. Offsets in its interface are byte offsets into the
// text given to setText(). Links are the text between the hot-spot begin and end
// characters (0x1E and 0x1F unless set otherwise): painted in the link colour, their
// markers hidden in the marker colour, the pointer a hand over them, and a click reports
// the link through hotSpotClick().
class ColorMemo : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit ColorMemo(QWidget* parent = nullptr);

  // Shows `bytes`: as UTF-8 when they are valid UTF-8, else as Windows-1252. Texts past
  // DisplayText::kMaxLength bytes are cut there. The caret goes to the start. Text set
  // through the editor's own setPlainText() or clear() is taken as UTF-8.
  void setText(std::string bytes);
  const std::string& text() const { return text_.bytes(); }

  // The colour rules, in order. Changes show at the next repaint (see repaintColors()).
  const DrawRules& colorRules() const { return rules_; }
  DrawRules& colorRules() { return rules_; }
  void setColorRules(DrawRules rules);

  const HotSpot& hotSpot() const { return hotSpot_; }
  void setHotSpot(const HotSpot& hotSpot);

  // Fills the keyword list of the first keyword rule (the article view's rule 1), and
  // its folded words (see ColorRule::setFoldedKeywords).
  void setKeywords(std::vector<std::string> words, std::vector<std::string> folded = {});

  // Applies the viewer options: font, its colour as the text colour, keyword colour,
  // link settings and the quotation entries; creates the two article rules when the view
  // has fewer than two. Repaints.
  void applyOptions(const VnkOptions& options);

  // The colour of ordinary text, as set by applyOptions() (the font's colour).
  Color fontColor() const { return fontColor_; }
  void setFontColor(Color color);

  // Span source of dtEventDraw rules; `colorLimMax` records fit in the handler's buffer
  // (0: such rules find nothing).
  void setDrawEvent(DrawEvent handler, int colorLimMax);

  // Keep the caret's line, up to the caret, in the font colour.
  bool redrawAlways() const { return redrawAlways_; }
  void setRedrawAlways(bool on);

  // The selection without the link marker bytes 0x1E and 0x1F: as bytes of the text (for
  // searches) and as displayed characters with LF line breaks (for the clipboard).
  std::string selectedBytes() const;
  QString selectedText() const;
  bool hasSelection() const { return textCursor().hasSelection(); }

  std::size_t caretOffset() const;
  void setCaretOffset(std::size_t offset);
  // The word around the caret (ASCII letters, digits and "_"); empty when there is none.
  std::string wordAtCaret() const;

  // Maps between byte offsets of the text and positions of the displayed document.
  int documentPosition(std::size_t offset) const;
  std::size_t byteOffset(int documentPosition) const;

  // Schedules a repaint of the visible colours.
  void repaintColors();

 signals:
  // A link was clicked; `link` holds exactly the bytes between its markers.
  void hotSpotClick(const QByteArray& link);
  // The user asked for the context menu. When something is connected, the view opens no
  // menu of its own and the receiver shows its menu at `globalPos`.
  void contextMenuRequested(const QPoint& globalPos);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;
  QMimeData* createMimeDataFromSelection() const override;

 private:
  struct VisibleLines {
    int first = 0;  // block numbers
    int last = -1;
  };

  VisibleLines visibleLines() const;
  void resolveColors(const VisibleLines& lines);
  void appendColorFormats(const QTextBlock& block, QList<QTextLayout::FormatRange>& formats) const;
  // The byte under a point of the viewport, when the point lies on a character.
  std::optional<std::size_t> byteAt(const QPoint& viewportPos) const;
  bool colorsActive() const { return !rules_.empty() || hotSpot_.active; }

  DisplayText text_;
  DrawRules rules_;
  HotSpot hotSpot_;
  DrawEventSource events_;
  SpanResolver resolver_;
  const KeyDescrList* runs_ = nullptr;  // the resolver's runs of the current paint
  Color fontColor_ = clWindowText;
  bool redrawAlways_ = false;
  bool overLink_ = false;
  bool settingText_ = false;
};

}  // namespace varnook
