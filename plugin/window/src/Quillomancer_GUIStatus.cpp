// The status line under the editor (the processor's state in words, the length counter, the
// processing dots and the Voice Change countdown, manual messages, the marquee of a text too wide
// for the line and the fade of error texts), the LOAD and Process accents, the Process button's
// look, and the labels of the host's own buttons. The tick decides when each of these runs.

#include "Quillomancer_GUIBuild.h"

#include "AAX_Errors.h"
#include "QMWindowLook.h"

#include "qm/platform/thread_check.h"
#include "qm/platform/time.h"
#include "qm/ui/attributed_string.h"
#include "qm/ui/text_measurer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

using qm::ui::Color;
using qm::ui::Rect;

namespace {

constexpr const char* kPricingPageURL = "https://quillomancer.com/pricing";

// From this many UTF-16 units on the status line counts them.
constexpr std::size_t kCounterFromLength = 180;
constexpr double kStatusLineHeight = 16;

// The marquee: a rest at the start, 30 points a second (at least 1.6 s each way), a rest at the
// far end and one before the next cycle.
constexpr double kMarqueeStartRest = 0.75;
constexpr double kMarqueeEndRest = 0.65;
constexpr double kMarqueePointsPerSecond = 30.0;
constexpr double kMarqueeMinimumScroll = 1.6;

// A fading text stands fully for 7 s and is gone at 9 s.
constexpr double kFadeStart = 7.0;
constexpr double kFadeLength = 2.0;

constexpr double kAccentSeconds = 1.0;
constexpr double kAccentEpsilon = 0.0001;

Color ErrorRed() { return Color::deviceRGB(1.0, 0.2, 0.2, 1.0); }

std::string Format(const char* format, int a, int b) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// A text of the status line in its colour.
struct StatusText {
  std::string text;
  Color colour;
};

// The length counter of the status line: "n/200" from 180 units on, orange, red at the limit.
std::optional<StatusText> LengthCounter(const Quillomancer_GUI& gui) {
  const QMTrackedTextEditorView* editor = gui.views.editorView;
  if (!editor || gui.IsVoiceChangeMode()) return std::nullopt;
  const std::size_t n = editor->targetText().size();
  if (n < kCounterFromLength) return std::nullopt;
  char text[32];
  std::snprintf(text, sizeof text, "%zu/%zu", n, kQuillomancer_MaxTextLength);
  return StatusText{text, n < kQuillomancer_MaxTextLength ? QMAccentOrange() : QMAccentRed()};
}

// One accent animation step: linear over a second towards its goal. True when it moved.
bool AdvanceAccent(double& current, double from, double to, double startedAt, double now) {
  if (std::fabs(current - to) <= kAccentEpsilon) return false;
  const double f = std::clamp(std::max(0.0, now - startedAt) / kAccentSeconds, 0.0, 1.0);
  current = f >= 1.0 ? to : from + (to - from) * f;
  return true;
}

// Arming one of the two buttons: the goal of its accent, faded to over a second or set at once.
// True when the button must be redrawn now.
bool ArmAccent(bool& armedFlag, double& current, double& from, double& to, double& startedAt, bool armed,
               bool animated) {
  const double target = armed ? 1.0 : 0.0;
  if (armedFlag == armed && std::fabs(to - target) < kAccentEpsilon) return false;
  armedFlag = armed;
  if (animated) {
    from = current;
    to = target;
    startedAt = qm::platform::currentTimeSeconds();
    return false;
  }
  from = to = current = target;
  startedAt = 0;
  return true;
}

// The face shared by LOAD and Process: the ring lit by the accent, the fills of the host's dark
// buttons, a centred title.
void ApplyAccentButtonLook(QMModeTextButton& button, double radius, double accent, const std::string& title,
                           double fontSize, const Color& titleColour) {
  const Color ring = QMLerpColor(QMControlOuterColor(), QMHighlightGreen(), accent);
  button.normalFillColor = QMControlInnerOffColor();
  button.pressedFillColor = Color::deviceRGB(0.16, 0.18, 0.21, 1.0);
  QMApplyInnerButtonStyle(&button, radius, QMTopButtonTopColor(), QMTopButtonBottomColor(), ring);
  button.setAttributedTitle(
      QMStyledText(title, qm::ui::Font::system(fontSize), titleColour, qm::ui::TextAlignment::Center));
  button.setAlignment(qm::ui::TextAlignment::Center);
  button.setNeedsDisplay();
}

}  // namespace

