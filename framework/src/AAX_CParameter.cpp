#include "AAX_CParameter.h"

template class AAX_CParameter<bool>;
template class AAX_CParameter<int32_t>;
template class AAX_CParameter<float>;
template class AAX_CParameter<double>;
template class AAX_CParameter<AAX_CString>;
