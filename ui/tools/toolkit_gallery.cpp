// Gallery pages of the toolkit's own controls.

#include "qm/ui/button.h"
#include "qm/ui/image_view.h"
#include "qm/ui/render.h"
#include "qm/ui/text_field.h"

namespace {

using namespace qm::ui;

// A page: the control on a padded root.
std::shared_ptr<View> page(const std::shared_ptr<View>& control, double pad = 8) {
  const Rect f = control->frame();
  auto root = std::make_shared<View>(Rect{0, 0, f.width() + 2 * pad, f.height() + 2 * pad});
  control->setFrameOrigin(Point{pad, pad});
  root->addSubview(control);
  return root;
}

std::shared_ptr<Button> push(const std::string& title, BezelStyle style) {
  auto b = std::make_shared<Button>(Rect{0, 0, 120, 24});
  b->setBezelStyle(style);
  b->setTitle(title);
  return b;
}

std::shared_ptr<Button> symbolButton(const std::string& name) {
  auto b = std::make_shared<Button>(Rect{0, 0, 28, 28});
  b->setBordered(false);
  b->setImage(Image::systemSymbol(name, name));
  b->setImageScaling(ImageScaling::ProportionallyDown);
  return b;
}

std::shared_ptr<TextField> label(const std::string& text) {
  auto l = TextField::label(text, Rect{0, 0, 220, 18});
  l->setFont(Font::system(12));
  return l;
}

struct Register {
  Register() {
    using render::GalleryPage;
    std::vector<GalleryPage> pages;
    auto state = [&](const std::string& name, std::function<std::shared_ptr<View>()> build) {
      pages.push_back(GalleryPage{name, std::move(build)});
    };
    state("button-push-normal", [] { return page(push("Download", BezelStyle::Rounded)); });
    state("button-push-highlighted", [] {
      auto b = push("Download", BezelStyle::Rounded);
      b->setHighlighted(true);
      return page(b);
    });
    state("button-push-disabled", [] {
      auto b = push("Download", BezelStyle::Rounded);
      b->setEnabled(false);
      return page(b);
    });
    state("button-toggle-on", [] {
      auto b = push("Toggle", BezelStyle::RegularSquare);
      b->setButtonType(ButtonType::PushOnPushOff);
      b->setState(kStateOn);
      return page(b);
    });
    state("button-toggle-off", [] {
      auto b = push("Toggle", BezelStyle::RegularSquare);
      b->setButtonType(ButtonType::PushOnPushOff);
      return page(b);
    });
    state("button-inline-symbol", [] {
      auto b = push("Reset", BezelStyle::Inline);
      b->setImage(Image::systemSymbol("arrow.counterclockwise", "Reset"));
      b->setImagePosition(ImagePosition::ImageLeft);
      return page(b);
    });
    for (bool on : {true, false})
      state(std::string("switch-") + (on ? "on" : "off"), [on] {
        auto b = std::make_shared<Button>(Rect{0, 0, 140, 18});
        b->setButtonType(ButtonType::Switch);
        b->setTitle("Add breath tail");
        b->setState(on ? kStateOn : kStateOff);
        return page(b);
      });
    state("symbols", [] {
      auto root = std::make_shared<View>(Rect{0, 0, 10 * 32 + 8, 44});
      double x = 6;
      for (const auto& name : Image::symbolNames()) {
        auto b = symbolButton(name);
        b->setFrameOrigin(Point{x, 8});
        b->setContentTintColor(Color::deviceRGB255(126, 140, 165));
        root->addSubview(b);
        x += 32;
      }
      auto action = std::make_shared<Button>(Rect{x, 8, 28, 28});
      action->setBordered(false);
      action->setImage(Image::standardActionImage());
      root->addSubview(action);
      return root;
    });
    state("symbol-button-highlighted", [] {
      auto b = symbolButton("gearshape.fill");
      b->setHighlighted(true);
      return page(b);
    });
    state("symbol-button-disabled", [] {
      auto b = symbolButton("gearshape.fill");
      b->setEnabled(false);
      return page(b);
    });
    state("label", [] { return page(label("Credits: 42")); });
    state("label-disabled", [] {
      auto l = label("Credits: 42");
      l->setEnabled(false);
      return page(l);
    });
    state("label-multiline-link", [] {
      auto l = TextField::label("", Rect{0, 0, 260, 48});
      TextAttributes body;
      body.font = Font::system(12);
      body.foregroundColor = Color::deviceRGB255(126, 140, 165);
      AttributedString text("Please download the latest version at ", body);
      TextAttributes link = body;
      link.foregroundColor = Color::genericRGB(0.29, 0.871, 0.502);
      link.link = "https://example.invalid/download";
      text.append(AttributedString("example.invalid/download", link));
      text.append(AttributedString(".", body));
      l->setAttributedStringValue(text);
      l->setLineBreakMode(LineBreakMode::WordWrapping);
      l->setSelectable(true);
      return page(l);
    });
    state("text-field-bordered", [] {
      auto f = std::make_shared<TextField>(Rect{0, 0, 200, 24});
      f->setBordered(true);
      f->setDrawsBackground(true);
      f->setBackgroundColor(Color::deviceRGB255(21, 24, 28));
      f->setPlaceholderString("Search languages");
      return page(f);
    });
    state("image-view", [] {
      auto v = std::make_shared<ImageView>(Rect{0, 0, 48, 48});
      v->setImage(Image::systemSymbol("hand.thumbsup.fill", "Thumbs up"));
      v->setImageScaling(ImageScaling::ProportionallyUpOrDown);
      v->setContentTintColor(Color::genericRGB(0.29, 0.871, 0.502));
      return page(v);
    });
    state("layers", [] {
      auto v = std::make_shared<View>(Rect{0, 0, 160, 60});
      v->setWantsLayer(true);
      Layer* l = v->layer();
      l->cornerRadius = 12;
      l->backgroundColor = Color::deviceRGB255(21, 24, 28);
      l->borderWidth = 1;
      l->borderColor = Color::deviceRGB255(60, 64, 72, 0.85);
      l->shadowColor = Color::black().withAlpha(0.7);
      l->shadowOpacity = 1;
      l->shadowRadius = 4;
      l->shadowOffset = Size{0, -2};
      auto g = std::make_shared<GradientLayer>();
      g->frame = Rect{10, 10, 60, 40};
      g->cornerRadius = 6;
      g->colors = {Color::deviceRGB255(74, 79, 88), Color::deviceRGB255(10, 12, 14)};
      g->startPoint = {0.5, 1};
      g->endPoint = {0.5, 0};
      l->addSublayer(g);
      auto s = std::make_shared<ShapeLayer>();
      s->frame = Rect{90, 10, 60, 40};
      s->path = Path::oval(Rect{0, 0, 60, 40}.insetBy(2, 2));
      s->fillColor = Color::genericRGB(0.949, 0.588, 0.18, 0.4);
      s->strokeColor = Color::genericRGB(0.949, 0.588, 0.18);
      s->lineWidth = 2;
      l->addSublayer(s);
      return page(v, 12);
    });
    render::registerGalleryPages(std::move(pages));
  }
};

const Register registered;

}  // namespace
