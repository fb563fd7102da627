#include "engine/Shared.h"

std::int32_t NFFT = 0;
float WindFn[kBufTop + 1] = {};
