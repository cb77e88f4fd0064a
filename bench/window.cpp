// The window's timer call as the host makes it about every 30 ms, once nothing changes between
// calls: the window opened on the fake host with its view, the status record at Ready, and the
// editor either showing 200 units plainly or the diff of a 30-word timed transcript against a
// one-word change, with two words picked for repair. The time is given per call.

#include "Quillomancer_GUI.h"
#include "Quillomancer_Parameters.h"

#include "qm/host/fake_host.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/text.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// The window as a host opens it: parameters connected, the component initialised (which builds
// the view) and given a view container.
struct OpenWindow {
  qm::host::FakeHost host;
  qm::ui::View hostView{qm::ui::Rect{0, 0, 480, 158}};
  Quillomancer_Parameters* parameters = new Quillomancer_Parameters();
  AAX_IEffectGUI* component = nullptr;
  Quillomancer_GUI* gui = nullptr;

  OpenWindow() {
    qm::platform::setCurrentThreadAsMain();
    host.Controller().SetHostName("Pro Tools");
    parameters->AddRef();
    host.SetEffectParameters(parameters);
    parameters->Initialize(host.Unknown());
    component = Quillomancer_GUI::Create();
    component->AddRef();
    component->Initialize(host.Unknown());
    component->SetViewContainer(&host.NewViewContainer(1, &hostView));
    gui = static_cast<Quillomancer_GUI*>(component);
    QuillomancerStatusRecord ready;
    QuillomancerStoreClient(parameters).WriteStatus(ready);
  }
  ~OpenWindow() {
    component->SetViewContainer(nullptr);
    component->Uninitialize();
    component->Release();
    parameters->Uninitialize();
    parameters->Release();
    host.SetEffectParameters(nullptr);
  }
  // The transcript as the transcribe job leaves it, applied by the next call.
  void Transcript(const std::string& payload) {
    QuillomancerStoreClient(parameters).WriteString(kQMBlock_TranscriptPayload, payload);
    component->TimerWakeup();
  }
  // Calls until the window's own animations have settled.
  void Settle() {
    for (int i = 0; i < 5; ++i) {
      qm::platform::drainMainQueue();
      component->TimerWakeup();
    }
  }
};

void RunTicks(benchmark::State& state, OpenWindow& w) {
  w.Settle();
  for (auto _ : state) {
    qm::platform::drainMainQueue();
    w.component->TimerWakeup();
  }
}

void BM_SteadyTickPlainDisplayAt200Units(benchmark::State& state) {
  OpenWindow w;
  std::string line;
  for (int k = 0; k < 41; ++k) line += (k ? " " : "") + std::string{char('a' + k % 26), 'b', 'c', 'd'};
  w.Transcript(R"({"text":")" + line.substr(0, 200) + R"("})");
  if (w.gui->views.editorView->targetText().size() != 200) state.SkipWithError("the editor does not hold 200 units");
  RunTicks(state, w);
}

void BM_SteadyTickDiffDisplay30TimedWords2Picks(benchmark::State& state) {
  OpenWindow w;
  std::string text, words;
  double at = 0;
  for (int k = 0; k < 30; ++k) {
    const std::string word = std::string{char('a' + k % 26), char('a' + (k / 26) % 26)} + "ord";
    text += (k ? " " : "") + word;
    words += std::string(k ? "," : "") + R"({"word":")" + word + R"(","index":)" + std::to_string(k) +
             R"(,"start":)" + std::to_string(at) + R"(,"end":)" + std::to_string(at + 0.25) + "}";
    at += 0.3;
  }
  w.Transcript(R"({"text":")" + text + R"(","words":[)" + words + "]}");

  // Change one word of the After text, then go back to the Before side with the Repair tool and
  // pick two words: the editor shows the diff and edits its reference side.
  Quillomancer_GUI& gui = *w.gui;
  QMTrackedTextEditorView& editor = *gui.views.editorView;
  std::string after = text;
  after.replace(after.find("kaord"), 5, "changed");
  gui.state.afterText = after;
  gui.state.afterTextEdited = true;
  gui.state.repairToolActive = true;
  editor.setLineChangeEnabled(true);
  editor.setEditReferenceWhileShowingDiff(true);
  editor.setReferenceText(qm::platform::utf8ToUtf16(text));
  editor.setTargetText(qm::platform::utf8ToUtf16(after));
  editor.setRepairSelectionMode(true);
  for (const char* word : {"cord", "tord"}) {
    const std::size_t at16 = editor.textView()->string().find(qm::platform::utf8ToUtf16(word));
    editor.toggleRepairSelectionRange(qm::platform::TextRange{at16, 4});
  }
  gui.NotifyRepairSelectionChanged();
  if (!gui.HasEffectiveRepairSelections()) state.SkipWithError("the picks did not align");
  RunTicks(state, w);
  if (!editor.lineChangeEnabled()) state.SkipWithError("the editor left the diff display");
}

}  // namespace

BENCHMARK(BM_SteadyTickPlainDisplayAt200Units)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SteadyTickDiffDisplay30TimedWords2Picks)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
