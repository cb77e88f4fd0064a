#pragma once
// How many takes one generation asks for: the caption "Takes:" and a rounded track of three
// cells with the digits 1, 3 and 5, a green pill under the chosen cell. A click on a cell chooses
// it; every change (by click or from code) slides the pill, recolours the digits and is written
// to the user defaults at once. It sends no action: the window reads selectedTakes.
// Layer-backed, not flipped; main thread only.

#include "QMControls.h"

#include "qm/ui/font.h"
#include "qm/ui/view.h"

#include <cstdint>
#include <memory>
#include <string>

// The user-defaults key of the chosen number of takes (an integer).
inline constexpr const char* kQuillomancer_TakesDefaultsKey = "com.quillomancer.takesRequested";

class QMTakeSelector : public qm::ui::View {
  struct Passkey {};

 public:
  // Caption, track, pill, digits and cells with 3 chosen; reads and writes no user default.
  // [main-thread]
  static std::shared_ptr<QMTakeSelector> initWithFrame(const qm::ui::Rect& frame);
  QMTakeSelector(const qm::ui::Rect& frame, Passkey);

  // Always 1, 3 or 5.
  int32_t selectedTakes() const { return selectedTakes_; }
  // Other values and the current one change nothing; a new one slides the pill and is stored
  // under kQuillomancer_TakesDefaultsKey. [main-thread]
  void setSelectedTakes(int32_t takes);

 private:
  void cellClicked(qm::ui::Object* cell);
  void animatePillToTakes(int32_t takes);
  std::shared_ptr<QMAlignedLabel> createLabelInTrack(qm::ui::View& track, const std::string& text, int32_t cellIndex,
                                                     float cellWidth, float height, const qm::ui::Font& font);

  int32_t selectedTakes_ = 3;
  std::shared_ptr<qm::ui::View> pill_;
  std::shared_ptr<QMAlignedLabel> label1_, label3_, label5_;
  std::shared_ptr<QMAlignedLabel> takesLabel_;
};

// The number of takes the window starts with: the stored value when it is 1, 3 or 5; otherwise
// 1 on a Media Composer host and 3 on any other. Reads the user defaults, writes nothing.
// [main-thread]
int32_t QMInitialTakesRequested(bool hostIsMediaComposer);
