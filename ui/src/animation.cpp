#include "qm/ui/animation.h"

#include "qm/platform/dispatch.h"
#include "qm/platform/time.h"

#include <algorithm>

namespace qm::ui {

struct AnimationGroupState {
  std::function<void()> completion;
  std::vector<std::weak_ptr<Animation>> animations;
  std::vector<AnimationSet*> sets;  // where each animation was recorded (parallel to animations)
  bool cancelled = false;
  bool finished = false;
  int live = 0;
};

namespace {

// A group loses its completion once none of its records is left.
void released(const std::shared_ptr<AnimationGroupState>& group) {
  if (!group || group->finished) return;
  if (--group->live <= 0) group->cancelled = true;
}

std::vector<AnimationContext*>& contextStack() {
  static auto* stack = new std::vector<AnimationContext*>;
  return *stack;
}

}  // namespace

AnimationSet::~AnimationSet() {
  // The records die with their view: their groups must not run completions for them.
  for (auto& [key, a] : animations_) {
    released(a->group);
    a->group.reset();
  }
}

void AnimationSet::add(std::shared_ptr<Animation> animation) {
  if (!animation) return;
  auto it = animations_.find(animation->key);
  if (it != animations_.end()) {
    released(it->second->group);
    animations_.erase(it);
  }
  animations_[animation->key] = std::move(animation);
}

void AnimationSet::removeAll() {
  auto old = std::move(animations_);
  animations_.clear();
  for (auto& [key, a] : old) released(a->group);
}

void AnimationSet::remove(const std::string& key) {
  auto it = animations_.find(key);
  if (it == animations_.end()) return;
  auto a = std::move(it->second);
  animations_.erase(it);
  released(a->group);
}

std::vector<std::string> AnimationSet::keys() const {
  std::vector<std::string> out;
  for (const auto& [key, a] : animations_) out.push_back(key);
  return out;
}

std::shared_ptr<Animation> AnimationSet::find(const std::string& key) const {
  auto it = animations_.find(key);
  return it == animations_.end() ? nullptr : it->second;
}

void AnimationSet::finish(const std::shared_ptr<Animation>& animation) {
  auto it = animations_.find(animation->key);
  if (it != animations_.end() && it->second == animation) animations_.erase(it);
}

AnimationContext* AnimationContext::current() { return contextStack().empty() ? nullptr : contextStack().back(); }

void AnimationContext::runAnimationGroup(const std::function<void(AnimationContext&)>& changes, std::function<void()> completion) {
  AnimationContext context;
  context.group_ = std::make_shared<AnimationGroupState>();
  context.group_->completion = std::move(completion);
  contextStack().push_back(&context);
  try {
    if (changes) changes(context);
  } catch (...) {
    contextStack().pop_back();
    throw;
  }
  contextStack().pop_back();

  auto group = context.group_;
  const double duration = std::max(0.0, context.duration_);
  // The delayed block holds the group only weakly through the records: when every record was
  // removed or destroyed the group is marked cancelled and the completion does not run.
  qm::platform::dispatchMainAfter(duration, [group] {
    if (group->cancelled || group->finished) return;
    group->finished = true;
    for (size_t i = 0; i < group->animations.size(); ++i) {
      auto a = group->animations[i].lock();
      if (a && a->group == group) {
        AnimationSet* set = group->sets[i];
        a->group.reset();
        if (set) set->finish(a);
      }
    }
    auto completion = std::move(group->completion);
    group->completion = nullptr;
    if (completion) completion();
  });
}

void AnimationContext::record(AnimationSet& set, const std::string& key, std::any from, std::any to) {
  auto a = std::make_shared<Animation>();
  a->key = key;
  a->from = std::move(from);
  a->to = std::move(to);
  a->duration = duration_;
  a->timing = timing_;
  a->beginTime = qm::platform::currentTimeSeconds();
  a->group = group_;
  group_->animations.push_back(a);
  group_->sets.push_back(&set);
  ++group_->live;
  set.add(std::move(a));
}

}  // namespace qm::ui
