#include "qm/ui/undo_manager.h"

namespace qm::ui {

void UndoManager::registerUndo(Action action, const std::string& name) {
  if (!action) return;
  ++changeCount_;
  if (collecting_) {
    if (collecting_->empty()) collecting_->push_back(Group{{}, name});
    collecting_->back().actions.push_back(std::move(action));
    return;
  }
  redoStack_.clear();
  if (groupDepth_ > 0 && groupOpened_) {
    undoStack_.back().actions.push_back(std::move(action));
    if (!name.empty()) undoStack_.back().name = name;
    return;
  }
  undoStack_.push_back(Group{{std::move(action)}, name});
  if (groupDepth_ > 0) groupOpened_ = true;
}

void UndoManager::beginUndoGrouping() {
  if (groupDepth_++ == 0) groupOpened_ = false;
}

void UndoManager::endUndoGrouping() {
  if (groupDepth_ == 0) return;
  if (--groupDepth_ == 0) groupOpened_ = false;
}

void UndoManager::run(std::vector<Group>& from, std::vector<Group>& into, bool& flag) {
  if (from.empty() || undoing_ || redoing_) return;
  Group group = std::move(from.back());
  from.pop_back();
  // The inverse actions the group registers while it runs form one group on the other stack.
  const std::size_t slot = into.size();
  into.push_back(Group{{}, group.name});
  flag = true;
  collecting_ = &into;
  for (auto it = group.actions.rbegin(); it != group.actions.rend(); ++it) (*it)();
  collecting_ = nullptr;
  flag = false;
  if (into.size() > slot && into[slot].actions.empty()) into.erase(into.begin() + static_cast<long>(slot));
}

void UndoManager::undo() { run(undoStack_, redoStack_, undoing_); }
void UndoManager::redo() { run(redoStack_, undoStack_, redoing_); }

void UndoManager::removeAllActions() {
  ++changeCount_;
  undoStack_.clear();
  redoStack_.clear();
  groupOpened_ = false;
}

}  // namespace qm::ui
