// Gallery pages of the window's selectors and of the language chooser (added to `qmui gallery`):
// the Match / Variation selector in each state, the take selector at each count, and the
// chooser open, filtered and with no match, as the window's chip opens it.

#include "QMLanguageChooser.h"
#include "QMModeSelector.h"
#include "QMTakeSelector.h"
#include "QMWindowLook.h"

#include "qm/platform/defaults.h"
#include "qm/ui/popover.h"
#include "qm/ui/render.h"
#include "qm/ui/window.h"

#include <optional>

namespace {

using namespace qm::ui;

std::shared_ptr<View> onPage(const std::shared_ptr<View>& control) {
  auto page = std::make_shared<View>(Rect{0, 0, control->frame().width() + 16, 40});
  page->addSubview(control);
  return page;
}

// The window's Match / Variation selector (or the plain one), with an 8-point margin.
std::shared_ptr<View> mode(int32_t segment, bool windowLook, bool enabled = true, bool dimmed = false,
                           const char* centre = nullptr) {
  auto s = QMModeSelector::initWithFrame(Rect{8, 8, centre ? 207.0 : 138.0, 24});
  if (windowLook) QMApplyMatchVariationLook(*s);
  if (centre) s->setCenterTitle(centre);
  s->setSelectedSegment(segment);
  s->setEnabled(enabled);
  s->setDimmedAppearance(dimmed);
  return onPage(s);
}

// The take selector at `count`. Choosing stores the count in the user defaults, as a click does;
// the stored choice of whoever runs the gallery is put back afterwards.
std::shared_ptr<View> takes(int32_t count) {
  auto& defaults = qm::platform::UserDefaults::standard();
  const std::optional<nlohmann::json> stored = defaults.object(kQuillomancer_TakesDefaultsKey);
  auto s = QMTakeSelector::initWithFrame(Rect{8, 8, 132, 24});
  s->setSelectedTakes(count);
  if (stored) {
    defaults.set(kQuillomancer_TakesDefaultsKey, *stored);
  } else {
    defaults.remove(kQuillomancer_TakesDefaultsKey);
  }
  defaults.synchronize();
  return onPage(s);
}

// The window's side of the chooser: a pick goes nowhere here.
struct NoWindow : QMLanguageChooserOwner {
  void SelectLanguageAlias(const std::string&, bool) override {}
};

// The chooser as the chip opens it, with `query` typed into its search field: the popover's
// window, whose views the chooser and the chip's window keep alive for the gallery's run.
std::shared_ptr<View> chooser(const std::string& query) {
  static NoWindow owner;
  static std::vector<std::shared_ptr<void>> kept;
  auto window = std::make_shared<Window>(Rect{0, 0, 480, 300});
  window->setContentView(std::make_shared<View>());
  auto chip = std::make_shared<QMActionView>(Rect{400, 10, 58, 20});
  window->contentView()->addSubview(chip);
  auto languages = std::make_shared<QMLanguageChooser>();
  languages->setOwner(&owner);
  languages->toggleLanguageChooserAction(chip.get());
  Popover* popover = languages->languagePopover();
  if (!popover || !popover->window()) return std::make_shared<View>(Rect{0, 0, 264, 246});
  if (!query.empty()) {
    languages->languageSearchField()->setStringValue(query);
    languages->rebuildLanguageChooserResults();
  }
  kept.insert(kept.end(), {window, languages});
  return popover->window()->contentView();
}

struct Register {
  Register() {
    using qm::ui::render::GalleryPage;
    std::vector<GalleryPage> pages;
    auto add = [&](const std::string& name, std::function<std::shared_ptr<View>()> build) {
      pages.push_back(GalleryPage{name, std::move(build), Color::deviceRGB(0.14, 0.15, 0.17)});
    };
    add("qm-mode-selector-default", [] { return mode(0, false); });
    add("qm-mode-selector-match", [] { return mode(0, true); });
    add("qm-mode-selector-variation", [] { return mode(1, true); });
    add("qm-mode-selector-disabled", [] { return mode(1, true, false); });
    add("qm-mode-selector-dimmed", [] { return mode(1, true, true, true); });
    add("qm-mode-selector-three-centre", [] { return mode(1, true, true, false, "Blend"); });
    for (const int32_t count : {1, 3, 5}) add("qm-take-selector-" + std::to_string(count), [count] { return takes(count); });
    add("qm-language-chooser-open", [] { return chooser(""); });
    add("qm-language-chooser-filtered", [] { return chooser("ital"); });
    add("qm-language-chooser-empty", [] { return chooser("zz"); });
    qm::ui::render::registerGalleryPages(std::move(pages));
  }
};

const Register registered;

}  // namespace
