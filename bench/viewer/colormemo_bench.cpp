// Scrolling through a 10 MB article in the colour memo on the offscreen platform: the time
// of one full paint of the view (800 x 600) at several scroll positions, and the time to
// load the text. A paint well below a frame (16 ms) means no visible stall.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include "articletext.h"
#include "ui/colormemo.h"
#include "viewer/markuplinks.h"
#include "viewer/textwords.h"

namespace varnook {
namespace {

const std::string& markedTenMegabytes() {
  static const std::string text = [] {
    MarkupLinks markup;
    markup.setInsertBefore("\x1E");
    markup.setInsertAfter("\x1F");
    return markup.markup(bench::corpusBodies(10 * 1000 * 1000)).text;
  }();
  return text;
}

ColorMemo& tenMegabyteMemo() {
  static ColorMemo* memo = [] {
    auto* m = new ColorMemo;
    const VnkOptions defaults;
    m->applyOptions(defaults);
    m->setKeywords(queryKeywords("the modem & \"graphics card\" windows"));
    m->setText(markedTenMegabytes());
    m->resize(800, 600);
    m->show();
    QApplication::processEvents();
    return m;
  }();
  return *memo;
}

// Argument: scroll position in percent of the scroll range.
void BM_PaintAtScrollPosition(benchmark::State& state) {
  ColorMemo& memo = tenMegabyteMemo();
  QScrollBar* bar = memo.verticalScrollBar();
  bar->setValue(static_cast<int>(static_cast<std::int64_t>(bar->maximum()) * state.range(0) / 100));
  QApplication::processEvents();
  QImage image(memo.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    QPainter painter(&image);
    memo.viewport()->render(&painter);
  }
}
BENCHMARK(BM_PaintAtScrollPosition)
    ->Arg(0)
    ->Arg(10)
    ->Arg(25)
    ->Arg(50)
    ->Arg(75)
    ->Arg(90)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);

// Scrolling by a page and painting, through the whole first tenth of the article.
void BM_ScrollPageAndPaint(benchmark::State& state) {
  ColorMemo& memo = tenMegabyteMemo();
  QScrollBar* bar = memo.verticalScrollBar();
  bar->setValue(0);
  QImage image(memo.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    bar->setValue(
        bar->value() + bar->pageStep() > bar->maximum() / 10 ? 0 : bar->value() + bar->pageStep());
    QPainter painter(&image);
    memo.viewport()->render(&painter);
  }
}
BENCHMARK(BM_ScrollPageAndPaint)->Unit(benchmark::kMillisecond);

void BM_SetText10MB(benchmark::State& state) {
  ColorMemo memo;
  memo.resize(800, 600);
  for (auto _ : state) {
    memo.setText(markedTenMegabytes());
    QApplication::processEvents();
  }
}
BENCHMARK(BM_SetText10MB)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace varnook

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
