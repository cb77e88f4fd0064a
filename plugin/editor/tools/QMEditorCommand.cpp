// `qmui editor`: builds the transcript editor as the window holds it, shows the target against
// the reference, types the given keys and picks the given words through the window's events,
// then prints the runs (kept, deleted, inserted, picked) and both texts and draws a PNG. With
// --before the keys edit the reference, as the window's Before mode does while the diff shows.
//
// KEYS are typed one character at a time; {name} presses a key that types no text: bs, del,
// left, right, up, down, home, end, return, tab, esc, lbrace, rbrace, or a letter, each with any
// of the prefixes cmd-, shift-, opt-, ctrl- ({cmd-z}, {cmd-shift-z}, {shift-left}, {opt-bs}).

#include "QMTrackedTextEditorView.h"
#include "QMWindowLook.h"

#include "qm/platform/text.h"
#include "qm/ui/render.h"
#include "qm/ui/window.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

namespace {

using namespace qm::ui;

const char* kUsage =
    "editor --reference TEXT --target TEXT [--before] [--keys KEYS] [--pick WORD...] [--dump] [--png FILE]";

// The editor holds one line of 200 units; longer texts are shown but not worth diffing at length.
constexpr std::size_t kMaxArgumentBytes = 4096;

struct KeyPress {
  std::u16string characters;
  std::u16string ignoringModifiers;
  uint32_t modifiers = 0;
};

// One {name} key; none for a name it does not know.
std::optional<KeyPress> NamedKey(std::string name) {
  KeyPress key;
  static const std::map<std::string, uint32_t> prefixes{
      {"cmd-", kModifierCommand}, {"shift-", kModifierShift}, {"opt-", kModifierOption}, {"ctrl-", kModifierControl}};
  for (bool found = true; found;) {
    found = false;
    for (const auto& [prefix, flag] : prefixes)
      if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size()) {
        key.modifiers |= flag;
        name = name.substr(prefix.size());
        found = true;
      }
  }
  static const std::map<std::string, char16_t> names{
      {"bs", keys::kBackspace}, {"del", keys::kForwardDelete}, {"left", keys::kLeftArrow}, {"right", keys::kRightArrow},
      {"up", keys::kUpArrow},   {"down", keys::kDownArrow},    {"home", keys::kHome},      {"end", keys::kEnd},
      {"return", keys::kReturn}, {"tab", keys::kTab},          {"esc", keys::kEscape},     {"lbrace", u'{'},
      {"rbrace", u'}'}};
  if (auto it = names.find(name); it != names.end()) {
    key.characters = std::u16string(1, it->second);
  } else if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') {
    key.characters = std::u16string(1, static_cast<char16_t>(name[0]));
  } else {
    return std::nullopt;
  }
  key.ignoringModifiers = key.characters;
  // Shift turns a letter to upper case, even ignoring the other modifiers.
  if ((key.modifiers & kModifierShift) && key.characters[0] >= u'a' && key.characters[0] <= u'z')
    key.ignoringModifiers = key.characters = std::u16string(1, static_cast<char16_t>(key.characters[0] - u'a' + u'A'));
  return key;
}

// The key presses of KEYS; none when it names an unknown key or is not UTF-8.
std::optional<std::vector<KeyPress>> ParseKeys(const std::string& spec) {
  std::vector<KeyPress> out;
  const std::u16string units = qm::platform::utf8ToUtf16(spec);
  if (units.empty() != spec.empty()) return std::nullopt;
  for (std::size_t i = 0; i < units.size();) {
    if (units[i] == u'{') {
      const std::size_t close = units.find(u'}', i);
      if (close == std::u16string::npos) return std::nullopt;
      auto key = NamedKey(qm::platform::utf16ToUtf8(units.substr(i + 1, close - i - 1)));
      if (!key) return std::nullopt;
      out.push_back(*key);
      i = close + 1;
      continue;
    }
    // The text is well formed: a high surrogate always has its pair.
    const std::size_t n = units[i] >= 0xD800 && units[i] < 0xDC00 ? 2 : 1;
    out.push_back(KeyPress{units.substr(i, n), units.substr(i, n), 0});
    i += n;
  }
  return out;
}

// The point in the window over the caret before `index`.
Point CaretPoint(const QMTrackedTextView& view, std::size_t index) {
  const Rect caret = view.caretRectForIndex(index);
  return view.convertPointToView(Point{caret.minX() + 0.25, caret.midY()}, nullptr);
}

// Drags the mouse over `word` in the display: its first whole-word occurrence, else its first
// occurrence at all (a struck word and a typed one stand side by side); false when it is not there.
bool PickWord(Window& window, QMTrackedTextEditorView& editor, const std::u16string& word) {
  const std::u16string& text = editor.textView()->string();
  std::size_t chosen = text.find(word);
  if (chosen == std::u16string::npos || word.empty()) return false;
  for (std::size_t at = chosen; at != std::u16string::npos; at = text.find(word, at + 1)) {
    const bool startsWord = at == 0 || !QMIsRepairWordCharacter(text[at - 1]);
    const bool endsWord = at + word.size() >= text.size() || !QMIsRepairWordCharacter(text[at + word.size()]);
    if (startsWord && endsWord) {
      chosen = at;
      break;
    }
  }
  const QMTrackedTextView& view = *editor.textView();
  window.sendEvent(Event::mouse(EventType::LeftMouseDown, CaretPoint(view, chosen)));
  window.sendEvent(Event::mouse(EventType::LeftMouseDragged, CaretPoint(view, chosen + word.size())));
  window.sendEvent(Event::mouse(EventType::LeftMouseUp, CaretPoint(view, chosen + word.size())));
  return true;
}

