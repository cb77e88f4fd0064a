// The window strip (tools, status, chip, performance row: the gallery's densest page) rendered at
// 2x, and a hit test through a tree of 200 nested views.

#include "qm/ui/render.h"
#include "qm/ui/view.h"

#include <benchmark/benchmark.h>

namespace {

void RenderDensestPage(benchmark::State& state) {
  const qm::ui::render::GalleryPage* densest = nullptr;
  for (const auto& p : qm::ui::render::galleryPages())
    if (p.name == "qm-window-strip") densest = &p;
  if (!densest) {
    state.SkipWithError("no window strip page");
    return;
  }
  auto view = densest->build();
  for (auto _ : state) {
    auto bitmap = qm::ui::render::renderView(*view, 2.0, densest->background);
    benchmark::DoNotOptimize(bitmap.pixels.data());
  }
}
BENCHMARK(RenderDensestPage)->Unit(benchmark::kMillisecond);

void HitTestDeepTree(benchmark::State& state) {
  auto root = std::make_shared<qm::ui::View>(qm::ui::Rect{0, 0, 480, 158});
  qm::ui::View* parent = root.get();
  for (int i = 0; i < 200; ++i) {
    // Each level holds a sibling that misses and the child that holds the point.
    parent->addSubview(std::make_shared<qm::ui::View>(qm::ui::Rect{300, 100, 10, 10}));
    auto child = std::make_shared<qm::ui::View>(qm::ui::Rect{0.5, 0.25, 470, 150});
    parent->addSubview(child);
    parent = child.get();
  }
  for (auto _ : state) benchmark::DoNotOptimize(root->hitTest(qm::ui::Point{100, 80}));
}
BENCHMARK(HitTestDeepTree);

}  // namespace

BENCHMARK_MAIN();
