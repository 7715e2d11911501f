#include "IProgress.h"

namespace RkMir {

IProgress::~IProgress() = default;

}  // namespace RkMir