std::string Quoted(const std::u16string& text) {
  std::string out = "\"";
  for (char c : qm::ui::utf8FromUTF16(text)) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

// The runs by tracked state, split where a pick starts or ends.
void DumpRuns(const QMTrackedTextEditorView& editor) {
  const TextStorage& s = editor.textView()->textStorage();
  const auto picks = editor.repairHighlightDisplayRanges();
  auto picked = [&](std::size_t i) {
    return std::any_of(picks.begin(), picks.end(), [&](const auto& p) { return QMIsValidDisplayRange(p) && i >= p.location && i < p.end(); });
  };
  auto state = [&](std::size_t i) {
    const TextAttributes& a = s.attributesAt(i);
    return QMIsDeletedCharacter(a) ? "deleted" : QMIsInsertedCharacter(a) ? "inserted" : "kept";
  };
  std::printf("runs:\n");
  for (std::size_t i = 0; i < s.length();) {
    std::size_t j = i + 1;
    while (j < s.length() && state(j) == state(i) && picked(j) == picked(i)) ++j;
    std::printf("  %-8s %s%s\n", state(i), Quoted(s.string().substr(i, j - i)).c_str(), picked(i) ? " picked" : "");
    i = j;
  }
}

int RunEditor(const std::vector<std::string>& args) {
  std::string reference, target, keys, png;
  std::vector<std::string> picks;
  bool dump = false, haveTarget = false, before = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--reference" && hasValue) {
      reference = args[++i];
    } else if (a == "--target" && hasValue) {
      target = args[++i];
      haveTarget = true;
    } else if (a == "--keys" && hasValue) {
      keys = args[++i];
    } else if (a == "--png" && hasValue) {
      png = args[++i];
    } else if (a == "--dump") {
      dump = true;
    } else if (a == "--before") {
      before = true;
    } else if (a == "--pick" && hasValue) {
      while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) picks.push_back(args[++i]);
    } else {
      std::fprintf(stderr, "usage: qmui %s\n", kUsage);
      return 2;
    }
  }
  if (!haveTarget) {
    std::fprintf(stderr, "usage: qmui %s\n", kUsage);
    return 2;
  }
  if (!qm::platform::isValidUtf8(reference) || !qm::platform::isValidUtf8(target)) {
    std::fprintf(stderr, "qmui editor: the texts must be UTF-8\n");
    return 2;
  }
  if (reference.size() > kMaxArgumentBytes || target.size() > kMaxArgumentBytes || keys.size() > kMaxArgumentBytes) {
    std::fprintf(stderr, "qmui editor: texts and keys take at most %zu bytes each\n", kMaxArgumentBytes);
    return 2;
  }
  const auto presses = ParseKeys(keys);
  if (!presses) {
    std::fprintf(stderr, "qmui editor: cannot read the keys \"%s\"\n", keys.c_str());
    return 2;
  }

  // The editor on the window's input background, at its size in the window.
  const double pad = 8;
  auto root = std::make_shared<View>(Rect{0, 0, 442 + 2 * pad, 35 + 2 * pad});
  root->setWantsLayer(true);
  root->layer()->backgroundColor = QMInputBGColor();
  auto editor = QMTrackedTextEditorView::Create(Rect{pad, pad, 442, 35});
  root->addSubview(editor);
  Window window(root->frame());
  window.setContentView(root);
  window.makeKeyWindow();
  window.makeFirstResponder(editor->textView());

  // The window shows the diff whenever the texts differ; Before mode edits its reference side.
  editor->setLineChangeEnabled(!reference.empty() || (before && reference != target));
  editor->setEditReferenceWhileShowingDiff(before && reference != target);
  editor->setReferenceText(qm::platform::utf8ToUtf16(reference));
  editor->setTargetText(qm::platform::utf8ToUtf16(target));
  for (const KeyPress& key : *presses) window.typeKey(key.characters, key.modifiers, 0, key.ignoringModifiers);
  if (!picks.empty()) {
    editor->setRepairSelectionMode(true);
    for (const std::string& word : picks)
      if (!PickWord(window, *editor, qm::platform::utf8ToUtf16(word)))
        std::fprintf(stderr, "qmui editor: no word \"%s\" to pick\n", word.c_str());
  }

  if (dump) {
    DumpRuns(*editor);
    std::printf("target: %s\n", Quoted(editor->targetText()).c_str());
    // Before mode on equal texts edits the one text shown, the Before text.
    const bool plainBefore = before && !editor->editReferenceWhileShowingDiff();
    std::printf("reference: %s\n", Quoted(plainBefore ? editor->targetText() : editor->referenceText()).c_str());
  }
  if (!png.empty()) {
    std::string error;
    if (!render::writePNG(render::renderView(*root, 2.0), png, &error)) {
      std::fprintf(stderr, "qmui editor: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}

struct Register {
  Register() { render::registerToolCommand(render::ToolCommand{"editor", kUsage, RunEditor}); }
} registerEditor;

}  // namespace
