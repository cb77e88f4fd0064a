#include "QMWindowLook.h"

#include "qm/platform/defaults.h"
#include "qm/ui/graphics.h"

#include <algorithm>
#include <cstdio>

using qm::ui::Color;

Color QMTextPrimary() { return Color::deviceRGB255(138, 152, 177); }
Color QMTextSecondary() { return Color::deviceRGB255(126, 140, 165); }
Color QMHighlightGreen() { return Color::genericRGB(0.29, 0.871, 0.502); }
Color QMAccentOrange() { return Color::genericRGB(0.953, 0.612, 0.071); }
Color QMAccentRed() { return Color::genericRGB(0.906, 0.298, 0.235); }
Color QMRepairHighlightOrange() { return Color::genericRGB(0.949, 0.588, 0.18); }
Color QMControlInnerOffColor() { return Color::deviceRGB255(21, 24, 28); }
Color QMControlHighlightColor() { return Color::deviceRGB255(55, 58, 62); }

Color QMSettingsTintColor() { return Color::deviceRGB255(87, 98, 116); }
Color QMInputBGColor() { return Color::deviceRGB255(21, 24, 28); }
Color QMPlaceholderTintColor() { return Color::deviceRGB255(73, 80, 91); }
Color QMPlaceholderColor() { return QMPlaceholderTintColor(); }
Color QMControlOuterColor() { return Color::deviceRGB255(14, 16, 18); }
Color QMLanguageChipAccentColor() { return Color::genericRGB(0.54, 0.58, 0.65); }
Color QMTopButtonTopColor() { return Color::deviceRGB255(38, 40, 45); }
Color QMTopButtonBottomColor() { return Color::deviceRGB255(28, 30, 35); }
Color QMTextMuted() { return Color::deviceRGB255(86, 96, 115); }
Color QMToolIconColor() { return Color::deviceRGB255(109, 123, 146); }
Color QMAccentGreen() { return Color::genericRGB(0.153, 0.682, 0.376); }
Color QMGreenColor() { return QMAccentGreen(); }
Color QMGrayColor() { return QMTextSecondary(); }
Color QMOrangeColor() { return QMAccentOrange(); }

void QMApplyOuterShellStyle(qm::ui::View* view, double radius, bool emphasised) {
  if (!view || !view->wantsLayer() || !view->layer()) return;
  qm::ui::Layer* layer = view->layer();
  layer->cornerRadius = radius;
  layer->masksToBounds = false;
  layer->borderWidth = 1;
  layer->borderColor = Color::black().withAlpha(0.88);
  layer->shadowColor = Color::black().withAlpha(emphasised ? 0.7 : 0.55);
  layer->shadowOpacity = 1;
  layer->shadowRadius = emphasised ? 3 : 2.2;
  layer->shadowOffset = qm::ui::Size{0, -1};

  const qm::ui::Rect bounds = view->bounds();
  if (auto shell = QMEnsureGradientSublayer(layer, "qmOuterShell")) {
    shell->frame = bounds;
    shell->cornerRadius = radius;
    shell->colors = emphasised ? std::vector<Color>{Color::deviceRGB255(74, 79, 88), Color::deviceRGB255(10, 12, 14)}
                               : std::vector<Color>{Color::deviceRGB255(39, 43, 49), Color::deviceRGB255(8, 9, 10)};
    shell->startPoint = {0.5, 1};
    shell->endPoint = {0.5, 0};
    shell->zPosition = -3;
  }
  if (auto highlight = QMEnsureShapeSublayer(layer, "qmOuterHighlight")) {
    highlight->frame = bounds;
    highlight->path = qm::ui::Path::roundedRect(bounds.insetBy(0.5, 0.5), radius, radius);
    highlight->fillColor.reset();
    highlight->lineWidth = 1;
    highlight->strokeColor = Color::white().withAlpha(emphasised ? 0.16 : 0.14);
    highlight->zPosition = -2;
  }
}

void QMApplyInnerButtonStyle(qm::ui::Button* button, double radius, std::optional<Color> top, std::optional<Color> bottom,
                             std::optional<Color> stroke) {
  if (!button || !button->wantsLayer() || !button->layer()) return;
  qm::ui::Layer* layer = button->layer();
  layer->cornerRadius = radius;
  layer->masksToBounds = true;
  layer->backgroundColor = Color::clear();
  layer->borderWidth = 0;
  layer->borderColor = Color::clear();
  if (button->respondsToSelector("setGradientTopColor:") && button->respondsToSelector("setGradientBottomColor:") &&
      button->respondsToSelector("setStrokeColor:")) {
    button->setValueForKey("gradientTopColor", top.value_or(QMControlInnerOffColor()));
    button->setValueForKey("gradientBottomColor", bottom.value_or(QMControlInnerOffColor()));
    button->setValueForKey("strokeColor", stroke.value_or(QMControlHighlightColor()));
    button->setNeedsDisplay();
  }
}

