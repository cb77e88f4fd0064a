#pragma once
// Animations as data. Inside an animation group, a change made through a view's animator proxy
// takes effect at once (so drawing and tests see the end state) and leaves a record (key, from,
// to, duration, timing, start time) on the view's layer, or on the view when it has none, until
// the group's duration has passed on the platform clock. The group's completion then runs on the
// main queue. Removing the records (removeAll) drops the completion with them; a completion whose
// records were destroyed with their view does not run either.

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qm::ui {

enum class TimingFunction { Default, Linear, EaseIn, EaseOut, EaseInEaseOut };

struct AnimationGroupState;

struct Animation {
  std::string key;  // "frame", "frameOrigin", "alphaValue", "opacity"
  std::any from;
  std::any to;
  double duration = 0;
  TimingFunction timing = TimingFunction::Default;
  double beginTime = 0;  // platform clock seconds
  std::shared_ptr<AnimationGroupState> group;
};

class AnimationSet {
 public:
  AnimationSet() = default;
  ~AnimationSet();
  AnimationSet(const AnimationSet&) = delete;
  AnimationSet& operator=(const AnimationSet&) = delete;

  // Replaces a running animation of the same key (whose group loses it).
  void add(std::shared_ptr<Animation> animation);
  // Drops every record; their groups' completions no longer run once they hold no record.
  void removeAll();
  void remove(const std::string& key);
  std::vector<std::string> keys() const;
  std::shared_ptr<Animation> find(const std::string& key) const;
  bool empty() const { return animations_.empty(); }

  // Called by a group that has run its course: drops its records without cancelling it.
  void finish(const std::shared_ptr<Animation>& animation);

 private:
  std::map<std::string, std::shared_ptr<Animation>> animations_;
};

class AnimationContext {
 public:
  // Runs `changes` with a new current context (duration 0.25 s, default timing unless the
  // changes set them) and schedules `completion` for when the duration has passed. Groups nest.
  // [main-thread]
  static void runAnimationGroup(const std::function<void(AnimationContext&)>& changes,
                                std::function<void()> completion = {});
  // The innermost running group, or null outside every group.
  static AnimationContext* current();

  double duration() const { return duration_; }
  void setDuration(double seconds) { duration_ = seconds; }
  TimingFunction timingFunction() const { return timing_; }
  void setTimingFunction(TimingFunction timing) { timing_ = timing; }

  // Records a change as an animation of this group in `set`.
  void record(AnimationSet& set, const std::string& key, std::any from, std::any to);

 private:
  AnimationContext() = default;
  double duration_ = 0.25;
  TimingFunction timing_ = TimingFunction::Default;
  std::shared_ptr<AnimationGroupState> group_;
};

}  // namespace qm::ui
