#include "ui/colormemo.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>
#include <utility>

#include "viewer/articlerules.h"
#include "viewer/textwords.h"

namespace varnook {
namespace {

QPalette::ColorRole systemColorRole(Color color) {
  switch (color) {
    case clWindow:
      return QPalette::Base;
    case clWindowText:
      return QPalette::Text;
    case clHighlight:
    case clActiveCaption:
      return QPalette::Highlight;
    case clHighlightText:
    case clCaptionText:
      return QPalette::HighlightedText;
    case clBtnFace:
    case clScrollBar:
      return QPalette::Button;
    case clBtnText:
      return QPalette::ButtonText;
    case clGrayText:
      return QPalette::PlaceholderText;
    case clInfoText:
      return QPalette::ToolTipText;
    case clInfoBk:
      return QPalette::ToolTipBase;
    case clMenuText:
    case clInactiveCaptionText:
      return QPalette::WindowText;
    case clBtnShadow:
    case clAppWorkSpace:
      return QPalette::Dark;
    case clBtnHighlight:
      return QPalette::Light;
    case cl3DDkShadow:
    case clWindowFrame:
      return QPalette::Shadow;
    case cl3DLight:
      return QPalette::Midlight;
    case clInactiveCaption:
      return QPalette::Mid;
    default:
      return QPalette::Window;  // menus, desktop, borders
  }
}

bool isNavigationKey(int key) {
  switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      return true;
    default:
      return false;
  }
}

}  // namespace

QColor toQColor(Color color, const QPalette& palette) {
  if (isSystemColor(color)) return palette.color(QPalette::Active, systemColorRole(color));
  return QColor(redOf(color), greenOf(color), blueOf(color));
}

QFont toQFont(const FontSpec& spec) {
  QFont font;
  QString family = QString::fromUtf8(spec.name.data(), static_cast<qsizetype>(spec.name.size()));
  if (family.isEmpty() || !QFontDatabase::hasFamily(family)) {
    family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
  }
  font.setFamily(family);
  if (spec.pitch == FontPitch::fpFixed) {
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
  }
  font.setBold((spec.style & fsBold) != 0);
  font.setItalic((spec.style & fsItalic) != 0);
  font.setUnderline((spec.style & fsUnderline) != 0);
  font.setStrikeOut((spec.style & fsStrikeOut) != 0);
  if (spec.height < 0) {
    font.setPixelSize(-spec.height);
  } else if (spec.height > 0) {
    // A cell height: the largest character size whose line fits in it.
    int size = spec.height;
    font.setPixelSize(size);
    while (size > 1 && QFontMetrics(font).height() > spec.height) font.setPixelSize(--size);
  }
  return font;
}

ColorMemo::ColorMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setUndoRedoEnabled(false);
  setTabChangesFocus(true);
  viewport()->setMouseTracking(true);
  connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
    if (redrawAlways_) viewport()->update();
  });
  // Text put in through the editor's own functions (setPlainText, clear) becomes the
  // view's text too, as UTF-8, so offsets and colours keep matching what is shown.
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (!settingText_) text_ = DisplayText(toPlainText().toStdString());
  });
}

void ColorMemo::setText(std::string bytes) {
  text_ = DisplayText(std::move(bytes));
  const std::u16string shown = text_.decode();
  settingText_ = true;
  setPlainText(QString::fromUtf16(shown.data(), static_cast<qsizetype>(shown.size())));
  settingText_ = false;
  if (overLink_) {
    overLink_ = false;
    viewport()->setCursor(Qt::IBeamCursor);
  }
}

void ColorMemo::setColorRules(DrawRules rules) {
  rules_ = std::move(rules);
  repaintColors();
}

void ColorMemo::setHotSpot(const HotSpot& hotSpot) {
  hotSpot_ = hotSpot;
  if (!hotSpot_.active && overLink_) {
    overLink_ = false;
    viewport()->setCursor(Qt::IBeamCursor);
  }
  repaintColors();
}

void ColorMemo::setKeywords(std::vector<std::string> words, std::vector<std::string> folded) {
  for (ColorRule& rule : rules_) {
    if (rule.keyDrawingType() == KeyDrawingType::dtKeyShow) {
      rule.setKeywords(std::move(words));
      rule.setFoldedKeywords(std::move(folded));
      break;
    }
  }
  repaintColors();
}

