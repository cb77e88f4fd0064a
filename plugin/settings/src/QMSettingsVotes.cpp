// Votes on the last render and the logo's clicks. A vote lights its thumb at once, goes to the
// service with the render id of the last generation, and fades back after half a second in 20
// steps; a newer vote makes the older steps stale through the vote token. Seven plain clicks on
// the logo show the alternate logo for five seconds; an Option-click toggles the repair preview.

#include "QMSettingsCardInternal.h"
#include "QMSettingsCardSupport.h"

#include "QMWindowLook.h"
#include "QuillomancerServer.h"

#include "qm/platform/thread_check.h"
#include "qm/ui/animation.h"
#include "qm/ui/application.h"
#include "qm/ui/layer.h"

#include <algorithm>

using qm::ui::Color;

namespace {

constexpr double kVoteHoldSeconds = 0.5;
constexpr int kVoteFadeSteps = 20;
constexpr double kVoteFadeStepSeconds = 0.1;
constexpr int kLogoTapsToTrigger = 7;
constexpr double kLogoShownSeconds = 5.0;
constexpr double kLogoFadeSeconds = 0.85;

Color UpLitColour() { return QMHighlightGreen(); }
Color DownLitColour() { return QMAccentRed(); }

void Tint(qm::ui::Button* button, const Color& colour) {
  if (button) button->setContentTintColor(colour);
}

}  // namespace

std::optional<Color> QMBlendColor(std::optional<Color> from, std::optional<Color> to, double t) {
  if (!from) return to;
  if (!to) return from;
  t = std::clamp(t, 0.0, 1.0);
  const std::optional<Color> a = from->toSRGB();
  const std::optional<Color> b = to->toSRGB();
  if (!a || !b) return to;
  auto mix = [t](double x, double y) { return x + (y - x) * t; };
  return Color::sRGB(mix(a->red(), b->red()), mix(a->green(), b->green()), mix(a->blue(), b->blue()),
                     mix(a->alpha(), b->alpha()));
}

// [main-thread]
void QMSettingsHelper::voteUpAction(qm::ui::Object*) { queueVote(QuillomancerServer::kVoteUp, 1); }

// [main-thread]
void QMSettingsHelper::voteDownAction(qm::ui::Object*) { queueVote(QuillomancerServer::kVoteDown, -1); }

// [main-thread]
void QMSettingsHelper::queueVote(QuillomancerServer::VoteType voteType, int activeState) {
  QM_ASSERT_THREAD(main);
  std::string renderId;
  if (QMSettingsHelperOwner* window = guiOwner()) renderId = window->GetCurrentRenderId();
  const std::string token = QMUsableWindowToken(*this);

  activeVote = activeState;
  const std::uint64_t mine = ++voteAnimationToken;
  applyVoteVisualState();
  QMCardLog(std::string("GUI event: vote clicked (") + (activeState >= 1 ? "up" : "down") + ")");

  if (!renderId.empty() && !token.empty()) {
    qm::platform::dispatchGlobal([renderId, voteType, token] { QuillomancerServer::SubmitVote(renderId, voteType, token); });
  } else {
    QMCardLog(std::string("GUI event: vote not sent (render id ") + (renderId.empty() ? "none" : "present") +
              ", token " + (token.empty() ? "none" : "present") + ")");
  }

  // The steps reach the controller through the keeper, which teardown empties.
  deferred.schedule(kVoteHoldSeconds, [this, mine] {
    if (voteAnimationToken != mine) return;
    for (int step = 1; step <= kVoteFadeSteps; ++step) {
      deferred.schedule(kVoteFadeStepSeconds * step, [this, mine, step] {
        if (voteAnimationToken != mine) return;
        applyVoteVisualFadeProgress(double(step) / kVoteFadeSteps);
        if (step == kVoteFadeSteps) {
          activeVote = 0;
          applyVoteVisualState();
        }
      });
    }
  });
}

// [main-thread]
void QMSettingsHelper::setActiveVote(int vote) { activeVote = vote; }

// [main-thread]
void QMSettingsHelper::applyVoteVisualState() {
  Tint(views.voteUpBtn.get(), activeVote == 1 ? UpLitColour() : QMTextSecondary());
  Tint(views.voteDownBtn.get(), activeVote == -1 ? DownLitColour() : QMTextSecondary());
}

// [main-thread]
void QMSettingsHelper::applyVoteVisualFadeProgress(double progress) {
  progress = std::clamp(progress, 0.0, 1.0);
  const Color rest = QMTextSecondary();
  if (views.voteUpBtn)
    Tint(views.voteUpBtn.get(), QMBlendColor(activeVote == 1 ? UpLitColour() : rest, rest, progress).value_or(rest));
  if (views.voteDownBtn)
    Tint(views.voteDownBtn.get(), QMBlendColor(activeVote == -1 ? DownLitColour() : rest, rest, progress).value_or(rest));
}

// ---- the logo -----------------------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::logoTapped(qm::ui::Object*) {
  QM_ASSERT_THREAD(main);
  if (!views.easterEggLogoView) return;
  QMSettingsHelperOwner* window = guiOwner();
  const qm::ui::Event* event = qm::ui::Application::shared().currentEvent();
  if (window && event && (event->modifierFlags & qm::ui::kModifierOption)) {
    const bool armed = !window->IsRepairPreviewArmed();
    window->SetRepairPreviewArmed(armed);
    QMCardLog(std::string("GUI event: repair preview ") + (armed ? "armed" : "disarmed") + " via option-click logo");
    return;
  }
  if (++logoTapCount < kLogoTapsToTrigger) return;
  logoTapCount = 0;
  const std::uint64_t mine = ++logoAnimationToken;
  qm::ui::ImageView& logo = *views.easterEggLogoView;
  logo.animations().removeAll();
  logo.setAlphaValue(1);
  logo.setHidden(false);
  QMCardLog("GUI event: logo easter egg triggered");

  deferred.schedule(kLogoShownSeconds, [this, mine] {
    if (logoAnimationToken != mine || !views.easterEggLogoView) return;
    std::weak_ptr<QMSettingsHelper> weak = QMRetainController(*this);
    qm::ui::AnimationContext::runAnimationGroup(
        [this](qm::ui::AnimationContext& context) {
          context.setDuration(kLogoFadeSeconds);
          views.easterEggLogoView->animator().setAlphaValue(0);
        },
        [weak, mine] {
          auto c = weak.lock();
          if (!c || c->logoAnimationToken != mine || !c->views.easterEggLogoView) return;
          c->views.easterEggLogoView->setHidden(true);
          c->views.easterEggLogoView->setAlphaValue(1);
        });
  });
}