// [main-thread]
void Quillomancer_GUI::UpdateStatusDisplay(int32_t plugInState, int32_t takeIndex, int32_t takesRequested,
                                           int32_t takesReady, int32_t activity, int32_t countdown) {
  QM_ASSERT_THREAD(main);
  qm::ui::TextField* label = views.statusLabel;
  if (!label) return;
  const double now = qm::platform::currentTimeSeconds();
  state.statusFades = false;

  const bool countdownRuns = plugInState == kQuillomancerState_Processing && IsVoiceChangeMode() &&
                             activity == kQuillomancerActivity_Generate && takesReady < 1;
  if (!countdownRuns) {
    state.countdownStartedAt = 0;
    state.countdownSeconds = 0;
  } else if (state.countdownStartedAt <= 0) {
    state.countdownStartedAt = now;
    state.countdownSeconds = std::max(0, countdown);
  }
  label->setAlignment(countdownRuns ? qm::ui::TextAlignment::Left : qm::ui::TextAlignment::Center);

  const bool voiceChange = IsVoiceChangeMode();
  const std::optional<StatusText> counter = LengthCounter(*this);
  // The counter, else the empty text in the state's colour.
  const auto counterOr = [&](const Color& colour) {
    return counter ? *counter : StatusText{"", colour};
  };
  // What went wrong: in the error red, fading out.
  const auto failure = [&](std::string text) {
    state.statusFades = true;
    return StatusText{std::move(text), ErrorRed()};
  };
  std::optional<StatusText> shown;
  switch (plugInState) {
    case kQuillomancerState_Ready:
      shown = counterOr(QMGrayColor());
      break;
    case kQuillomancerState_Analyzing:
      shown = StatusText{"Loading Audio...", QMOrangeColor()};
      break;
    case kQuillomancerState_Processing: {
      ++state.processingDotCount;
      const double phase = state.processingDotCount * 0.05;
      state.processingDotPhase = static_cast<float>(phase);
      if (takesReady >= 1) {
        shown = StatusText{Format("Take %d/%d ready", takesReady, takesRequested), QMOrangeColor()};
        break;
      }
      static const char* const kSuffixes[3] = {".  ", ".. ", "..."};
      const char* suffix = kSuffixes[static_cast<long>(std::floor(phase * 1.5)) % 3];
      std::string text;
      if (activity == kQuillomancerActivity_Transcribe) {
        text = std::string("Transcribing") + suffix;
      } else if (countdownRuns) {
        const double left = std::max(0.0, std::ceil(state.countdownSeconds - std::max(0.0, now - state.countdownStartedAt)));
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, " %3lds", static_cast<long>(left));
        text = std::string("Processing") + suffix + seconds;
      } else {
        text = std::string("Processing") + suffix;
      }
      shown = StatusText{text, QMOrangeColor()};
      break;
    }
    case kQuillomancerState_HasTakes:
      // Which take is next, of the takes that came back. The processor reports the takes still
      // left, so their number is kept from when they arrived; the takes asked for may differ by now.
      state.takesArrived = std::max(state.takesArrived, takesReady);
      shown = StatusText{Format("Take %d/%d - ready to render", takeIndex + 1, state.takesArrived), QMGreenColor()};
      break;
    case kQuillomancerState_Error:
      shown = failure(state.errorText.empty() ? "Could not reach server" : state.errorText);
      break;
    case kQuillomancerState_SelectionTooShort:
      shown = failure(voiceChange ? "Reference min 1s; performance min 0.25s"
                                  : "Error \u2014 Selection too short (minimum 0.5 seconds)");
      break;
    case kQuillomancerState_SelectionTooLong:
      shown = failure(voiceChange ? "Reference max 25s; performance max 30s"
                                  : "Error \u2014 Selection too long (maximum 15 seconds)");
      break;
    case kQuillomancerState_NoCredits:
      shown = failure(std::string("Not enough credits \u2014 visit ") + kPricingPageURL);
      break;
    case kQuillomancerState_UpdateRequired:
      shown = counterOr(QMTextSecondary());
      break;
    case kQuillomancerState_InputTextRequired:
    case kQuillomancerState_BeforeTextRequired:
      shown = counterOr(QMOrangeColor());
      break;
    case kQuillomancerState_VoiceCaptured:
      shown = StatusText{"Voice learned - load performance clip", QMGreenColor()};
      break;
    default:
      return;  // a state the window does not know leaves the text as it was
  }
  if (plugInState == kQuillomancerState_Ready || plugInState == kQuillomancerState_Analyzing) {
    state.processingDotCount = 0;
    state.processingDotPhase = 0;
  }
  // The takes were all rendered, or new ones are on their way.
  if (plugInState == kQuillomancerState_Ready || plugInState == kQuillomancerState_Analyzing ||
      plugInState == kQuillomancerState_Processing) {
    state.takesArrived = 0;
  }
  if (plugInState == kQuillomancerState_HasTakes) {
    state.manualMessageActive = false;
    state.manualMessageText.clear();
    state.countdownStartedAt = 0;
    state.countdownSeconds = 0;
  }
  if (label->stringValue() != shown->text) label->setStringValue(shown->text);
  label->setTextColor(shown->colour);
}