void ColorMemo::applyOptions(const VnkOptions& options) {
  setFont(toQFont(options.articleFont));
  setFontColor(options.articleFont.color);
  HotSpot hotSpot = hotSpot_;
  applyArticleOptions(options, rules_, hotSpot);
  setHotSpot(hotSpot);
}

void ColorMemo::setFontColor(Color color) {
  fontColor_ = color;
  QPalette p = palette();
  // A system colour means the desktop's, not whatever colour the view was given before.
  p.setColor(QPalette::Text, toQColor(color, QApplication::palette(this)));
  setPalette(p);
  repaintColors();
}

void ColorMemo::setDrawEvent(DrawEvent handler, int colorLimMax) {
  events_.onDraw = std::move(handler);
  events_.colorLimMax = std::max(0, colorLimMax);
  repaintColors();
}

void ColorMemo::setRedrawAlways(bool on) {
  redrawAlways_ = on;
  repaintColors();
}

void ColorMemo::repaintColors() {
  viewport()->update();
}

int ColorMemo::documentPosition(std::size_t offset) const {
  offset = std::min(offset, text_.bytes().size());
  const std::size_t line = text_.lineOfOffset(offset);
  const QTextBlock block = document()->findBlockByNumber(static_cast<int>(line));
  const std::size_t units =
      text_.unitsBetween(text_.lineStart(line), std::min(offset, text_.lineEnd(line)));
  return block.position() + static_cast<int>(units);
}

std::size_t ColorMemo::byteOffset(int documentPosition) const {
  const QTextBlock block = document()->findBlock(std::max(0, documentPosition));
  if (!block.isValid()) return text_.bytes().size();
  const auto line = static_cast<std::size_t>(block.blockNumber());
  if (line >= text_.lineCount()) return text_.bytes().size();
  return text_.offsetOfUnit(line, static_cast<std::size_t>(documentPosition - block.position()));
}

std::size_t ColorMemo::caretOffset() const {
  return byteOffset(textCursor().position());
}

void ColorMemo::setCaretOffset(std::size_t offset) {
  QTextCursor cursor = textCursor();
  cursor.setPosition(documentPosition(offset));
  setTextCursor(cursor);
}

std::string ColorMemo::wordAtCaret() const {
  return varnook::wordAtCaret(text(), caretOffset());
}

std::string ColorMemo::selectedBytes() const {
  const QTextCursor cursor = textCursor();
  if (!cursor.hasSelection()) return {};
  const std::size_t start = byteOffset(cursor.selectionStart());
  const std::size_t end = byteOffset(cursor.selectionEnd());
  return withoutLinkMarkers(std::string_view(text()).substr(start, end - start));
}

QString ColorMemo::selectedText() const {
  QString shown = textCursor().selectedText();
  // The link markers are shown as zero-width spaces.
  shown.remove(QChar(0x200B));
  shown.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  return shown;
}

QMimeData* ColorMemo::createMimeDataFromSelection() const {
  auto* data = new QMimeData;
  data->setText(selectedText());
  return data;
}

ColorMemo::VisibleLines ColorMemo::visibleLines() const {
  VisibleLines lines;
  QTextBlock block = firstVisibleBlock();
  if (!block.isValid()) return lines;
  lines.first = block.blockNumber();
  const qreal bottom = viewport()->rect().height();
  qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
  while (block.isValid() && top <= bottom) {
    lines.last = block.blockNumber();
    top += blockBoundingRect(block).height();
    block = block.next();
  }
  return lines;
}

void ColorMemo::resolveColors(const VisibleLines& lines) {
  runs_ = nullptr;
  if (!colorsActive() || lines.last < lines.first) return;
  const auto lineCount = static_cast<std::int64_t>(text_.lineCount());
  if (lines.last >= lineCount) return;  // the document is not (yet) this text
  const std::int64_t scanLine = std::max<std::int64_t>(
      0, lines.first - static_cast<std::int64_t>(rules_.linesAboveFirstVisible()));
  ViewWindow window;
  window.scanStart = text_.lineStart(static_cast<std::size_t>(scanLine));
  window.visibleEnd = text_.lineEnd(static_cast<std::size_t>(lines.last));
  const QTextCursor cursor = textCursor();
  if (cursor.hasSelection()) {
    window.selectionStart = byteOffset(cursor.selectionStart());
    window.selectionLength = byteOffset(cursor.selectionEnd()) - window.selectionStart;
  }
  window.wantTabs = !tabChangesFocus();
  window.redrawAlways = redrawAlways_;
  if (redrawAlways_) {
    window.caret = byteOffset(cursor.position());
    window.caretLineStart = text_.lineStart(text_.lineOfOffset(window.caret));
  }
  window.fontColor = fontColor_;
  runs_ = &resolver_.resolve(text_.bytes(), rules_, hotSpot_, window, &events_);
}

