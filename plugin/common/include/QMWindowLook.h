#pragma once
// The plug-in window's look, shared by every room that draws: the window colours, the palette,
// the two layer styles (the raised outer shell around a button and the inner button face), the
// colour blend, the tinted symbol, the bandage icon, the named sublayers and a few texts.
// Main thread only, like the views they style.

#include "qm/ui/button.h"
#include "qm/ui/color.h"
#include "qm/ui/image.h"
#include "qm/ui/layer.h"
#include "qm/ui/view.h"

#include <memory>
#include <optional>
#include <string>

// ---- shared window colours (each call returns a new opaque colour) ----
qm::ui::Color QMTextPrimary();
qm::ui::Color QMTextSecondary();
qm::ui::Color QMHighlightGreen();
qm::ui::Color QMAccentOrange();
qm::ui::Color QMAccentRed();
qm::ui::Color QMRepairHighlightOrange();
// Control colours.
qm::ui::Color QMControlInnerOffColor();
qm::ui::Color QMControlHighlightColor();

// ---- palette ----
qm::ui::Color QMSettingsTintColor();
qm::ui::Color QMInputBGColor();
qm::ui::Color QMPlaceholderTintColor();
qm::ui::Color QMPlaceholderColor();
qm::ui::Color QMControlOuterColor();
qm::ui::Color QMLanguageChipAccentColor();
qm::ui::Color QMTopButtonTopColor();
qm::ui::Color QMTopButtonBottomColor();
qm::ui::Color QMTextMuted();
qm::ui::Color QMToolIconColor();
qm::ui::Color QMAccentGreen();
qm::ui::Color QMGreenColor();
qm::ui::Color QMGrayColor();
qm::ui::Color QMOrangeColor();

// ---- layer styles ----
// The raised rim around a button: nothing unless the view exists and has a layer.
void QMApplyOuterShellStyle(qm::ui::View* view, double radius, bool emphasised);
// The button face: nothing unless the button exists and has a layer. Colours given as none take
// the control fallbacks; they reach the button by key when it answers all three setters.
void QMApplyInnerButtonStyle(qm::ui::Button* button, double radius, std::optional<qm::ui::Color> topColor,
                             std::optional<qm::ui::Color> bottomColor, std::optional<qm::ui::Color> strokeColor);

// ---- colours and icons ----
// Between a and b in device RGB; t is clamped to 0...1. A colour that does not convert is used
// as it is.
qm::ui::Color QMLerpColor(const qm::ui::Color& a, const qm::ui::Color& b, double t);
// A system symbol at 27.75 points, medium weight, tinted (QMTextSecondary without a colour),
// not a template; none when the system has no such symbol.
std::shared_ptr<qm::ui::Image> QMTintedSystemSymbolImage(const std::string& name, const std::string& description,
                                                         std::optional<qm::ui::Color> colour);
// The Repair tool's bandage, 27 x 27 points (QMToolIconColor without a colour).
std::shared_ptr<qm::ui::Image> QMBandageIconImage(std::optional<qm::ui::Color> colour);

// ---- named sublayers ----
std::shared_ptr<qm::ui::Layer> QMFindNamedSublayer(qm::ui::Layer* layer, const std::string& name);
// The named sublayer when it is of the kind, else a new one of the kind with that name, inserted
// at the back (gradient) or appended on top (shape); a found one of the wrong kind stays.
std::shared_ptr<qm::ui::GradientLayer> QMEnsureGradientSublayer(qm::ui::Layer* layer, const std::string& name);
std::shared_ptr<qm::ui::ShapeLayer> QMEnsureShapeSublayer(qm::ui::Layer* layer, const std::string& name);

// ---- texts and the breath setting ----
const char* QMPluginVersionString();
std::string QMInstalledVersionLabelString();
// True when nothing is stored under "com.quillomancer.addBreathAfterDialogue", else the stored
// truth value.
bool QMShouldAddBreathAfterDialogue();
std::string QMVoiceChangeLockedMessage();