// [main-thread]
void Quillomancer_GUI::SetManualStatusMessage(const std::string& text, float red, float green, float blue,
                                              float alpha) {
  QM_ASSERT_THREAD(main);
  const double now = qm::platform::currentTimeSeconds();
  state.manualMessageText = text;
  state.manualMessageColour = {red, green, blue, alpha};
  state.manualMessageStartedAt = now;
  state.manualMessageActive = !text.empty();
  if (!text.empty()) {
    state.lastStatusText.clear();
    state.statusTextChangedAt = now;
  }
}

// [main-thread]
void Quillomancer_GUI::UpdateStatusLabelFade() {
  QM_ASSERT_THREAD(main);
  qm::ui::TextField* label = views.statusLabel;
  if (!label) return;
  const double now = qm::platform::currentTimeSeconds();
  const std::string text = label->stringValue();
  if (text != state.lastStatusText) {
    state.lastStatusText = text;
    state.statusTextChangedAt = now;
    // Measured once per text: the width only changes with it.
    qm::ui::TextAttributes attributes;
    attributes.font = label->font().value_or(qm::ui::Font::system(12));
    state.lastStatusTextWidth =
        text.empty() ? 0 : std::ceil(qm::ui::textMeasurer().measure(qm::ui::AttributedString(text, attributes)).width) + 2.0;
  }
  const double elapsed = std::max(0.0, now - state.statusTextChangedAt);

  if (qm::ui::View* clip = views.statusClipView) {
    const double w = clip->frame().width();
    const double t = state.lastStatusTextWidth;
    if (text.empty() || t <= w) {
      label->setFrame(Rect{0, 0, w, kStatusLineHeight});
    } else {
      const double overflow = t - w;
      const double scroll = std::max(kMarqueeMinimumScroll, overflow / kMarqueePointsPerSecond);
      const double cycle = 2 * scroll + 2 * kMarqueeEndRest;
      double x = 0;
      if (elapsed > kMarqueeStartRest) {
        const double p = std::fmod(elapsed - kMarqueeStartRest, cycle);
        if (p < scroll) {
          x = -overflow * p / scroll;
        } else if (p < scroll + kMarqueeEndRest) {
          x = -overflow;
        } else if (p < 2 * scroll + kMarqueeEndRest) {
          x = -overflow * (1 - (p - scroll - kMarqueeEndRest) / scroll);
        }
      }
      label->setAlignment(qm::ui::TextAlignment::Left);
      label->setFrame(Rect{x, 0, t, kStatusLineHeight});
    }
  }

  double alpha = 1.0;
  if (!text.empty() && state.statusFades) alpha = 1.0 - std::clamp((elapsed - kFadeStart) / kFadeLength, 0.0, 1.0);
  if (label->alphaValue() != alpha) label->setAlphaValue(alpha);
}