void ColorMemo::appendColorFormats(const QTextBlock& block,
                                   QList<QTextLayout::FormatRange>& formats) const {
  if (runs_ == nullptr || runs_->empty()) return;
  const auto line = static_cast<std::size_t>(block.blockNumber());
  if (line >= text_.lineCount()) return;
  const std::size_t lineStart = text_.lineStart(line);
  const std::size_t lineEnd = text_.lineEnd(line);
  // Runs are sorted and disjoint: start at the first one that ends inside this line.
  auto run = std::lower_bound(
      runs_->begin(), runs_->end(), lineStart,
      [](const KeyDescr& k, std::size_t at) { return static_cast<std::size_t>(k.endPos) < at; });
  const QPalette& p = palette();
  const QBrush background = p.brush(QPalette::Base);
  std::size_t mappedByte = lineStart;  // units are counted forward once per line
  std::size_t mappedUnit = 0;
  for (; run != runs_->end() && static_cast<std::size_t>(run->startPos) < lineEnd; ++run) {
    if (run->zOrder == kSelectionZOrder || run->zOrder == kTabZOrder) continue;
    const std::size_t first =
        std::max<std::size_t>(static_cast<std::size_t>(run->startPos), lineStart);
    const std::size_t end =
        std::min<std::size_t>(static_cast<std::size_t>(run->endPos) + 1, lineEnd);
    if (first >= end) continue;
    mappedUnit += text_.unitsBetween(mappedByte, first);
    const std::size_t length = text_.unitsBetween(first, end);
    mappedByte = first;

    QTextLayout::FormatRange range;
    range.start = static_cast<int>(mappedUnit);
    range.length = static_cast<int>(length);
    const QColor color = toQColor(run->color, p);
    range.format.setForeground(color);
    // A solid background keeps Qt from drawing the ordinary text under the run.
    range.format.setBackground(run->zOrder == kMarkerZOrder ? QBrush(color) : background);
    if (run->zOrder == kLinkZOrder && hotSpot_.underlined) range.format.setFontUnderline(true);
    formats.append(range);
  }
}

void ColorMemo::paintEvent(QPaintEvent* event) {
  // The editor's own painting, block by block, with the resolved colours handed to each
  // block's layout ahead of the selection, so the selection highlight stays on top.
  QPainter painter(viewport());
  QPointF offset(contentOffset());
  QRect exposed = event->rect();
  const QRect viewportRect = viewport()->rect();
  const qreal maximumWidth = document()->documentLayout()->documentSize().width();
  painter.setBrushOrigin(offset);
  const int maxX =
      static_cast<int>(offset.x() + std::max<qreal>(viewportRect.width(), maximumWidth) -
                       document()->documentMargin()) +
      cursorWidth();
  exposed.setRight(std::min(exposed.right(), maxX));
  painter.setClipRect(exposed);

  resolveColors(visibleLines());

  const QAbstractTextDocumentLayout::PaintContext context = getPaintContext();
  painter.setPen(context.palette.text().color());
  QTextBlock block = firstVisibleBlock();
  while (block.isValid()) {
    const QRectF r = blockBoundingRect(block).translated(offset);
    QTextLayout* layout = block.layout();
    if (!block.isVisible()) {
      offset.ry() += r.height();
      block = block.next();
      continue;
    }
    if (r.bottom() >= exposed.top() && r.top() <= exposed.bottom()) {
      QList<QTextLayout::FormatRange> formats;
      appendColorFormats(block, formats);
      const int blockPos = block.position();
      const int blockLength = block.length();
      for (const QAbstractTextDocumentLayout::Selection& range : context.selections) {
        const int selStart = range.cursor.selectionStart() - blockPos;
        const int selEnd = range.cursor.selectionEnd() - blockPos;
        if (selStart < blockLength && selEnd > 0 && selEnd > selStart) {
          QTextLayout::FormatRange o;
          o.start = selStart;
          o.length = selEnd - selStart;
          o.format = range.format;
          formats.append(o);
        }
      }
      layout->draw(&painter, offset, formats, exposed);
      const int caret = context.cursorPosition;
      if (caret >= blockPos && caret < blockPos + blockLength) {
        layout->drawCursor(&painter, offset, caret - blockPos, cursorWidth());
      }
    }
    offset.ry() += r.height();
    if (offset.y() > viewportRect.height()) break;
    block = block.next();
  }
  if (backgroundVisible() && !block.isValid() && offset.y() <= exposed.bottom() &&
      (centerOnScroll() || verticalScrollBar()->maximum() == verticalScrollBar()->minimum())) {
    painter.fillRect(
        QRect(QPoint(exposed.left(), static_cast<int>(offset.y())), exposed.bottomRight()),
        palette().window());
  }
  if (document()->isEmpty() && !placeholderText().isEmpty()) {
    // What stands in for a missing text, as the editor's own painting would show it.
    const int margin = static_cast<int>(document()->documentMargin());
    painter.setPen(palette().placeholderText().color());
    painter.drawText(viewportRect.adjusted(margin, margin, -margin, -margin),
                     Qt::AlignTop | Qt::TextWordWrap, placeholderText());
  }
  runs_ = nullptr;
}