Color QMLerpColor(const Color& a, const Color& b, double t) {
  const Color from = a.toDeviceRGB().value_or(a);
  const Color to = b.toDeviceRGB().value_or(b);
  t = std::clamp(t, 0.0, 1.0);
  auto mix = [t](double x, double y) { return x + (y - x) * t; };
  return Color::deviceRGB(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()),
                          mix(from.alpha(), to.alpha()));
}

std::shared_ptr<qm::ui::Image> QMTintedSystemSymbolImage(const std::string& name, const std::string& description,
                                                         std::optional<Color> colour) {
  auto symbol = qm::ui::Image::systemSymbol(name, description);
  if (!symbol) return nullptr;
  if (auto configured = symbol->withSymbolConfiguration(qm::ui::SymbolConfiguration{27.75, qm::ui::FontWeight::Medium}))
    symbol = configured;
  const Color tint = colour.value_or(QMTextSecondary());
  const qm::ui::Size size = symbol->size();
  auto image = qm::ui::Image::withHandler(size, [symbol, tint](qm::ui::GraphicsContext& c, const qm::ui::Rect& rect) {
    c.drawImage(*symbol, rect, qm::ui::CompositeOp::SourceOver, 1.0);
    c.fillRect(rect, tint, qm::ui::CompositeOp::SourceAtop);
    return true;
  });
  image->setTemplate(false);
  return image;
}

std::shared_ptr<qm::ui::Image> QMBandageIconImage(std::optional<Color> colour) {
  const Color icon = colour.value_or(QMToolIconColor());
  auto image = qm::ui::Image::withHandler(qm::ui::Size{27, 27}, [icon](qm::ui::GraphicsContext& c, const qm::ui::Rect&) {
    using qm::ui::Path;
    using qm::ui::Rect;
    c.save();
    c.translate(13.5, 13.5);
    c.scale(1.8, 1.8);
    c.concat(qm::ui::AffineTransform::rotationDegrees(-34));
    c.fillPath(Path::roundedRect(Rect{-7.4, -3, 7.1, 6}, 2.2, 2.2), icon.withAlpha(0.92));
    c.fillPath(Path::roundedRect(Rect{0.3, -3, 7.1, 6}, 2.2, 2.2), icon.withAlpha(0.92));
    c.fillPath(Path::roundedRect(Rect{-1.2, -3.2, 2.4, 6.4}, 1.0, 1.0), icon.withAlpha(0.82));
    const double holes[6][2] = {{-5.2, 1.05}, {-3.85, -0.05}, {-5.2, -1.15}, {5.2, 1.05}, {3.85, -0.05}, {5.2, -1.15}};
    for (const auto& h : holes) c.fillPath(Path::rect(Rect{h[0], h[1], 0.9, 0.9}), Color::deviceRGB255(21, 24, 28));
    c.restore();
    return true;
  });
  image->setTemplate(false);
  return image;
}

std::shared_ptr<qm::ui::Layer> QMFindNamedSublayer(qm::ui::Layer* layer, const std::string& name) {
  if (!layer || name.empty()) return nullptr;
  return layer->sublayerNamed(name);
}

std::shared_ptr<qm::ui::GradientLayer> QMEnsureGradientSublayer(qm::ui::Layer* layer, const std::string& name) {
  if (!layer) return nullptr;
  if (auto found = std::dynamic_pointer_cast<qm::ui::GradientLayer>(QMFindNamedSublayer(layer, name))) return found;
  auto made = std::make_shared<qm::ui::GradientLayer>();
  made->name = name;
  layer->insertSublayer(made, 0);
  return made;
}

std::shared_ptr<qm::ui::ShapeLayer> QMEnsureShapeSublayer(qm::ui::Layer* layer, const std::string& name) {
  if (!layer) return nullptr;
  if (auto found = std::dynamic_pointer_cast<qm::ui::ShapeLayer>(QMFindNamedSublayer(layer, name))) return found;
  auto made = std::make_shared<qm::ui::ShapeLayer>();
  made->name = name;
  layer->addSublayer(made);
  return made;
}

const char* QMPluginVersionString() { return "2.0.2"; }

std::string QMInstalledVersionLabelString() { return std::string("Installed v") + QMPluginVersionString(); }

bool QMShouldAddBreathAfterDialogue() {
  auto& defaults = qm::platform::UserDefaults::standard();
  const char* key = "com.quillomancer.addBreathAfterDialogue";
  if (!defaults.has(key)) return true;
  return defaults.boolForKey(key);
}

std::string QMVoiceChangeLockedMessage() {
  return "Voice Change is audio-only. Load the voice clip (more = better output), then load the performance clip.";
}
