#pragma once
// An undo manager: a stack of undo groups and a stack of redo groups. Each group is a list of
// actions. Registering outside an explicit group makes a group of its own; registering while
// undoing fills the redo group of that undo (and while redoing the undo group), so an action that
// registers its own inverse can be undone and redone as often as one likes. A fresh registration
// (not while undoing or redoing) clears the redo stack. Main thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm::ui {

class UndoManager {
 public:
  using Action = std::function<void()>;

  // Adds `action` to the open group (or to a new group of its own). `name` names the group.
  void registerUndo(Action action, const std::string& name = {});
  // Groups nest; the actions between the outermost begin and end form one group.
  void beginUndoGrouping();
  void endUndoGrouping();

  bool canUndo() const { return !undoStack_.empty(); }
  bool canRedo() const { return !redoStack_.empty(); }
  // Runs the top group's actions, last registered first. Nothing when there is none.
  void undo();
  void redo();
  bool isUndoing() const { return undoing_; }
  bool isRedoing() const { return redoing_; }
  // The name of the group undo (redo) would run, "" when none or unnamed.
  std::string undoActionName() const { return undoStack_.empty() ? std::string() : undoStack_.back().name; }
  std::string redoActionName() const { return redoStack_.empty() ? std::string() : redoStack_.back().name; }

  // Forgets everything, both stacks and any open group.
  void removeAllActions();
  // Bumped by every registration and by removeAllActions, so a client can tell whether the group
  // on top is still the one it registered last.
  std::uint64_t changeCount() const { return changeCount_; }

 private:
  struct Group {
    std::vector<Action> actions;
    std::string name;
  };
  void run(std::vector<Group>& from, std::vector<Group>& into, bool& flag);

  std::vector<Group> undoStack_;
  std::vector<Group> redoStack_;
  std::vector<Group>* collecting_ = nullptr;  // where registrations go while undoing or redoing
  int groupDepth_ = 0;
  bool groupOpened_ = false;  // the open explicit group already has its entry on the stack
  bool undoing_ = false;
  bool redoing_ = false;
  std::uint64_t changeCount_ = 0;
};

}  // namespace qm::ui
