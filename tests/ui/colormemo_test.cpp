#include "ui/colormemo.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <string>

#include "viewer/textwords.h"

namespace varnook {
namespace {

const QRgb kBlack = qRgb(0, 0, 0), kRed = qRgb(255, 0, 0), kNavy = qRgb(0, 0, 128);

// Three lines: a keyword, a line quoted twice, a link between the default markers.
const std::string kArticle =
    "Hello found world\r\n>> quoted line here\r\nsee \x1Ehttp://x.org\x1F now";
constexpr std::size_t kLinkLine = 40;

class ColorMemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QPalette p = memo.palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    memo.setPalette(p);
    options.articleFont.name = "DejaVu Sans";
    options.articleFont.height = -16;
    memo.applyOptions(options);
    memo.setKeywords(queryKeywords("found"));
    memo.setText(kArticle);
    memo.resize(420, 200);
    memo.show();
    QApplication::processEvents();
  }

  // The viewport rectangle of the characters of the bytes [first, end) on one line.
  QRect charsRect(std::size_t first, std::size_t end) {
    QTextCursor c(memo.document());
    c.setPosition(memo.documentPosition(first));
    const QRect a = memo.cursorRect(c);
    c.setPosition(memo.documentPosition(end));
    return QRect(QPoint(a.left() + 1, a.top()), QPoint(memo.cursorRect(c).left() - 1, a.bottom()));
  }
  QImage shot() { return memo.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  static int count(const QImage& image, const QRect& rect, QRgb color) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left(); x <= rect.right(); ++x) n += image.pixel(x, y) == color;
    return n;
  }
  // The longest horizontal run of `color` in the rectangle and just below it (an underline).
  static int longestRun(const QImage& image, const QRect& rect, QRgb color) {
    int best = 0;
    for (int y = rect.top(); y <= rect.bottom() + 2; ++y)
      for (int x = rect.left(), run = 0; x <= rect.right(); ++x)
        best = std::max(best, run = image.pixel(x, y) == color ? run + 1 : 0);
    return best;
  }
  void selectBytes(std::size_t anchor, std::size_t caret) {
    QTextCursor c = memo.textCursor();
    c.setPosition(memo.documentPosition(anchor));
    c.setPosition(memo.documentPosition(caret), QTextCursor::KeepAnchor);
    memo.setTextCursor(c);
  }

  VnkOptions options;
  ColorMemo memo;
};

// Highlighting switched off in the options: see the options dialog's sample test.
// The colour each rule gives: see the span resolver's tests.
TEST_F(ColorMemoTest, PaintsKeywordsLinksAndTheSelectionInTheirColours) {
  const QImage image = shot();
  const QRect keyword = charsRect(6, 11), link = charsRect(kLinkLine + 5, kLinkLine + 17);
  EXPECT_GT(count(image, charsRect(0, 5), kBlack), 0);
  EXPECT_GT(count(image, keyword, kRed), 0);
  EXPECT_EQ(count(image, keyword, kBlack), 0);
  EXPECT_GT(longestRun(image, link, kNavy), link.width() * 3 / 4);
  // The begin marker takes no room: the link starts where the blank before it ends.
  EXPECT_LE(charsRect(kLinkLine + 4, kLinkLine + 5).width(), 0);

  // A selection keeps its highlight over the keyword.
  selectBytes(6, 11);
  const QImage selected = shot();
  const QPalette& p = memo.palette();
  EXPECT_EQ(count(selected, keyword, kRed), 0);
  EXPECT_GT(
      count(selected, keyword, p.color(QPalette::Active, QPalette::Highlight).rgb()) +
          count(selected, keyword, p.color(QPalette::Active, QPalette::HighlightedText).rgb()),
      keyword.width() * keyword.height() / 2);
}

