// Two-state taper: any normalised value above 0.0 is true; true is 1.0 and false 0.0.
#pragma once

#include "AAX_ITaperDelegate.h"

template <typename T>
class AAX_CBinaryTaperDelegate : public AAX_ITaperDelegate<T> {
public:
  AAX_CBinaryTaperDelegate* Clone() const override { return new AAX_CBinaryTaperDelegate(*this); }
  T GetMaximumValue() const override { return T(true); }
  T GetMinimumValue() const override { return T(false); }
  T ConstrainRealValue(T value) const override { return value; }
  // 0.0, negative values and NaN give false.
  T NormalizedToReal(double normalizedValue) const override { return T(normalizedValue > 0.0); }
  double RealToNormalized(T realValue) const override { return realValue ? 1.0 : 0.0; }
};