// [main-thread]
void Quillomancer_GUI::SetLoadButtonArmed(bool armed, bool animated) {
  QM_ASSERT_THREAD(main);
  if (ArmAccent(state.loadButtonArmed, state.loadAccent, state.loadAccentFrom, state.loadAccentTo,
                state.loadAccentStartedAt, armed, animated)) {
    UpdateLoadButtonAppearance();
  }
}

// [main-thread]
void Quillomancer_GUI::SetProcessButtonArmed(bool armed, bool animated) {
  QM_ASSERT_THREAD(main);
  if (ArmAccent(state.processButtonArmed, state.processAccent, state.processAccentFrom, state.processAccentTo,
                state.processAccentStartedAt, armed, animated)) {
    UpdateProcessButtonAppearance();
  }
}

// [main-thread]
void Quillomancer_GUI::AdvanceAccentAnimations() {
  QM_ASSERT_THREAD(main);
  const double now = qm::platform::currentTimeSeconds();
  if (AdvanceAccent(state.loadAccent, state.loadAccentFrom, state.loadAccentTo, state.loadAccentStartedAt, now)) {
    UpdateLoadButtonAppearance();
  }
  if (AdvanceAccent(state.processAccent, state.processAccentFrom, state.processAccentTo, state.processAccentStartedAt,
                    now)) {
    UpdateProcessButtonAppearance();
  }
}

// The window has no LOAD button of its own (the host's analysis button loads); the accent is kept
// all the same.
// [main-thread]
void Quillomancer_GUI::UpdateLoadButtonAppearance() {
  QM_ASSERT_THREAD(main);
  if (!views.loadButton) return;
  ApplyAccentButtonLook(*views.loadButton, 10.0, state.loadAccent, "Load Audio", 13, QMTextPrimary());
}

// Process is muted while there is nothing to send or LOAD is the next step, unless lit.
// [main-thread]
void Quillomancer_GUI::UpdateProcessButtonAppearance() {
  QM_ASSERT_THREAD(main);
  if (!views.processButton) return;
  const bool muted = (!IsVoiceChangeMode() && state.lastSentText.empty()) || state.loadButtonArmed;
  const Color title = state.processAccent > 0.001 ? QMTextPrimary() : muted ? QMTextMuted() : QMTextPrimary();
  ApplyAccentButtonLook(*views.processButton, 8.0, state.processAccent, "Process", 12, title);
}

// The count shows in the status line; the separate counter label stays hidden and empty.
// [main-thread]
void Quillomancer_GUI::UpdateTextLengthCounter() {
  QM_ASSERT_THREAD(main);
  qm::ui::TextField* counter = views.textLengthCounterLabel;
  if (!counter || !views.editorView) return;
  if (!counter->isHidden()) counter->setHidden(true);
  if (!counter->stringValue().empty()) counter->setStringValue("");
}

// The host's analysis button loads, its render button renders.
// [main-thread]
AAX_Result Quillomancer_GUI::GetCustomLabel(AAX_EPlugInStrings kind, AAX_IString* label) noexcept {
  if (label == nullptr) return AAX_CEffectGUI_Cocoa::GetCustomLabel(kind, label);
  if (kind == AAX_ePlugInStrings_Analysis) {
    label->Set("LOAD");
    return AAX_SUCCESS;
  }
  if (kind == AAX_ePlugInStrings_Process) {
    label->Set("RENDER");
    return AAX_SUCCESS;
  }
  return AAX_CEffectGUI_Cocoa::GetCustomLabel(kind, label);
}