std::optional<std::size_t> ColorMemo::byteAt(const QPoint& viewportPos) const {
  const QTextBlock block = cursorForPosition(viewportPos).block();
  if (!block.isValid() || static_cast<std::size_t>(block.blockNumber()) >= text_.lineCount()) {
    return std::nullopt;
  }
  const QTextLayout* layout = block.layout();
  const QPointF local = QPointF(viewportPos) -
                        blockBoundingGeometry(block).translated(contentOffset()).topLeft() -
                        layout->position();
  for (int i = 0; i < layout->lineCount(); ++i) {
    const QTextLine line = layout->lineAt(i);
    if (local.y() < line.y() || local.y() >= line.y() + line.height()) continue;
    if (local.x() < line.x() || local.x() >= line.x() + line.naturalTextWidth())
      return std::nullopt;
    const int unit = line.xToCursor(local.x(), QTextLine::CursorOnCharacter);
    return text_.offsetOfUnit(static_cast<std::size_t>(block.blockNumber()),
                              static_cast<std::size_t>(unit));
  }
  return std::nullopt;
}

void ColorMemo::mouseMoveEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseMoveEvent(event);
  if (!hotSpot_.active) return;
  bool onLink = false;
  if (const auto at = byteAt(event->position().toPoint())) {
    const std::size_t line = text_.lineOfOffset(*at);
    onLink = isOnHotSpot(text_.line(line), *at - text_.lineStart(line), hotSpot_.beginChar,
                         hotSpot_.endChar);
  }
  if (onLink != overLink_) {
    overLink_ = onLink;
    viewport()->setCursor(onLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
  }
}

void ColorMemo::mouseReleaseEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseReleaseEvent(event);
  // A drag that selected text is no click on a link. The link is looked up here rather
  // than trusted from the last move, as the text may have scrolled under a still pointer.
  if (event->button() != Qt::LeftButton || !hotSpot_.active || hasSelection()) return;
  const auto at = byteAt(event->position().toPoint());
  if (!at) return;
  const std::size_t line = text_.lineOfOffset(*at);
  const auto link = hotSpotTextAt(text_.line(line), *at - text_.lineStart(line), hotSpot_.beginChar,
                                  hotSpot_.endChar);
  if (link) emit hotSpotClick(QByteArray(link->data(), static_cast<qsizetype>(link->size())));
}

void ColorMemo::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers held =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (held == Qt::NoModifier && isNavigationKey(event->key()) && hasSelection()) {
    // The key moves on from the selection's end.
    QTextCursor cursor = textCursor();
    cursor.setPosition(cursor.selectionEnd());
    setTextCursor(cursor);
  }
  QPlainTextEdit::keyPressEvent(event);
}

void ColorMemo::changeEvent(QEvent* event) {
  // The editor's setReadOnly(true) leaves only mouse selection; the view keeps its caret
  // and keyboard selection, which the searches from the caret's word rely on.
  if (event->type() == QEvent::ReadOnlyChange && isReadOnly()) {
    setTextInteractionFlags(textInteractionFlags() | Qt::TextSelectableByKeyboard);
  }
  QPlainTextEdit::changeEvent(event);
}

void ColorMemo::contextMenuEvent(QContextMenuEvent* event) {
  if (isSignalConnected(QMetaMethod::fromSignal(&ColorMemo::contextMenuRequested))) {
    emit contextMenuRequested(event->globalPos());
    event->accept();
    return;
  }
  QPlainTextEdit::contextMenuEvent(event);
}

}  // namespace varnook