// Where a link begins and ends, also with the sample's "<" and ">" markers: see the hot
// spot text's tests; here the click reaches them. The context menu reaching the owner: see
// the window's refine tests, which open it on the viewer.
TEST_F(ColorMemoTest, ClicksOverLinksGoToTheOwner) {
  const auto over = [&](std::size_t byte) { return charsRect(byte, byte + 1).center(); };
  QSignalSpy spy(&memo, &ColorMemo::hotSpotClick);
  QTest::mouseClick(memo.viewport(), Qt::LeftButton, {}, over(kLinkLine + 1));
  QTest::mouseClick(memo.viewport(), Qt::LeftButton, {}, over(kLinkLine + 10));
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).toByteArray(), QByteArray("http://x.org"));
}

TEST_F(ColorMemoTest, CopiedTextHasNoMarkersAndKeysMoveOnFromTheSelectionEnd) {
  memo.selectAll();
  EXPECT_EQ(memo.selectedBytes(),
            "Hello found world\r\n>> quoted line here\r\nsee http://x.org now");
  EXPECT_EQ(memo.selectedText(), "Hello found world\n>> quoted line here\nsee http://x.org now");
  memo.copy();
  EXPECT_EQ(QApplication::clipboard()->text(), memo.selectedText());

  selectBytes(11, 6);      // the caret at the start
  memo.setReadOnly(true);  // as owners set it: the keyboard still moves the caret
  memo.setFocus();
  QTest::keyClick(&memo, Qt::Key_Right);
  EXPECT_FALSE(memo.hasSelection());
  EXPECT_EQ(memo.caretOffset(), 12u);
  QTest::keyClick(&memo, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(memo.selectedBytes(), "w");
}

// How bytes map to units, text that is no UTF-8, the word at the caret: see the display
// text's and the text words' tests.
TEST_F(ColorMemoTest, BytesMapToDisplayedCharacters) {
  // UTF-8 with a two-byte and a four-byte character, a lone CR, a NUL and U+2029: every
  // byte line stays one document block.
  const std::string utf8 = std::string("caf\xC3\xA9 \xF0\x9D\x84\x9E modem\r\na\rb\n") +
                           std::string(1, '\0') + "\xE2\x80\xA9" + "x";
  memo.setText(utf8);
  EXPECT_EQ(memo.document()->blockCount(), 3);
  for (std::size_t offset : {0u, 3u, 5u, 6u, 10u, 11u, 16u, 18u, 20u, 22u, 23u, 27u})
    EXPECT_EQ(memo.byteOffset(memo.documentPosition(offset)), offset) << offset;

  // Text put in through the editor itself is the view's text as UTF-8.
  memo.setPlainText(QString::fromUtf16(u"caf\u00E9\nx"));
  EXPECT_EQ(memo.text(), "caf\xC3\xA9\nx");
  EXPECT_EQ(memo.documentPosition(6), 5);
  memo.clear();
  EXPECT_EQ(memo.text(), "");
}

TEST(ColorMemoFonts, FontFallsBackToTheDesktopFontAndSystemColoursToThePalette) {
  FontSpec spec;  // "MS Sans Serif", -13
  const QFont fallback = toQFont(spec);
  EXPECT_EQ(fallback.family(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
  EXPECT_EQ(fallback.pixelSize(), 13);
  spec.name = "DejaVu Sans";
  spec.height = 20;
  spec.style = fsBold | fsItalic;
  const QFont installed = toQFont(spec);
  EXPECT_EQ(installed.family(), "DejaVu Sans");
  EXPECT_LE(QFontMetrics(installed).height(), 20);
  EXPECT_TRUE(installed.bold() && installed.italic());

  QPalette p;
  p.setColor(QPalette::Active, QPalette::Base, QColor(1, 2, 3));
  p.setColor(QPalette::Active, QPalette::Text, QColor(4, 5, 6));
  EXPECT_EQ(toQColor(clWindow, p), QColor(1, 2, 3));
  EXPECT_EQ(toQColor(clWindowText, p), QColor(4, 5, 6));
  EXPECT_EQ(toQColor(0x00C080, p), QColor(0x80, 0xC0, 0x00));
}

}  // namespace
}  // namespace varnook
