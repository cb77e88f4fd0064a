// The transcript editor in a window at the 200-unit limit, in the diff display: 40 words of
// which every fourth is replaced, so the display alternates kept, struck and typed runs.

#include "QMTrackedTextEditorView.h"

#include "qm/platform/text.h"
#include "qm/ui/window.h"

#include <benchmark/benchmark.h>

namespace {

using namespace qm::ui;

std::u16string Word(std::size_t k, bool replaced) {
  if (replaced) return u"zzzz";
  return std::u16string{char16_t(u'a' + k % 26), char16_t(u'a' + (k / 26) % 26), u'e', u'r'};
}

// 40 four-letter words and their spaces: 199 units (no space at the end).
std::u16string Line(bool replaceEveryFourth) {
  std::u16string text;
  for (std::size_t k = 0; k < 40; ++k) {
    if (k) text += u' ';
    text += Word(k, replaceEveryFourth && k % 4 == 1);
  }
  return text;
}

struct Editor {
  Window window{Rect{0, 0, 460, 60}};
  std::shared_ptr<QMTrackedTextEditorView> editor = QMTrackedTextEditorView::Create(Rect{0, 0, 442, 35});

  Editor() {
    window.setContentView(std::make_shared<View>());
    window.contentView()->addSubview(editor);
    window.makeKeyWindow();
    window.makeFirstResponder(editor->textView());
    editor->setLineChangeEnabled(true);
    editor->setReferenceText(Line(false));
    editor->setTargetText(Line(true));
    for (std::size_t at = 0; at + 4 < editor->textView()->string().size(); at += 24)
      editor->toggleRepairSelectionRange({at, 4});
  }
};

// One key typed in the middle of the line and one Backspace that takes it away again, through
// the window's key handling; the time is given per keystroke.
void BM_KeystrokeInTheDiffDisplay(benchmark::State& state) {
  Editor e;
  QMTrackedTextView* text = e.editor->textView();
  const std::size_t middle = text->string().size() / 2;
  for (auto _ : state) {
    text->setSelectedRange(Range{middle, 0});
    e.window.typeKey(u"q");
    e.window.typeKey(std::u16string(1, keys::kBackspace));
  }
  if (e.editor->targetText() != Line(true)) state.SkipWithError("the keystrokes did not undo each other");
  state.counters["per_keystroke"] =
      benchmark::Counter(2, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_FullRebuild(benchmark::State& state) {
  Editor e;
  for (auto _ : state) {
    e.editor->setDirtyTrackedLayout(true);
    e.editor->applyTrackedStyling();
  }
}

void BM_TargetOffsetForDisplayLocation(benchmark::State& state) {
  Editor e;
  const TextStorage* storage = &e.editor->textView()->textStorage();
  const std::size_t end = storage->length();
  for (auto _ : state) benchmark::DoNotOptimize(e.editor->targetOffsetForDisplayLocation(end, storage));
}

void BM_DisplayLocationForReferenceOffset(benchmark::State& state) {
  Editor e;
  const TextStorage* storage = &e.editor->textView()->textStorage();
  for (auto _ : state) benchmark::DoNotOptimize(e.editor->displayLocationForReferenceOffset(190, storage));
}

void BM_HighlightPass(benchmark::State& state) {
  Editor e;
  for (auto _ : state) e.editor->applyRepairHighlightInPlace();
}

}  // namespace

BENCHMARK(BM_KeystrokeInTheDiffDisplay);
BENCHMARK(BM_FullRebuild);
BENCHMARK(BM_TargetOffsetForDisplayLocation);
BENCHMARK(BM_DisplayLocationForReferenceOffset);
BENCHMARK(BM_HighlightPass);
BENCHMARK_MAIN();
